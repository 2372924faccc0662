#pragma once

// The delivery of one requested signal's changes to a provider, one step at a time, so that the
// engine can move all requested signals forward through time together.
//
// Each step does one thing: delivers a change, opens a pending change, folds the events of a
// pending change's merge distance into it (one seek), or delivers the pending change at the end.
// The signal is done when its events end or the provider says stop.
//
// With coarse folds, a fold inside a segment on a database source whose summary has buckets of at
// most an eighth of the merge distance is read from the summary: it ends at the first bucket
// boundary at or after its opening + the merge distance, and the run goes on over the summary's
// events (each bucket's first and second) until a fold would leave the segment or the summary,
// where it seeks its cursor back to where it stands and goes on exactly.

#include "storage/query/KCompositeCursor.h"
#include "storage/query/KEventRecord.h"
#include "storage/query/KSummaryCursor.h"

#include <limits>

class KEventsProvider;

class KSignalRun {
public:
    // `cursor` must be positioned on the first change after `startTime`.
    KSignalRun(SignalHandle handle, SimTime mergeDistance, SimTime startTime,
               KCompositeCursor cursor, bool coarseFolds = false);

    SignalHandle handle() const { return m_handle; }
    SimTime mergeDistance() const { return m_distance; }
    bool isDone() const { return m_done; }
    // The time the next step works at.
    SimTime position() const {
        if (m_pending)
            return m_change.time();
        if (m_coarse)
            return m_summary.atEnd() ? m_resume.time : m_summary.key().time;
        return m_cursor.atEnd() ? std::numeric_limits<SimTime>::max() : m_cursor.key().time;
    }

    void step(KEventsProvider& provider);

private:
    void deliver(KEventsProvider& provider, KEventRecord&& record);
    // Folds the pending change, whose opening is under the cursor, from the summary and goes on
    // over the summary; false when the fold must be read exactly.
    bool foldCoarsely(KEventsProvider& provider);
    void stepCoarse(KEventsProvider& provider);
    // Back to the exact cursor, at the first change at or after m_resume.
    void leaveCoarse();

    SignalHandle m_handle;
    SimTime m_distance;
    KCompositeCursor m_cursor;
    SimTime m_last; // time of the last delivered change (the start time at first)
    bool m_pending = false;
    KEventRecord m_change;
    EventKey m_opening;
    bool m_done = false;
    bool m_coarseFolds = false; // allowed
    bool m_coarse = false;      // reading the summary now
    KSummaryCursor m_summary;
    const void* m_pinned = nullptr; // the summary last pinned in the provider
    EventKey m_resume;              // where the exact cursor takes over from the summary
};
