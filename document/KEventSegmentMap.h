#pragma once

// The waveform of one signal: its segments ordered by start position.
//
// Invariants: every stored segment is non-empty (from < to), it is keyed by its own from, and no
// two segments overlap. Gaps are allowed: a signal has no events where no segment lies.
//
// Two ways to put a new segment N = [F, T) in:
//   Overwrite  the segment containing F keeps its part before F, the segments inside [F, T) go,
//              the segment containing T keeps its part from T on, and N fills [F, T).
//   Insert     the segment containing F is cut at F, and everything from F on (the right part of
//              the cut included) moves later by T - F before N is placed at F.
// Cut parts share their source and offset; moved parts get a source with a larger offset, so
// they read the same events at the new times (see KEventSegment::shifted).
//
// Operations that move segments can fail when a file source cannot be opened again; they throw
// KFileException and leave the map as it was.

#include "document/KEventSegment.h"
#include "storage/SimTime.h"

#include <cstddef>
#include <map>

enum class InsertForm { Overwrite, Insert };

class KEventSegmentMap {
public:
    using Map = std::map<EventKey, KEventSegment>;
    using const_iterator = Map::const_iterator;

    // Puts `segment` in by `form`. An empty segment (to not after from) is refused: false, and
    // nothing changes.
    bool insert(const KEventSegment& segment, InsertForm form);
    // Removes what lies in [from, to): segments inside go, segments across an end are cut.
    void erase(EventKey from, EventKey to);
    // Moves everything at or after `at` by `delta` (a segment across `at` is cut there first).
    // Moving earlier needs the interval [at + delta, at) to be free; otherwise false and nothing
    // changes. Segments pushed wholly past the ends of the time range are dropped.
    bool shiftFrom(EventKey at, SimTime delta);
    void clear() { m_segments.clear(); }

    const_iterator begin() const { return m_segments.begin(); }
    const_iterator end() const { return m_segments.end(); }
    std::size_t size() const { return m_segments.size(); }
    bool empty() const { return m_segments.empty(); }

    // The segment covering `key`, or null.
    const KEventSegment* segmentAt(EventKey key) const;
    // The first segment that ends after `key` (the one covering it, or the next one).
    const_iterator firstEndingAfter(EventKey key) const;
    // The largest time any segment covers; kNoTime when there is none.
    SimTime lastTime() const;

private:
    // Cuts the segment that contains `at` strictly inside into two at `at`.
    void splitAt(EventKey at);
    void place(const KEventSegment& segment);

    Map m_segments;
};
