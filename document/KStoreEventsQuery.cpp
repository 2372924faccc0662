#include "document/KStoreEventsQuery.h"

#include <queue>

KStoreEventsQuery::KStoreEventsQuery(const IEventSources& sources, SimTime limit)
    // Starting just before 0 makes every event from (0, 0) on an ordinary event, deltas at time
    // 0 included; only a value from before 0 arrives as the start value.
    : KEventsProvider(sources, -1), m_limit(limit) {}

void KStoreEventsQuery::addLeavesOf(SignalHandle handle) {
    std::vector<QueryLeaf> leaves;
    if (!sources().queryLeaves(handle, leaves))
        return;
    for (const QueryLeaf& found : leaves) {
        if (m_indexByHandle.count(found.handle) != 0)
            continue;
        m_indexByHandle.emplace(found.handle, m_leaves.size());
        m_leaves.push_back({found.handle, {}});
        addSignal(found.handle);
    }
}

KStoreEventsQuery::Leaf& KStoreEventsQuery::leaf(SignalHandle handle) {
    return m_leaves[m_indexByHandle.at(handle)];
}

void KStoreEventsQuery::OnStartValue(SignalHandle handle, const KEventRecord& record, bool) {
    if (m_limit != kNoTime && m_limit < 0)
        return;
    leaf(handle).events.emplace_back(EventKey{0, 0}, record.value());
}

bool KStoreEventsQuery::OnEvent(SignalHandle handle, const KEventRecord& record) {
    if (m_limit != kNoTime && record.time() > m_limit)
        return false;
    std::vector<KEventRecord>& events = leaf(handle).events;
    // An event at (0, 0) replaces a value carried over from before 0.
    if (!events.empty() && events.back().key() == record.key())
        events.back() = record;
    else
        events.push_back(record);
    return true;
}

void KStoreEventsQuery::writeTo(KEventsWriteHandle& sink) {
    for (Leaf& each : m_leaves)
        each.events.clear();
    m_written = 0;
    run();
    merge(sink);
}

void KStoreEventsQuery::merge(KEventsWriteHandle& sink) {
    // Heap of (key, leaf index, event index): the smallest key first, leaves in request order.
    struct Next {
        EventKey key;
        std::size_t leaf;
        std::size_t event;
        bool operator>(const Next& other) const {
            if (key != other.key)
                return other.key < key;
            return leaf > other.leaf;
        }
    };
    std::priority_queue<Next, std::vector<Next>, std::greater<Next>> heap;
    for (std::size_t i = 0; i < m_leaves.size(); ++i)
        if (!m_leaves[i].events.empty())
            heap.push({m_leaves[i].events.front().key(), i, 0});
    bool started = false;
    EventKey at{0, 0};
    while (!heap.empty()) {
        const Next next = heap.top();
        heap.pop();
        if (!started || next.key.time != at.time) {
            sink.setTime(next.key.time);
            at = {next.key.time, 0};
            started = true;
        }
        if (next.key.delta != at.delta) {
            sink.setDelta(next.key.delta);
            at.delta = next.key.delta;
        }
        const Leaf& from = m_leaves[next.leaf];
        sink.writeValue(from.handle, from.events[next.event].value());
        ++m_written;
        if (next.event + 1 < from.events.size())
            heap.push({from.events[next.event + 1].key(), next.leaf, next.event + 1});
    }
}
