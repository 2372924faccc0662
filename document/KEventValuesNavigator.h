#pragma once

// Browsing one signal by value: the first change after a time, or the last one before it, whose
// value passes a test (the value search of the find dialog).
//
// The signal may be a bus or a record: the query hands over its elements' values combined at
// every change of any element, so a test always sees the whole value, each element at its byte
// offset. The navigator keeps what a search saw: the record of the signal's start value (or
// none) and the changes it was given, in time order.
//
// Forward, the query starts at the reference time and stops at the first match. Backward it
// starts at time 0 and reads up to the reference, keeping the latest match; the value in force
// at time 0 counts as a change at 0.

#include "storage/query/KEventsProvider.h"

#include <functional>
#include <optional>
#include <string_view>
#include <vector>

class KDoc;

class KEventValuesNavigator final : public KEventsProvider {
public:
    enum class Direction { Forward, Backward };
    using Test = std::function<bool(const EventValue&)>;

    // A name the document lacks (compared exactly, then upper-cased) leaves the navigator without
    // a signal: every search then finds nothing.
    KEventValuesNavigator(const KDoc& doc, std::string_view signalName, SimTime reference,
                          Direction direction);

    SignalHandle handle() const { return m_handle; }
    SimTime reference() const { return m_reference; }

    // The nearest change strictly after (forward) or before (backward) the reference whose
    // value passes; none when there is no such change. Throws KFileException when a source
    // cannot be read.
    std::optional<KEventRecord> find(const Test& test);
    // The same, matching the value's text in the signal's radix against `text`: the whole text,
    // without regard to case and to blanks around `text`.
    std::optional<KEventRecord> findText(std::string_view text);

    // What the last search saw.
    const std::optional<KEventRecord>& startValue() const { return m_startValue; }
    const std::vector<KEventRecord>& events() const { return m_events; }

    // KEventsProvider
    void OnStartValue(SignalHandle handle, const KEventRecord& record, bool atStart) override;
    void OnNoStartValue(SignalHandle handle) override;
    bool OnEvent(SignalHandle handle, const KEventRecord& record) override;

private:
    void consider(const KEventRecord& record);

    const KDoc& m_doc;
    SignalHandle m_handle;
    SimTime m_reference;
    Direction m_direction;
    const Test* m_test = nullptr;
    std::optional<KEventRecord> m_match;
    std::optional<KEventRecord> m_startValue;
    std::vector<KEventRecord> m_events;
};
