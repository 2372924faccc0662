#pragma once

// The in-memory event streams: edited and generated events live here without any file.
//
// The editor writes new events into a KMemoryWaveStreamWrite and takes a KMemoryWaveStreamRead
// snapshot to read them back in (time, delta) order. A memory stream has no signal tree, no
// properties and no annotations: those belong to database streams, so the memory streams refuse
// declarations and answer the structure queries with empty results.
//
// Event store. Events are kept in one flat vector of MemoryEvent (32 bytes each: key, signal and
// an EventValue whose bytes are inline up to 8 bytes and in a shared immutable block beyond).
// The order is by EventKey, and among equal keys by the order of writing. A node-based ordered
// multimap would cost one heap node per event and a pointer chase per step; the vector costs a
// plain append in the common case (events written in time order) and is read sequentially.
//
// The writer never reads its own events, so it does not keep the vector sorted at every write:
// it remembers how long the sorted prefix is, appends out-of-order writes behind it and puts
// everything in order only when a snapshot is taken (a stable sort of the unsorted tail and a
// stable merge with the prefix). Writing signal after signal over the same interval, which
// revisits earlier times once per signal, thus costs O(n log n) once instead of an insertion
// shift per event.
//
// A snapshot is one copy of the vector, frozen behind a shared pointer to const. Long values are
// not duplicated: the copies share their immutable blocks. Clones of a read stream share the same
// frozen vector; each has its own cursor, and nothing can change the events under it.

#include "storage/EventValue.h"
#include "storage/SimTime.h"
#include "storage/evstream/IEventsStream.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// One stored event of a memory stream.
struct MemoryEvent {
    SimTime time = 0;
    DeltaCycle delta = 0;
    SignalHandle handle = kNoSignal;
    EventValue value;

    EventKey key() const { return {time, delta}; }
};

class KMemoryWaveStreamRead;
class KMemoryEventIndex;

// A write-only stream of events in memory. It starts with one reference, at time 0, delta 0 and
// with no events; the last Release destroys it. Time may go backwards: every event is placed by
// its key. Values may have any size (a std_logic_vector of 64 elements is a 64-byte value).
class KMemoryWaveStreamWrite final : public evstream::IEventsStreamWrite {
public:
    KMemoryWaveStreamWrite() = default;
    KMemoryWaveStreamWrite(const KMemoryWaveStreamWrite&) = delete;
    KMemoryWaveStreamWrite& operator=(const KMemoryWaveStreamWrite&) = delete;

    // A read stream over a frozen copy of the events written so far, with one reference. The
    // writer can go on being written; the snapshot does not see later writes.
    KMemoryWaveStreamRead* snapshot();
    std::size_t eventCount() const { return m_events.size(); }

    // evstream::IEventsStreamWrite
    void AddRef() override;
    bool Release() override;
    bool BeginDeclarations() override { return true; }
    bool EndDeclarations() override { return true; }
    bool DeclareScalar(SignalHandle, const evstream::SignalInfo&) override { return false; }
    bool DeclareComposite(SignalHandle, const evstream::SignalInfo&) override { return false; }
    bool AddAnnotation(SignalHandle, SimTime, std::string_view, std::string_view) override {
        return false;
    }
    bool SetProperty(SignalHandle, std::string_view, std::string_view) override { return false; }
    bool SetTypeInfoString(SignalHandle, std::string_view) override { return false; }
    // Sets the current time and starts it at delta 0.
    bool SetTime(const SimTime& time) override;
    const SimTime& GetTime() override { return m_time; }
    bool SetDelta(DeltaCycle delta) override;
    DeltaCycle GetDelta() override { return m_delta; }
    // Stores an event of `size` bytes at the current (time, delta), after every event already
    // stored with an equal key. False only for a null value pointer with a non-zero size; an
    // allocation failure throws std::bad_alloc.
    bool WriteValue(SignalHandle handle, const void* value, std::uint32_t size) override;
    std::string GetFileName() override { return {}; }

private:
    ~KMemoryWaveStreamWrite() override = default;
    // Puts the whole vector in key order (stable), so that it can be copied as a snapshot.
    void sortEvents();

