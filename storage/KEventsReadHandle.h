#pragma once

// A shared handle over an event source: a database stream or an in-memory snapshot.
//
// The handle is a value: copying shares one record (offset, in-memory flag, stream) and with it
// the stream's cursor; each handle reference holds one stream reference, and the last holder
// releases both. A clone (cloned()) is the way to get an independent cursor.
//
// Every time that leaves the handle is stream time + offset, every time that goes in is reduced
// by the offset (both saturate at the ends of the time range), so that a segment can place a
// source anywhere on the document's time axis.
//
// The library queries (milestones, values and events at a time, parents, virtual buses) exist
// only for database streams; a memory handle answers them at once without calling the library.
//
// Failures: seek and refresh report a refusal of the stream by dropping this handle's reference
// (it becomes null, so a broken source is not read further) and throwing a KFileException with
// the generic cause. A failed creation gives a null handle, not an exception. Using a null handle
// for anything but the queries of the handle itself throws a KFileException as well.

#include "storage/EventValue.h"
#include "storage/SimTime.h"
#include "storage/evstream/IEventsStream.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class KEventsWriteHandle;
class KSignalCursor;

class KEventsReadHandle {
public:
    KEventsReadHandle() noexcept = default;
    KEventsReadHandle(const KEventsReadHandle& other) noexcept;
    KEventsReadHandle(KEventsReadHandle&& other) noexcept;
    KEventsReadHandle& operator=(const KEventsReadHandle& other) noexcept;
    KEventsReadHandle& operator=(KEventsReadHandle&& other) noexcept;
    ~KEventsReadHandle();

    // Opens a database file (offset 0); null when the library cannot open it.
    static KEventsReadHandle openDatabase(const std::string& fileName);
    // A snapshot of a memory writer's events so far (offset 0); null for a null or database
    // writer. The writer goes on unchanged.
    static KEventsReadHandle fromWriter(const KEventsWriteHandle& writer);
    // Takes over the one reference the caller holds on `stream`; null for a null stream.
    static KEventsReadHandle adopt(evstream::IEventsStreamRead* stream, SimTime offset = 0);
    // A handle over the same events with offset + shift and its own cursor (absent until the
    // first seek). A database file is opened again by its name; null when that fails.
    KEventsReadHandle cloned(SimTime shift) const;
    // A handle over the same stream object with offset + shift: nothing is reopened or copied,
    // and the sequential cursor is shared with this handle. For holders that read through their
    // own per-signal cursors (the segments of a waveform) or not at all.
    KEventsReadHandle sharedWithShift(SimTime shift) const;

    explicit operator bool() const { return m_record != nullptr; }
    bool isInMemory() const;
    SimTime offset() const;
    // How many handles share this record (0 for a null handle).
    std::uint32_t useCount() const;
    std::string fileName() const;

    // Reading in time order.
    SimTime time() const;
    DeltaCycle delta() const;
    EventKey position() const;
    // Positions the stream for reading from `time` (never before the stream's time 0).
    void seek(SimTime time);
    // The signal of the next event, -1 at the end.
    SignalHandle readNextEvent();
    bool readNextEventOf(SignalHandle handle, void* value);
    // Copies the value of the event last read (valueSize() bytes).
    bool copyValue(void* value) const;
    std::uint32_t valueSize() const;
    EventValue value() const;
    SimTime endTime() const;
    // A cursor of its own over one signal's events, with this handle's offset applied; it keeps
    // the source alive and does not disturb the handle's sequential reading. Null when the
    // source cannot give one (a signal the source does not hold events for); throws KFileException
    // for a null handle.
    std::unique_ptr<KSignalCursor> openCursor(SignalHandle handle) const;
    // Whether both handles read the same stream object.
    bool sharesStream(const KEventsReadHandle& other) const {
        return m_record != nullptr && other.m_record != nullptr &&
               streamOf(m_record) == streamOf(other.m_record);
    }
    // Builds the summaries of zoomed-out queries for these signals in one pass over a database
    // file (see evstream::PrepareSummaries); nothing for memory sources.
    void prepareSummaries(const std::vector<SignalHandle>& handles, SimTime maxWidth) const;
    // Makes data appended since opening visible; throws when the source cannot (memory sources
    // never can).
    void refresh();

    // The signal tree and its texts, passed straight to the stream.
    int rootCount() const;
    SignalHandle root(int index) const;
    SignalHandle child(SignalHandle parent, int index) const;
    bool signalInfo(SignalHandle handle, evstream::SignalInfo& info) const;
    std::string property(SignalHandle handle, std::string_view key) const;
    std::string typeInfoString(SignalHandle handle) const;
    int annotationCount(SignalHandle handle) const;
    bool annotation(SignalHandle handle, int index, evstream::Annotation& annotation) const;

    // Library queries (database streams only).
    // The first milestone after `time`, -1 when none (memory: -1).
    SimTime nextMilestone(SimTime time) const;
    // The value of a signal at `time` (memory: false).
    bool signalValue(SimTime time, SignalHandle handle, void* value) const;
    // The events of a signal around `time` (see evstream::GetSignalEvents; memory: -1). With a
    // non-zero offset a result of 0 or less gives 0 with the outputs as the library left them,
    // and a positive result shifts the two event times (a time of -1, "none", stays -1).
    int signalEvents(SimTime time, SignalHandle handle, std::int64_t& before, std::int64_t& after,
                     std::int64_t& count) const;
    // The parent of a handle, -1 for a top-level signal (memory: -1).
    SignalHandle parent(SignalHandle handle) const;
    // Virtual buses (memory: false, nothing registered).
    bool setScalar(SignalHandle handle, SignalHandle parent, int index) const;
    bool setBus(SignalHandle newHandle, SignalHandle parent, int index, int elementCount) const;

private:
    struct Record;

    explicit KEventsReadHandle(Record* record) noexcept : m_record(record) {}
    static KEventsReadHandle make(evstream::IEventsStreamRead* stream, bool inMemory,
                                  SimTime offset);
    evstream::IEventsStreamRead& stream() const;
    static const void* streamOf(const Record* record);
    // Drops this handle's reference (record and stream); the handle becomes null.
    void release() noexcept;
    [[noreturn]] void fail(const std::string& what);

    Record* m_record = nullptr;
};
