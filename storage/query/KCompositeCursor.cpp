#include "storage/query/KCompositeCursor.h"

#include <algorithm>
#include <cstring>
#include <utility>

KCompositeCursor::KCompositeCursor(std::vector<KLeafCursor> cursors,
                                   const std::vector<QueryLeaf>& leaves) {
    m_leaves.reserve(cursors.size());
    for (std::size_t i = 0; i < cursors.size(); ++i) {
        m_leaves.push_back(
            Leaf{std::move(cursors[i]), leaves[i].offset, leaves[i].size, false, false, {}});
        m_size = std::max(m_size, leaves[i].offset + leaves[i].size);
    }
}

void KCompositeCursor::seek(SimTime time) {
    m_hasPrevious = false;
    for (Leaf& leaf : m_leaves) {
        leaf.cursor.seek(time);
        EventKey key;
        leaf.hasValue = leaf.cursor.previous(key, nullptr);
        leaf.known = false;
        if (leaf.hasValue && (!m_hasPrevious || m_previousKey < key))
            m_previousKey = key;
        m_hasPrevious = m_hasPrevious || leaf.hasValue;
    }
    findCurrent();
}

void KCompositeCursor::next() {
    if (m_atEnd)
        return;
    if (isSingle()) {
        // One leaf: its next event is the next change, nothing to compare.
        Leaf& leaf = m_leaves.front();
        leaf.cursor.next();
        leaf.hasValue = true;
        leaf.known = false;
        m_hasPrevious = true;
        m_previousKey = m_key;
        m_atEnd = leaf.cursor.atEnd();
        if (!m_atEnd)
            m_key = leaf.cursor.key();
        return;
    }
    for (Leaf& leaf : m_leaves) {
        if (!changesNow(leaf))
            continue;
        leaf.cursor.next();
        leaf.hasValue = true;
        leaf.known = false;
    }
    m_hasPrevious = true;
    m_previousKey = m_key;
    findCurrent();
}

void KCompositeCursor::findCurrent() {
    m_atEnd = true;
    for (const Leaf& leaf : m_leaves) {
        if (leaf.cursor.atEnd())
            continue;
        if (m_atEnd || leaf.cursor.key() < m_key)
            m_key = leaf.cursor.key();
        m_atEnd = false;
    }
}

const EventValue& KCompositeCursor::inForce(Leaf& leaf) {
    if (!leaf.known && leaf.hasValue) {
        EventKey key;
        leaf.cursor.previous(key, &leaf.inForce);
        leaf.known = true;
    }
    return leaf.inForce;
}

EventValue KCompositeCursor::value() {
    if (isSingle())
        return m_leaves.front().cursor.value();
    EventValue combined = EventValue::zeroed(m_size);
    for (Leaf& leaf : m_leaves) {
        if (!changesNow(leaf) && !leaf.hasValue)
            continue;
        const EventValue part = changesNow(leaf) ? leaf.cursor.value() : inForce(leaf);
        std::memcpy(combined.mutableData() + leaf.offset, part.data(),
                    std::min(leaf.size, part.size()));
    }
    return combined;
}

EventValue KCompositeCursor::previousValue() {
    if (isSingle())
        return m_leaves.front().hasValue ? inForce(m_leaves.front()) : EventValue();
    EventValue combined = EventValue::zeroed(m_size);
    for (Leaf& leaf : m_leaves) {
        if (!leaf.hasValue)
            continue;
        const EventValue& part = inForce(leaf);
        std::memcpy(combined.mutableData() + leaf.offset, part.data(),
                    std::min(leaf.size, part.size()));
    }
    return combined;
}
