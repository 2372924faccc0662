#include "storage/query/KCompositeCursor.h"

#include <algorithm>
#include <cstring>
#include <utility>

KCompositeCursor::KCompositeCursor(std::vector<KLeafCursor> cursors,
                                   const std::vector<QueryLeaf>& leaves) {
    m_leaves.reserve(cursors.size());
    for (std::size_t i = 0; i < cursors.size(); ++i) {
        m_leaves.push_back(Leaf{std::move(cursors[i]), leaves[i].offset, leaves[i].size, false, {}});
        m_size = std::max(m_size, leaves[i].offset + leaves[i].size);
    }
}

void KCompositeCursor::seek(SimTime time) {
    m_hasPrevious = false;
    for (Leaf& leaf : m_leaves) {
        leaf.cursor.seek(time);
        EventKey key;
        leaf.hasValue = leaf.cursor.previous(key, leaf.inForce);
        if (leaf.hasValue && (!m_hasPrevious || m_previousKey < key))
            m_previousKey = key;
        m_hasPrevious = m_hasPrevious || leaf.hasValue;
    }
    findCurrent();
}

void KCompositeCursor::next() {
    if (m_atEnd)
        return;
    for (Leaf& leaf : m_leaves) {
        if (leaf.cursor.atEnd() || !(leaf.cursor.key() == m_key))
            continue;
        leaf.inForce = leaf.cursor.value();
        leaf.hasValue = true;
        leaf.cursor.next();
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

EventValue KCompositeCursor::value() const {
    if (isSingle())
        return m_leaves.front().cursor.value();
    EventValue combined = EventValue::zeroed(m_size);
    for (const Leaf& leaf : m_leaves) {
        const bool changes = !leaf.cursor.atEnd() && leaf.cursor.key() == m_key;
        if (!changes && !leaf.hasValue)
            continue;
        const EventValue& part = changes ? leaf.cursor.value() : leaf.inForce;
        std::memcpy(combined.mutableData() + leaf.offset, part.data(),
                    std::min(leaf.size, part.size()));
    }
    return combined;
}

EventValue KCompositeCursor::previousValue() const {
    if (isSingle())
        return m_leaves.front().inForce;
    EventValue combined = EventValue::zeroed(m_size);
    for (const Leaf& leaf : m_leaves)
        if (leaf.hasValue)
            std::memcpy(combined.mutableData() + leaf.offset, leaf.inForce.data(),
                        std::min(leaf.size, leaf.inForce.size()));
    return combined;
}
