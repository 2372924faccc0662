#pragma once

// A cursor over the events a signal summary knows (see evstream::SignalSummary), in document
// time: the first and second event of each bucket, and what a fold up to a bucket boundary
// covers. It is what a zoomed-out query reads instead of the events themselves.
//
// Only the first event of a bucket has a value: the cursor comes to a second event only right
// after delivering the first, and a second event always opens a fold, whose value is the one in
// force at the fold's end.

#include "storage/query/KLeafCursor.h"

#include <cstddef>

class KSummaryCursor {
public:
    KSummaryCursor() = default;
    explicit KSummaryCursor(KLeafCursor::Coarse source);

    SimTime width() const;
    // The first bucket boundary at or after `time`; false when it lies beyond what the summary
    // knows or after the segment's end, where a fold must be read exactly.
    bool boundaryAtOrAfter(SimTime time, SimTime& boundary) const;
    // The value in force just before a boundary (empty when none).
    EventValue valueBefore(SimTime boundary) const;
    // How many events lie from the cursor's event up to a boundary (excluded).
    std::uint64_t eventsBefore(SimTime boundary) const;

    // Moves to the first event at or after a boundary.
    void seekBoundary(SimTime boundary);
    // Moves to the next event.
    void next();
    // No event known here: the summary's end, or the segment's.
    bool atEnd() const { return m_atEnd; }
    EventKey key() const { return m_key; }
    // Whether the event has a value (a bucket's first event).
    bool hasValue() const { return m_index == 0; }
    EventValue value() const;

private:
    std::size_t bucketAt(SimTime boundary) const;
    void settle();

    KLeafCursor::Coarse m_source;
    std::size_t m_bucket = 0;
    int m_index = 0; // 0: the bucket's first event, 1: its second
    bool m_atEnd = true;
    EventKey m_key;
};
