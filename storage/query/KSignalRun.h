#pragma once

// The delivery of one requested signal's changes to a provider, one step at a time, so that the
// engine can move all requested signals forward through time together.
//
// Each step does one thing: delivers a change, opens a pending change, folds the events of a
// pending change's merge distance into it (one seek), or delivers the pending change at the end.
// The signal is done when its events end or the provider says stop.

#include "storage/query/KCompositeCursor.h"
#include "storage/query/KEventRecord.h"

#include <limits>

class KEventsProvider;

class KSignalRun {
public:
    // `cursor` must be positioned on the first change after `startTime`.
    KSignalRun(SignalHandle handle, SimTime mergeDistance, SimTime startTime,
               KCompositeCursor cursor);

    SignalHandle handle() const { return m_handle; }
    SimTime mergeDistance() const { return m_distance; }
    bool isDone() const { return m_done; }
    // The time the next step works at.
    SimTime position() const {
        if (m_pending)
            return m_change.time();
        return m_cursor.atEnd() ? std::numeric_limits<SimTime>::max() : m_cursor.key().time;
    }

    void step(KEventsProvider& provider);

private:
    void deliver(KEventsProvider& provider, const KEventRecord& record);

    SignalHandle m_handle;
    SimTime m_distance;
    KCompositeCursor m_cursor;
    SimTime m_last; // time of the last delivered change (the start time at first)
    bool m_pending = false;
    KEventRecord m_change;
    EventKey m_opening;
    bool m_done = false;
};
