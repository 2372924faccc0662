#pragma once

// The events of the leaves of some signals from time 0 up to a limit, read through the query
// engine's cursors and written into a sink in ascending (time, delta) order: what a save stores.
//
// Every leaf has one cursor for the whole walk, and the leaves are merged as they are read: the
// leaf whose next event has the smallest key writes it and steps on. All leaves thus move through
// time together, so each block of a database file is decoded once for all of them, and memory
// stays one cursor per leaf whatever the length of the waveforms.
//
// Writing: at each (time, delta) where any leaf has an event, one SetTime when the time changes,
// one SetDelta when the delta changes, then one WriteValue per leaf with an event there, in the
// order the leaves were added. A value in force before time 0 (a segment moved to earlier times)
// is written at time 0.

#include "storage/KEventsWriteHandle.h"
#include "storage/query/IEventSources.h"
#include "storage/query/KCompositeCursor.h"

#include <cstddef>
#include <unordered_set>
#include <vector>

class KStoreEventsQuery {
public:
    // Events after `limit` are not written; the limit must be set (0 or more).
    KStoreEventsQuery(const IEventSources& sources, SimTime limit);

    // Requests the leaves of a signal (the signal itself when it has none).
    void addLeavesOf(SignalHandle handle);
    // Reads and writes every event; throws KFileException when a source cannot be read or the
    // sink refuses.
    void writeTo(KEventsWriteHandle& sink);
    // How many values the last writeTo wrote.
    std::size_t writtenValues() const { return m_written; }
    // Writes from `from` on instead of from time 0: the value in force there is written at
    // `from`. For edits that copy one range of a waveform.
    void setFrom(SimTime from) { m_from = from; }

private:
    struct Leaf {
        SignalHandle handle;
        KCompositeCursor cursor;
        bool carried = false; // the value in force before `from` is still to be written
    };

    // Positions every leaf on its first event at or after `from`.
    std::vector<Leaf> openLeaves() const;
    // The key of a leaf's next event to write; false when it has none up to the limit.
    bool nextKey(const Leaf& leaf, EventKey& key) const;
    void write(KEventsWriteHandle& sink, SignalHandle handle, EventKey key,
               const EventValue& value);

    const IEventSources& m_sources;
    SimTime m_limit;
    SimTime m_from = 0;
    std::vector<SignalHandle> m_handles;
    std::unordered_set<SignalHandle> m_requested;
    std::size_t m_written = 0;
    bool m_started = false;
    EventKey m_at{0, 0};
};
