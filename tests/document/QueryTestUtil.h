#pragma once

// Helpers of the query engine tests: memory sources, leaves with segments in a KDoc, and a
// provider that writes down every callback.

#include "document/KDoc.h"
#include "storage/KEventsReadHandle.h"
#include "storage/KEventsWriteHandle.h"
#include "storage/TypeMakers.h"
#include "storage/query/KEventsProvider.h"

#include <cstdint>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

namespace querytest {

using Lines = std::vector<std::string>;

struct SourceEvent {
    SimTime time;
    DeltaCycle delta;
    SignalHandle signal;
    std::uint8_t value;
};

// A memory snapshot holding the events (ascending keys), each with a 1-byte value.
inline KEventsReadHandle memorySource(const std::vector<SourceEvent>& events) {
    KEventsWriteHandle writer = KEventsWriteHandle::createMemory();
    for (const SourceEvent& event : events) {
        writer.setTime(event.time);
        writer.setDelta(event.delta);
        writer.writeValue(event.signal, &event.value, 1);
    }
    return KEventsReadHandle::fromWriter(writer);
}

// A memory snapshot whose signal 0 changes at each time, to the time's low byte.
inline KEventsReadHandle timesSource(const std::vector<SimTime>& times) {
    std::vector<SourceEvent> events;
    for (SimTime time : times)
        events.push_back({time, 0, 0, static_cast<std::uint8_t>(time)});
    return memorySource(events);
}

// A database file at `path` holding the events (ascending keys) of scalars 0..signals-1.
inline KEventsReadHandle databaseSource(const std::string& path,
                                        const std::vector<SourceEvent>& events, int signals = 3) {
    {
        KEventsWriteHandle writer = KEventsWriteHandle::createDatabase(path);
        writer.beginDeclarations();
        for (int i = 0; i < signals; ++i) {
            evstream::SignalInfo info;
            info.name = "s" + std::to_string(i);
            writer.declareScalar(i, info);
        }
        writer.endDeclarations();
        for (const SourceEvent& event : events) {
            if (writer.position().time != event.time)
                writer.setTime(event.time);
            if (writer.position().delta != event.delta)
                writer.setDelta(event.delta);
            writer.writeValue(event.signal, &event.value, 1);
        }
        writer.close();
    }
    return KEventsReadHandle::openDatabase(path);
}

// A file name in the temporary folder, removed when the object goes.
class TempPath {
public:
    TempPath() {
        static int counter = 0;
        m_path =
            (std::filesystem::temp_directory_path() / ("query-test-" + std::to_string(::getpid()) +
                                                       "-" + std::to_string(counter++) + ".awf"))
                .string();
    }
    ~TempPath() {
        std::error_code ignored;
        std::filesystem::remove(m_path, ignored);
    }
    TempPath(const TempPath&) = delete;
    TempPath& operator=(const TempPath&) = delete;
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

inline KEventSegment segmentOver(SimTime from, SimTime to, KEventsReadHandle source,
                                 SignalHandle signal = 0) {
    return KEventSegment({from, 0}, {to, 0}, std::move(source), signal);
}

inline KEventSegment constantSegment(SimTime from, SimTime to, std::uint8_t value) {
    KEventSegment segment({from, 0}, {to, 0}, {}, kNoSignal);
    segment.setValue(EventValue(&value, 1));
    return segment;
}

// A std_logic signal (1-byte values) with the given segments; under `parent` when given.
inline SignalHandle addLeaf(KDoc& doc, const std::vector<KEventSegment>& segments,
                            SignalHandle parent = 0) {
    KSignalRecordPtr record = KSignalRecord::create("s" + std::to_string(doc.signals().size()));
    record->setTypeIndex(KTypesManager::kStdLogicIndex);
    for (const KEventSegment& segment : segments)
        record->segments().insert(segment, InsertForm::Overwrite);
    return doc.addRecord(record, parent);
}

inline SignalHandle addBus(KDoc& doc) {
    return doc.addRecord(KSignalRecord::create("bus" + std::to_string(doc.signals().size())));
}

inline std::string standardType(StandardType type) {
    return makeStdTypeInfo(static_cast<int>(type)).value();
}

// A one-dimensional array type info from `left` to `right`, in the direction they give.
inline std::string arrayType(std::int64_t left, std::int64_t right,
                             StandardType element = StandardType::StdLogic,
                             const std::string& name = "std_logic_vector") {
    const ArrayRange range{left, right, left > right ? KTypeInfo::Downto : KTypeInfo::To};
    return makeArrayTypeInfo(name, {&range, 1}, standardType(element)).value();
}

// A top-level signal in a new last row; `type` is a type info text, none when empty.
inline SignalHandle addRow(KDoc& doc, const std::string& name, const std::string& type = "",
                           const std::string& hierarchy = "",
                           SignalMode mode = SignalMode::Unspecified,
                           const std::vector<KEventSegment>& segments = {}) {
    KSignalRecordPtr record = KSignalRecord::create(name);
    record->setHierarchyIndex(doc.hierarchy().intern(hierarchy));
    record->setMode(mode);
    for (const KEventSegment& segment : segments)
        record->segments().insert(segment, InsertForm::Overwrite);
    const SignalHandle handle = doc.addRecord(record);
    if (!type.empty()) {
        EXPECT_TRUE(doc.setTypeInfo(handle, doc.types().registerType(type)));
    }
    const SignalHandle row[] = {handle};
    EXPECT_TRUE(doc.insertRows(doc.rowCount(), row));
    return handle;
}

inline std::string bytesText(const EventValue& value) {
    std::string text;
    for (std::uint8_t byte : value.bytes())
        text += std::to_string(byte) + ".";
    return text;
}

// Writes every callback down as one line; stops a signal after `limit` events.
class RecordingProvider : public KEventsProvider {
public:
    RecordingProvider(const KDoc& doc, SimTime start, int limit = 1 << 30)
        : KEventsProvider(doc, start), m_limit(limit) {}

    void OnStartValue(SignalHandle handle, const KEventRecord& record, bool atStart) override {
        lines.push_back(std::to_string(handle) + " start " + recordText(record) +
                        (atStart ? " at-start" : ""));
    }
    void OnNoStartValue(SignalHandle handle) override {
        lines.push_back(std::to_string(handle) + " none");
    }
    bool OnEvent(SignalHandle handle, const KEventRecord& record) override {
        lines.push_back(std::to_string(handle) + " " + recordText(record));
        return ++m_counts[handle] < m_limit;
    }

    static std::string recordText(const KEventRecord& record) {
        std::string text = std::to_string(record.time());
        if (record.delta() != 0)
            text += "+" + std::to_string(record.delta());
        text += "=" + bytesText(record.value());
        if (record.isMerged())
            text += " merged";
        return text;
    }

    std::vector<std::string> lines;

private:
    int m_limit;
    std::map<SignalHandle, int> m_counts;
};

} // namespace querytest
