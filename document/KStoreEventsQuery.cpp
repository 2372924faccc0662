#include "document/KStoreEventsQuery.h"

#include "storage/query/KEventsProvider.h"

#include <algorithm>
#include <limits>
#include <queue>

// One window's query: every event of the leaves in (start, end], and in the first window a value
// carried over from before time 0.
class KStoreEventsQuery::KMyEventsProvider final : public KEventsProvider {
public:
    KMyEventsProvider(KStoreEventsQuery& owner, SimTime start, SimTime end, bool first)
        : KEventsProvider(owner.m_sources, start), m_owner(owner), m_end(end), m_first(first) {}

    void OnStartValue(SignalHandle handle, const KEventRecord& record, bool) override {
        if (!m_first)
            return;
        leaf(handle).push_back(KEventRecord({m_owner.m_from, 0}, record.value()));
        m_carried.push_back(handle);
    }
    bool OnEvent(SignalHandle handle, const KEventRecord& record) override {
        if (record.time() > m_end)
            return false;
        std::vector<KEventRecord>& events = leaf(handle);
        // An event at (from, 0) replaces the value carried over to it. Other events that share
        // a key are kept: a source may hold several changes of one signal at one (time, delta).
        if (events.size() == 1 && record.key() == EventKey{m_owner.m_from, 0} && isCarried(handle))
            events.back() = record;
        else
            events.push_back(record);
        ++gathered;
        return true;
    }

    std::size_t gathered = 0;

private:
    std::vector<KEventRecord>& leaf(SignalHandle handle) {
        return m_owner.m_leaves[m_owner.m_indexByHandle.at(handle)].events;
    }

    bool isCarried(SignalHandle handle) const {
        return std::find(m_carried.begin(), m_carried.end(), handle) != m_carried.end();
    }

    KStoreEventsQuery& m_owner;
    SimTime m_end;
    bool m_first;
    std::vector<SignalHandle> m_carried; // few: only segments moved before time 0 carry a value
};

KStoreEventsQuery::KStoreEventsQuery(const IEventSources& sources, SimTime limit)
    : m_sources(sources), m_limit(limit) {}

void KStoreEventsQuery::addLeavesOf(SignalHandle handle) {
    std::vector<QueryLeaf> leaves;
    if (!m_sources.queryLeaves(handle, leaves))
        return;
    for (const QueryLeaf& found : leaves) {
        if (m_indexByHandle.count(found.handle) != 0)
            continue;
        m_indexByHandle.emplace(found.handle, m_leaves.size());
        m_leaves.push_back({found.handle, {}});
    }
}

std::size_t KStoreEventsQuery::gather(SimTime start, SimTime end, bool first) {
    for (Leaf& each : m_leaves)
        each.events.clear();
    // Starting just before `from` makes every event from (from, 0) on an ordinary event, deltas
    // included; a later window starts at the end of the one before, whose events it has written.
    KMyEventsProvider provider(*this, first ? m_from - 1 : start, end, first);
    for (const Leaf& each : m_leaves)
        provider.addSignal(each.handle);
    provider.run();
    return provider.gathered;
}

void KStoreEventsQuery::writeTo(KEventsWriteHandle& sink) {
    m_written = 0;
    m_started = false;
    if (m_limit < m_from || m_leaves.empty())
        return;
    // A first guess of the span; the event counts of the windows correct it.
    SimTime span = std::max<SimTime>((m_limit - m_from) / 64, 1);
    SimTime start = m_from - 1;
    bool first = true;
    while (first || start < m_limit) {
        const SimTime from = std::max(start, m_from);
        const SimTime end = span > m_limit - from ? m_limit : from + span;
        const std::size_t gathered = gather(start, end, first);
        merge(sink);
        if (gathered < m_windowEvents / 4 && span < std::numeric_limits<SimTime>::max() / 2)
            span *= 2;
        else if (gathered > m_windowEvents && span > 1)
            span /= 2;
        start = end;
        first = false;
    }
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
    while (!heap.empty()) {
        const Next next = heap.top();
        heap.pop();
        if (!m_started || next.key.time != m_at.time) {
            sink.setTime(next.key.time);
            m_at = {next.key.time, 0};
            m_started = true;
        }
        if (next.key.delta != m_at.delta) {
            sink.setDelta(next.key.delta);
            m_at.delta = next.key.delta;
        }
        const Leaf& from = m_leaves[next.leaf];
        sink.writeValue(from.handle, from.events[next.event].value());
        ++m_written;
        if (next.event + 1 < from.events.size())
            heap.push({from.events[next.event + 1].key(), next.leaf, next.event + 1});
    }
}
