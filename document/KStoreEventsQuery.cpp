#include "document/KStoreEventsQuery.h"

#include "storage/query/KQueryEngine.h"

#include <algorithm>
#include <limits>

namespace {

// A leaf's next event in the merge: ordered by key, then by leaf in request order. Delta and leaf
// share one word so that an order takes two comparisons.
struct Next {
    SimTime time;
    std::uint64_t deltaAndLeaf;
    static Next of(EventKey key, std::size_t leaf) {
        const auto delta = static_cast<std::uint64_t>(std::int64_t(key.delta) -
                                                      std::numeric_limits<DeltaCycle>::min());
        return {key.time, delta << 32 | leaf};
    }
    std::size_t leaf() const { return static_cast<std::uint32_t>(deltaAndLeaf); }
    bool operator<(const Next& other) const {
        return time != other.time ? time < other.time : deltaAndLeaf < other.deltaAndLeaf;
    }
};

// Restores the smallest-first heap order after heap[0] changed: a pop and a push in one descent.
void siftDown(std::vector<Next>& heap) {
    const std::size_t size = heap.size();
    const Next moving = heap[0];
    std::size_t at = 0;
    for (std::size_t child = 1; child < size; child = 2 * at + 1) {
        if (child + 1 < size && heap[child + 1] < heap[child])
            ++child;
        if (!(heap[child] < moving))
            break;
        heap[at] = heap[child];
        at = child;
    }
    heap[at] = moving;
}

} // namespace

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
    std::vector<Next> heap;
    EventKey key;
    for (std::size_t i = 0; i < leaves.size(); ++i)
        if (nextKey(leaves[i], key))
            heap.push_back(Next::of(key, i));
    std::make_heap(heap.begin(), heap.end(), [](const Next& a, const Next& b) { return b < a; });
    while (!heap.empty()) {
        const std::size_t index = heap[0].leaf();
        Leaf& leaf = leaves[index];
        const EventKey at{heap[0].time, DeltaCycle(std::int64_t(heap[0].deltaAndLeaf >> 32) +
                                                   std::numeric_limits<DeltaCycle>::min())};
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
        if (nextKey(leaf, key)) {
            heap[0] = Next::of(key, index);
        } else {
            heap[0] = heap.back();
            heap.pop_back();
        }
        if (!heap.empty())
            siftDown(heap);
    }
}
