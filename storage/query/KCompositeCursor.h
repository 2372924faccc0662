#pragma once

// A cursor over the changes of a requested signal: one leaf, or the leaves of a bus or record
// read together.
//
// A composite changes wherever any of its leaves has an event; at each such position it reports
// one value, the combined bytes, each leaf's value at its byte offset (a leaf that has no value
// yet leaves zeros). A lone leaf reports its values as they are, so a long value is shared, not
// copied.

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
    // Moves to the first change whose time is at or after `time`, and learns what was in force
    // before it.
    void seek(SimTime time);
    // Moves past the current change.
    void next();
    bool atEnd() const { return m_atEnd; }
    EventKey key() const { return m_key; }
    // The value after the current change.
    EventValue value() const;

    // The last change before the position, as learnt by the last seek and the steps since;
    // false when none of the leaves had a value before it.
    bool hasPrevious() const { return m_hasPrevious; }
    EventKey previousKey() const { return m_previousKey; }
    EventValue previousValue() const;

private:
    struct Leaf {
        KLeafCursor cursor;
        std::uint32_t offset = 0;
        std::uint32_t size = 0;
        bool hasValue = false;
        EventValue inForce; // the leaf's value before the position
    };

    void findCurrent();
    bool isSingle() const { return m_leaves.size() == 1; }

    std::vector<Leaf> m_leaves;
    std::uint32_t m_size = 0; // bytes of the combined value
    bool m_atEnd = true;
    EventKey m_key;
    bool m_hasPrevious = false;
    EventKey m_previousKey;
};
