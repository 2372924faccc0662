#include "storage/query/KQueryEngine.h"

#include "storage/KSignalCursor.h"
#include "storage/query/KCompositeCursor.h"
#include "storage/query/KEventsProvider.h"
#include "storage/query/KSignalRun.h"

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
    std::vector<KSignalRun> runs;
    runs.reserve(m_requests.size());
    // The start value is what is in force before the first event after the start time.
    const SimTime afterStart =
        m_startTime == std::numeric_limits<SimTime>::max() ? m_startTime : m_startTime + 1;
    for (const Request& request : m_requests) {
        KCompositeCursor cursor = open(request.handle);
        cursor.seek(afterStart);
        if (cursor.hasPrevious()) {
            const EventKey key = cursor.previousKey();
            const KEventRecord record(key, cursor.previousValue());
            provider.OnStartValue(request.handle, record, key.time == m_startTime);
        } else {
            provider.OnNoStartValue(request.handle);
        }
        runs.emplace_back(request.handle, request.mergeDistance, m_startTime, std::move(cursor));
    }
    deliverTogether(provider, runs);
}

void KQueryEngine::deliverTogether(KEventsProvider& provider, std::vector<KSignalRun>& runs) {
    // The signal furthest behind in time goes next, and runs until it is a merge distance ahead
    // of the next one: all signals read the same stretch of their sources at about the same
    // time, which is what keeps a database file's recently decoded blocks useful.
    struct Turn {
        SimTime position;
        std::size_t index;
        // Ties go to the signal requested first.
        bool operator<(const Turn& other) const {
            return other.position < position || (other.position == position && other.index < index);
        }
    };
    std::vector<Turn> heap;
    for (std::size_t i = 0; i < runs.size(); ++i)
        if (!runs[i].isDone())
            heap.push_back({runs[i].position(), i});
    std::make_heap(heap.begin(), heap.end());
    while (!heap.empty()) {
        std::pop_heap(heap.begin(), heap.end());
        const std::size_t index = heap.back().index;
        heap.pop_back();
        KSignalRun& run = runs[index];
        // Without a merge distance a signal is read to its end in one go.
        SimTime limit = std::numeric_limits<SimTime>::max();
        if (run.mergeDistance() > 0 && !heap.empty())
            limit = KSignalCursor::shifted(heap.front().position, run.mergeDistance());
        do
            run.step(provider);
        while (!run.isDone() && run.position() <= limit);
        if (!run.isDone()) {
            heap.push_back({run.position(), index});
            std::push_heap(heap.begin(), heap.end());
        }
    }
}
