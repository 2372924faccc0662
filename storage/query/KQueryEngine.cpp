#include "storage/query/KQueryEngine.h"

#include "storage/KSignalCursor.h"
#include "storage/query/KCompositeCursor.h"
#include "storage/query/KEventsProvider.h"
#include "storage/query/KSignalRun.h"

#include <algorithm>
#include <limits>

namespace {

// How many merge distances past the signal furthest behind a round reads.
constexpr SimTime kRoundReach = 4;

} // namespace

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

void KQueryEngine::prepareSummaries() const {
    struct Group {
        KEventsReadHandle source;
        SimTime maxWidth;
        std::vector<SignalHandle> signals;
    };
    std::vector<Group> groups;
    std::vector<QueryLeaf> leaves;
    std::vector<QuerySegment> segments;
    for (const Request& request : m_requests) {
        const SimTime maxWidth = request.mergeDistance / 8;
        if (maxWidth < 1 || !m_sources.queryLeaves(request.handle, leaves) || leaves.size() != 1)
            continue;
        m_sources.querySegments(leaves.front().handle, segments);
        for (const QuerySegment& segment : segments) {
            if (!segment.source || segment.source.isInMemory())
                continue;
            auto found = std::find_if(groups.begin(), groups.end(), [&](const Group& group) {
                return group.maxWidth == maxWidth && group.source.sharesStream(segment.source);
            });
            if (found == groups.end())
                found = groups.insert(groups.end(), {segment.source, maxWidth, {}});
            found->signals.push_back(segment.sourceSignal);
        }
    }
    for (const Group& group : groups)
        group.source.prepareSummaries(group.signals, group.maxWidth);
}

void KQueryEngine::run(KEventsProvider& provider) {
    if (m_coarseFolds)
        prepareSummaries();
    std::vector<KSignalRun> runs;
    runs.reserve(m_requests.size());
    // The start value is what is in force before the first event after the start time.
    const SimTime afterStart =
        m_startTime == std::numeric_limits<SimTime>::max() ? m_startTime : m_startTime + 1;
    for (const Request& request : m_requests) {
        KCompositeCursor cursor = open(request.handle);
        // Records borrow long values from the decoded sections, which the provider pins.
        cursor.lendValues(&provider.valuePins());
        cursor.seek(afterStart);
        if (cursor.hasPrevious()) {
            const EventKey key = cursor.previousKey();
            const KEventRecord record(key, cursor.previousValue());
            provider.OnStartValue(request.handle, record, key.time == m_startTime);
        } else {
            provider.OnNoStartValue(request.handle);
        }
        runs.emplace_back(request.handle, request.mergeDistance, m_startTime, std::move(cursor),
                          m_coarseFolds);
    }
    deliverTogether(provider, runs);
}

void KQueryEngine::deliverTogether(KEventsProvider& provider, std::vector<KSignalRun>& runs) {
    // Rounds through time: each round finds the signal furthest behind, and every signal reads
    // up to a few merge distances past that point. All signals thus read the same stretch of
    // their sources at about the same time, which keeps a database file's recently decoded
    // blocks useful; a stretch where nothing happens is jumped over in one round. A round costs
    // a look at every signal, so it reaches further than one merge distance: a few pixels of a
    // screen are still far less than a block.
    std::vector<KSignalRun*> active;
    for (KSignalRun& run : runs)
        if (!run.isDone())
            active.push_back(&run);
    SimTime behind = std::numeric_limits<SimTime>::max();
    for (const KSignalRun* run : active)
        behind = std::min(behind, run->position());
    while (!active.empty()) {
        // The next round's point is found while this one runs: one pass per round.
        SimTime nextBehind = std::numeric_limits<SimTime>::max();
        bool anyDone = false;
        for (KSignalRun* run : active) {
            // Without a merge distance a signal is read to its end in one go.
            const SimTime limit =
                run->mergeDistance() > 0
                    ? KSignalCursor::shifted(behind, kRoundReach * run->mergeDistance())
                    : std::numeric_limits<SimTime>::max();
            SimTime position = run->position();
            while (!run->isDone() && position <= limit) {
                run->step(provider);
                position = run->position();
            }
            if (run->isDone())
                anyDone = true;
            else
                nextBehind = std::min(nextBehind, position);
        }
        if (anyDone)
            std::erase_if(active, [](const KSignalRun* run) { return run->isDone(); });
        behind = nextBehind;
    }
}