    std::uint32_t m_refs = 1;
    SimTime m_time = 0;
    DeltaCycle m_delta = 0;
    std::vector<MemoryEvent> m_events;
    // Length of the prefix of m_events known to be in order; the rest was written out of order.
    std::size_t m_sortedCount = 0;
};

// A frozen, ordered snapshot of a memory write stream with its own cursor.
//
// The cursor is absent until the first Rewind, so ReadNextEvent before it returns -1. Rewind
// always restarts at the first event whatever time it is given; callers skip forward themselves.
// GetEndTime is the time of the last event (0 when there is none), so that a caller adding its
// offset gets the time where the stream's events end. SkipTo returns -1 when no event at or after
// the time remains, and also before the first Rewind.
class KMemoryWaveStreamRead final : public evstream::IEventsStreamRead {
public:
    using Store = std::vector<MemoryEvent>;

    KMemoryWaveStreamRead(const KMemoryWaveStreamRead&) = delete;
    KMemoryWaveStreamRead& operator=(const KMemoryWaveStreamRead&) = delete;

    // Another read stream over the same events, with one reference and its own cursor (absent
    // until its first Rewind). The two never interfere: the events are immutable.
    KMemoryWaveStreamRead* clone() const;
    std::size_t eventCount() const { return m_events->size(); }
    // The per-signal index of the events, shared by all clones (built on first use).
    std::shared_ptr<const KMemoryEventIndex> eventIndex() const { return m_index; }

    // evstream::IEventsStreamRead
    void AddRef() override;
    bool Release() override;
    int GetRootCount() override { return 0; }
    SignalHandle GetChild(SignalHandle, int) override { return kNoSignal; }
    SignalHandle GetRoot(int) override { return kNoSignal; }
    bool GetSignalInfo(SignalHandle, evstream::SignalInfo&) override { return false; }
    std::string GetProperty(SignalHandle, std::string_view) override { return {}; }
    std::string GetTypeInfoString(SignalHandle) override { return {}; }
    int GetAnnotationCount(SignalHandle) override { return 0; }
    bool GetAnnotation(SignalHandle, int, evstream::Annotation&) override { return false; }
    bool Rewind(const SimTime& time) override;
    // Reads the next event of `handle`, passing over (and consuming) the events of other signals
    // before it, and copies its value into `value`. When no event of `handle` remains, returns
    // false and leaves the cursor and the current event as they were.
    bool ReadNextEventOf(SignalHandle handle, void* value) override;
    SimTime SkipTo(const SimTime& time) override;
    const SimTime& GetTime() override { return m_time; }
    DeltaCycle GetDelta() override { return m_delta; }
    SignalHandle ReadNextEvent() override;
    bool GetValue(void* value) override;
    std::uint32_t GetValueSize() override { return m_value.size(); }
    std::string GetFileName() override { return {}; }
    const SimTime& GetEndTime() override { return m_endTime; }
    // A snapshot never grows.
    bool Refresh() override { return false; }

private:
    friend class KMemoryWaveStreamWrite;
    // `events` must be in key order, stable for equal keys.
    KMemoryWaveStreamRead(std::shared_ptr<const Store> events,
                          std::shared_ptr<const KMemoryEventIndex> index);
    ~KMemoryWaveStreamRead() override = default;
    void makeCurrent(const MemoryEvent& event);

    static constexpr std::size_t kNoCursor = static_cast<std::size_t>(-1);

    std::uint32_t m_refs = 1;
    SimTime m_time = 0;
    DeltaCycle m_delta = 0;
    std::shared_ptr<const Store> m_events;
    std::shared_ptr<const KMemoryEventIndex> m_index;
    std::size_t m_cursor = kNoCursor;
    // The value of the event last read; its size is the current value length.
    EventValue m_value;
    SimTime m_endTime = 0;
};
