#include "storage/query/KQueryEngine.h"

#include "storage/KSignalCursor.h"
#include "storage/query/KCompositeCursor.h"
#include "storage/query/KEventsProvider.h"

#include <algorithm>
#include <limits>

KQueryEngine::KQueryEngine(const IEventSources& sources, SimTime startTime)
    : m_sources(sources), m_startTime(startTime) {}

void KQueryEngine::addSignal(SignalHandle handle, SimTime mergeDistance) {
    mergeDistance = std::max<SimTime>(mergeDistance, 0);
    auto [found, added] = m_indexByHandle.try_emplace(handle, m_requests.size());
    if (added) {
        m_requests.push_back({handle, mergeDistance});
        return;
    }
    SimTime& kept = m_requests[found->second].mergeDistance;
    kept = std::min(kept, mergeDistance);
}

KCompositeCursor KQueryEngine::open(SignalHandle handle) const {
    std::vector<QueryLeaf> leaves;
    if (!m_sources.queryLeaves(handle, leaves))
        return {};
    std::vector<KLeafCursor> cursors;
    cursors.reserve(leaves.size());
    for (const QueryLeaf& leaf : leaves) {
        std::vector<QuerySegment> segments;
        m_sources.querySegments(leaf.handle, segments);
        cursors.emplace_back(std::move(segments));
    }
    return KCompositeCursor(std::move(cursors), leaves);
}

void KQueryEngine::run(KEventsProvider& provider) {
    std::vector<KCompositeCursor> cursors;
    cursors.reserve(m_requests.size());
    // The start value is what is in force before the first event after the start time.
    const SimTime afterStart =
        m_startTime == std::numeric_limits<SimTime>::max() ? m_startTime : m_startTime + 1;
    for (const Request& request : m_requests) {
        KCompositeCursor& cursor = cursors.emplace_back(open(request.handle));
        cursor.seek(afterStart);
        if (!cursor.hasPrevious()) {
            provider.OnNoStartValue(request.handle);
            continue;
        }
        const EventKey key = cursor.previousKey();
        const KEventRecord record(key, cursor.previousValue());
        provider.OnStartValue(request.handle, record, key.time == m_startTime);
    }
    for (std::size_t i = 0; i < m_requests.size(); ++i)
        deliver(provider, m_requests[i], cursors[i]);
}

void KQueryEngine::deliver(KEventsProvider& provider, const Request& request,
                           KCompositeCursor& cursor) const {
    const SimTime distance = request.mergeDistance;
    SimTime last = m_startTime; // time of the last delivered change
    bool pending = false;
    KEventRecord change;
    EventKey opening;
    while (!cursor.atEnd()) {
        const EventKey key = cursor.key();
        if (pending) {
            const SimTime foldEnd = KSignalCursor::shifted(change.time(), distance);
            if (key.time < foldEnd) {
                // Everything before foldEnd is one change: skip to its end and take what was
                // in force there.
                cursor.seek(foldEnd);
                change.setValue(cursor.previousValue());
                change.setMerged(!(cursor.previousKey() == opening));
                continue;
            }
            pending = false;
            last = change.time();
            if (!provider.OnEvent(request.handle, change))
                return;
        }
        if (distance > 0 && key.time < KSignalCursor::shifted(last, distance)) {
            pending = true;
            opening = key;
            // The value comes with the fold: whatever is in force at its end.
            change = KEventRecord(key, {});
            continue;
        }
        const KEventRecord record(key, cursor.value());
        cursor.next();
        last = key.time;
        if (!provider.OnEvent(request.handle, record))
            return;
    }
    if (pending)
        provider.OnEvent(request.handle, change);
}
