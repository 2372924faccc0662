#pragma once

// The events of the leaves of some signals from time 0 up to a limit, read through the query
// engine and written into a sink in ascending (time, delta) order: what a save stores.
//
// The engine hands each leaf's changes over one leaf after the other, so the walk goes through
// time in windows: each window is one query that gathers the events of every leaf in (start,
// end], and the gathered lists are merged into the sink before the next window starts at the
// old end. Memory thus stays near one window's events whatever the length of the waveforms;
// the window widens while windows come out sparse and narrows when one comes out dense.
//
// Writing: at each (time, delta) where any leaf has an event, one SetTime when the time changes,
// one SetDelta when the delta changes, then one WriteValue per leaf with an event there, in the
// order the leaves were added. A value in force before time 0 (a segment moved to earlier times)
// is written at time 0.

#include "storage/KEventsWriteHandle.h"
#include "storage/query/IEventSources.h"
#include "storage/query/KEventRecord.h"

#include <cstddef>
#include <unordered_map>
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
    // How many events a window aims at (tests make it small to cross many windows).
    void setWindowEvents(std::size_t events) { m_windowEvents = events; }

private:
    class KMyEventsProvider;
    struct Leaf {
        SignalHandle handle;
        std::vector<KEventRecord> events;
    };

    // Gathers (start, end] (from time 0 on for the first window); returns the events gathered.
    std::size_t gather(SimTime start, SimTime end, bool first);
    void merge(KEventsWriteHandle& sink);

    const IEventSources& m_sources;
    SimTime m_limit;
    SimTime m_from = 0;
    std::vector<Leaf> m_leaves;
    std::unordered_map<SignalHandle, std::size_t> m_indexByHandle;
    std::size_t m_windowEvents = 1u << 20;
    std::size_t m_written = 0;
    bool m_started = false;
    EventKey m_at{0, 0};
};
