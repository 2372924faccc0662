#include "storage/query/KSignalRun.h"

#include "storage/KSignalCursor.h"
#include "storage/query/KEventsProvider.h"

#include <limits>
#include <utility>

KSignalRun::KSignalRun(SignalHandle handle, SimTime mergeDistance, SimTime startTime,
                       KCompositeCursor cursor, bool coarseFolds)
    : m_handle(handle), m_distance(mergeDistance), m_cursor(std::move(cursor)), m_last(startTime),
      m_done(m_cursor.atEnd()), m_coarseFolds(coarseFolds && mergeDistance >= 8) {}

// The record is handed over: a pending change is made anew for the next fold.
void KSignalRun::deliver(KEventsProvider& provider, KEventRecord&& record) {
    if (!provider.OnMovedEvent(m_handle, std::move(record)))
        m_done = true;
}

void KSignalRun::step(KEventsProvider& provider) {
    if (m_done)
        return;
    if (m_coarse) {
        stepCoarse(provider);
        return;
    }
    if (m_cursor.atEnd()) {
        if (m_pending)
            deliver(provider, std::move(m_change));
        m_done = true;
        return;
    }
    const EventKey key = m_cursor.key();
    if (m_pending) {
        const SimTime foldEnd = KSignalCursor::shifted(m_change.time(), m_distance);
        if (key.time < foldEnd) {
            // Most folds hold the opening event alone: one step past it is much cheaper than a
            // seek, which the fold still takes when a second event follows inside it.
            if (key == m_opening) {
                if (m_coarseFolds && foldCoarsely(provider))
                    return;
                EventValue value = m_cursor.value();
                m_cursor.next();
                if (m_cursor.atEnd() || m_cursor.key().time >= foldEnd) {
                    m_change.setValue(std::move(value));
                    m_change.setMerged(false);
                    return;
                }
            }
            // Everything before foldEnd is one change: skip to its end and take what was in
            // force there.
            m_cursor.seek(foldEnd);
            m_change.setValue(m_cursor.previousValue());
            m_change.setMerged(!(m_cursor.previousKey() == m_opening));
            return;
        }
        m_pending = false;
        m_last = m_change.time();
        deliver(provider, std::move(m_change));
        return;
    }
    if (m_distance > 0 && key.time < KSignalCursor::shifted(m_last, m_distance)) {
        m_pending = true;
        m_opening = key;
        // The value comes with the fold: whatever is in force at its end.
        m_change = KEventRecord(key, {});
        return;
    }
    KEventRecord record(key, m_cursor.value());
    m_cursor.next();
    m_last = key.time;
    deliver(provider, std::move(record));
}

bool KSignalRun::foldCoarsely(KEventsProvider& provider) {
    KLeafCursor::Coarse source;
    if (!m_cursor.coarse(m_distance / 8, source))
        return false;
    // The records made from here on borrow the summary's values.
    if (source.summary.get() != m_pinned) {
        m_pinned = source.summary.get();
        provider.pin(source.summary);
    }
    KSummaryCursor summary(std::move(source));
    SimTime boundary = 0;
    if (!summary.boundaryAtOrAfter(KSignalCursor::shifted(m_opening.time, m_distance), boundary))
        return false;
    // The opening is no bucket's first event: one exact step tells whether another event follows
    // it inside the fold.
    m_cursor.next();
    m_change.setValue(summary.valueBefore(boundary));
    m_change.setMerged(!m_cursor.atEnd() && m_cursor.key().time < boundary);
    summary.seekBoundary(boundary);
    m_summary = std::move(summary);
    m_resume = {boundary, std::numeric_limits<DeltaCycle>::min()};
    m_coarse = true;
    return true;
}

void KSignalRun::stepCoarse(KEventsProvider& provider) {
    if (m_summary.atEnd()) {
        // A pending change is delivered by the exact steps: the cursor is past its fold.
        leaveCoarse();
        return;
    }
    if (m_pending) {
        m_pending = false;
        m_last = m_change.time();
        deliver(provider, std::move(m_change));
        return;
    }
    const EventKey key = m_summary.key();
    if (key.time < KSignalCursor::shifted(m_last, m_distance)) {
        SimTime boundary = 0;
        if (!m_summary.boundaryAtOrAfter(KSignalCursor::shifted(key.time, m_distance), boundary)) {
            // The fold would leave the summary or the segment: read it exactly.
            m_resume = key;
            leaveCoarse();
            return;
        }
        m_pending = true;
        m_opening = key;
        m_change = KEventRecord(key, m_summary.valueBefore(boundary));
        m_change.setMerged(m_summary.eventsBefore(boundary) > 1);
        m_summary.seekBoundary(boundary);
        m_resume = {boundary, std::numeric_limits<DeltaCycle>::min()};
        return;
    }
    if (!m_summary.hasValue()) {
        // A bucket's second event comes right after its first and so always opens a fold.
        m_resume = key;
        leaveCoarse();
        return;
    }
    KEventRecord record(key, m_summary.value());
    m_summary.next();
    m_resume = {key.time, key.delta + 1};
    m_last = key.time;
    deliver(provider, std::move(record));
}

void KSignalRun::leaveCoarse() {
    m_coarse = false;
    m_cursor.seek(m_resume.time);
    while (!m_cursor.atEnd() && m_cursor.key() < m_resume)
        m_cursor.next();
}
