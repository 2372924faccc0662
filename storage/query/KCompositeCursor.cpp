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

void KCompositeCursor::nextOfAll() {
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

EventValue KCompositeCursor::combinedValue() {
    EventValue combined = EventValue::zeroed(m_size);
    for (Leaf& leaf : m_leaves) {
        if (!changesNow(leaf) && !leaf.hasValue)
            continue;
        EventValue changed;
        const EventValue& part = changesNow(leaf) ? (changed = leaf.cursor.value()) : inForce(leaf);
        std::memcpy(combined.mutableData() + leaf.offset, part.data(),
                    std::min(leaf.size, part.size()));
    }
    return combined;
}

EventValue KCompositeCursor::previousValue() {
    if (isSingle())
        // Borrowing where the leaf's value borrows: what it borrows from is pinned as long as
        // whoever the cursor lends to keeps values.
        return m_leaves.front().hasValue ? inForce(m_leaves.front()).keepBorrowing() : EventValue();
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
