#pragma once

// Helpers of the editing tests: a host that writes down what it is told, signals with memory
// events, and the events of a signal as text read back through the query engine.

#include "QueryTestUtil.h"
#include "document/KDoc.h"
#include "storage/query/KEventsQuery.h"

#include <functional>
#include <string>
#include <vector>

namespace edittest {

// Answers every question with `answer`, or with what `onAsk` says when it is set.
class RecordingHost final : public IDocHost {
public:
    void setModified(bool modified) override { modifiedCalls.push_back(modified); }
    void showStatus(std::string_view text) override { statuses.emplace_back(text); }
    void printOutput(std::string_view) override {}
    HostAnswer ask(int id, std::string_view text) override {
        questions.push_back(id);
        questionTexts.emplace_back(text);
        return onAsk ? onAsk() : answer;
    }
    void showMessage(int id, std::string_view text) override {
        messages.push_back(id);
        showStatus(text);
    }
    HostAnswer answer = HostAnswer::Yes;
    std::function<HostAnswer()> onAsk;
    std::vector<bool> modifiedCalls;
    std::vector<std::string> statuses;
    std::vector<int> questions;
    std::vector<std::string> questionTexts;
    std::vector<int> messages;
};

// A top-level std_logic row whose events are (time, value) pairs over [0, end).
inline SignalHandle addLogicRow(KDoc& doc, const std::vector<std::pair<SimTime, int>>& events,
                                SimTime end = 1000) {
    std::vector<querytest::SourceEvent> source;
    for (const auto& [time, value] : events)
        source.push_back({time, 0, 0, static_cast<std::uint8_t>(value)});
    const SignalHandle handle =
        querytest::addLeaf(doc, {querytest::segmentOver(0, end, querytest::memorySource(source))});
    const SignalHandle row[] = {handle};
    doc.insertRows(doc.rowCount(), row);
    return handle;
}

// A top-level bus of `width` std_logic elements without events.
inline SignalHandle addBusRow(KDoc& doc, int width) {
    const SignalHandle bus = querytest::addBus(doc);
    for (int i = 0; i < width; ++i)
        querytest::addLeaf(doc, {}, bus);
    const SignalHandle row[] = {bus};
    doc.insertRows(doc.rowCount(), row);
    return bus;
}

// "time=bytes" for the value in force at 0 and every later change up to `end`.
inline std::vector<std::string> eventsText(const KDoc& doc, SignalHandle handle,
                                           SimTime end = 5000) {
    KEventsQuery query(doc, 0, end);
    query.addSignal(handle);
    query.run();
    std::vector<std::string> lines;
    for (const auto& [time, record] : query.events(handle))
        if (!record.isClosing())
            lines.push_back(std::to_string(time) + "=" + querytest::bytesText(record.value()));
    return lines;
}

inline EventValue byteValue(int value) {
    const auto byte = static_cast<std::uint8_t>(value);
    return EventValue(&byte, 1);
}

} // namespace edittest
