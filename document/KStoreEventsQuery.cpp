#include "document/KStoreEventsQuery.h"

#include "storage/query/KQueryEngine.h"

#include <algorithm>
#include <queue>

KStoreEventsQuery::KStoreEventsQuery(const IEventSources& sources, SimTime limit)
    : m_sources(sources), m_limit(limit) {}

void KStoreEventsQuery::addLeavesOf(SignalHandle handle) {
    std::vector<QueryLeaf> leaves;
    if (!m_sources.queryLeaves(handle, leaves))
        return;
    for (const QueryLeaf& found : leaves)
        if (m_requested.insert(found.handle).second)
            m_handles.push_back(found.handle);
}

std::vector<KStoreEventsQuery::Leaf> KStoreEventsQuery::openLeaves() const {
    const KQueryEngine engine(m_sources, m_from);
    std::vector<Leaf> leaves;
    leaves.reserve(m_handles.size());
    for (SignalHandle handle : m_handles) {
        Leaf leaf{handle, engine.open(handle)};
        leaf.cursor.seek(m_from);
        leaf.carried = leaf.cursor.hasPrevious();
        leaves.push_back(std::move(leaf));
    }
    return leaves;
}

bool KStoreEventsQuery::nextKey(const Leaf& leaf, EventKey& key) const {
    if (leaf.carried) {
        key = {m_from, 0};
        return true;
    }
    if (leaf.cursor.atEnd() || leaf.cursor.key().time > m_limit)
        return false;
    key = leaf.cursor.key();
    return true;
}

void KStoreEventsQuery::write(KEventsWriteHandle& sink, SignalHandle handle, EventKey key,
                              const EventValue& value) {
    if (!m_started || key.time != m_at.time) {
        sink.setTime(key.time);
        m_at = {key.time, 0};
        m_started = true;
    }
    if (key.delta != m_at.delta) {
        sink.setDelta(key.delta);
        m_at.delta = key.delta;
    }
    sink.writeValue(handle, value);
    ++m_written;
}

void KStoreEventsQuery::writeTo(KEventsWriteHandle& sink) {
    m_written = 0;
    m_started = false;
    if (m_limit < m_from || m_handles.empty())
        return;
    std::vector<Leaf> leaves = openLeaves();
    // Heap of (key, leaf index): the smallest key first, leaves in request order.
    using Next = std::pair<EventKey, std::size_t>;
    const auto later = [](const Next& a, const Next& b) {
        if (a.first != b.first)
            return b.first < a.first;
        return a.second > b.second;
    };
    std::priority_queue<Next, std::vector<Next>, decltype(later)> heap(later);
    EventKey key;
    for (std::size_t i = 0; i < leaves.size(); ++i)
        if (nextKey(leaves[i], key))
            heap.push({key, i});
    while (!heap.empty()) {
        const auto [at, index] = heap.top();
        heap.pop();
        Leaf& leaf = leaves[index];
        if (leaf.carried) {
            leaf.carried = false;
            // An event at (from, 0) replaces the value carried over to it. Other events that
            // share a key are kept: a source may hold several changes of one signal at one key.
            if (leaf.cursor.atEnd() || !(leaf.cursor.key() == at))
                write(sink, leaf.handle, at, leaf.cursor.previousValue());
        } else {
            write(sink, leaf.handle, at, leaf.cursor.value());
            leaf.cursor.next();
        }
        if (nextKey(leaf, key))
            heap.push({key, index});
    }
}
