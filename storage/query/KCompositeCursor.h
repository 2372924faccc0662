#pragma once

// A cursor over the changes of a requested signal: one leaf, or the leaves of a bus or record
// read together.
//
// A composite changes wherever any of its leaves has an event; at each such position it reports
// one value, the combined bytes, each leaf's value at its byte offset (a leaf that has no value
// yet leaves zeros). A lone leaf reports its values as they are, so a long value is shared, not
// copied.
//
// Values are read only when asked for: a reader that merges a dense stretch asks for the value at
// its end and never pays for the values it skipped.

#include "storage/query/KLeafCursor.h"

#include <cstddef>
#include <cstdint>
#include <vector>

class KCompositeCursor {
public:
    KCompositeCursor() = default;
    // `cursors` and `leaves` are parallel.
    KCompositeCursor(std::vector<KLeafCursor> cursors, const std::vector<QueryLeaf>& leaves);

    bool isEmpty() const { return m_leaves.empty(); }
    // Moves to the first change whose time is at or after `time`.
    void seek(SimTime time);
    // Moves past the current change.
    void next() {
        if (m_atEnd)
            return;
        if (!isSingle()) {
            nextOfAll();
            return;
        }
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
    }
    bool atEnd() const { return m_atEnd; }
    EventKey key() const { return m_key; }
    // The value after the current change.
    EventValue value() { return isSingle() ? m_leaves.front().cursor.value() : combinedValue(); }

    // The last change before the position; false when none of the leaves had a value before it.
    bool hasPrevious() const { return m_hasPrevious; }
    EventKey previousKey() const { return m_previousKey; }
    // The value in force before the position.
    EventValue previousValue();

    // Lets the leaves lend their values (see KSignalCursor::lendValues): combined values are
    // still values of their own.
    void lendValues(KValuePins* pins) {
        for (Leaf& leaf : m_leaves)
            leaf.cursor.lendValues(pins);
    }

    // A lone leaf's summary where it stands (see KLeafCursor::coarse); false for a composite.
    bool coarse(SimTime maxWidth, KLeafCursor::Coarse& out) {
        return isSingle() && !m_atEnd && m_leaves.front().cursor.coarse(maxWidth, out);
    }

private:
    struct Leaf {
        KLeafCursor cursor;
        std::uint32_t offset = 0;
        std::uint32_t size = 0;
        bool hasValue = false; // the leaf has a value before its position
        bool known = false;    // inForce holds that value
        EventValue inForce;
    };

    void findCurrent();
    void nextOfAll();
    EventValue combinedValue();
    const EventValue& inForce(Leaf& leaf);
    bool isSingle() const { return m_leaves.size() == 1; }
    bool changesNow(const Leaf& leaf) const {
        return !leaf.cursor.atEnd() && leaf.cursor.key() == m_key;
    }

    std::vector<Leaf> m_leaves;
    std::uint32_t m_size = 0; // bytes of the combined value
    bool m_atEnd = true;
    EventKey m_key;
    bool m_hasPrevious = false;
    EventKey m_previousKey;
};
