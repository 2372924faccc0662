#include "storage/query/KSignalRun.h"

#include "storage/KSignalCursor.h"
#include "storage/query/KEventsProvider.h"

#include <limits>
#include <utility>

KSignalRun::KSignalRun(SignalHandle handle, SimTime mergeDistance, SimTime startTime,
                       KCompositeCursor cursor)
    : m_handle(handle), m_distance(mergeDistance), m_cursor(std::move(cursor)), m_last(startTime),
      m_done(m_cursor.atEnd()) {}

void KSignalRun::deliver(KEventsProvider& provider, const KEventRecord& record) {
    if (!provider.OnEvent(m_handle, record))
        m_done = true;
}

void KSignalRun::step(KEventsProvider& provider) {
    if (m_done)
        return;
    if (m_cursor.atEnd()) {
        if (m_pending)
            deliver(provider, m_change);
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
        deliver(provider, m_change);
        return;
    }
    if (m_distance > 0 && key.time < KSignalCursor::shifted(m_last, m_distance)) {
        m_pending = true;
        m_opening = key;
        // The value comes with the fold: whatever is in force at its end.
        m_change = KEventRecord(key, {});
        return;
    }
    const KEventRecord record(key, m_cursor.value());
    m_cursor.next();
    m_last = key.time;
    deliver(provider, record);
}
