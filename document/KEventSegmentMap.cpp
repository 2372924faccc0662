#include "document/KEventSegmentMap.h"

#include <iterator>

void KEventSegmentMap::place(const KEventSegment& segment) {
    if (!segment.isEmpty())
        m_segments.insert_or_assign(segment.from(), segment);
}

void KEventSegmentMap::splitAt(EventKey at) {
    auto it = m_segments.upper_bound(at);
    if (it == m_segments.begin())
        return;
    --it;
    const KEventSegment& segment = it->second;
    if (!(segment.from() < at && at < segment.to()))
        return;
    KEventSegment right = segment.cut(at, segment.to());
    it->second.setRange(segment.from(), at);
    m_segments.emplace_hint(std::next(it), at, std::move(right));
}

bool KEventSegmentMap::insert(const KEventSegment& segment, InsertForm form) {
    if (segment.isEmpty())
        return false;
    if (form == InsertForm::Insert) {
        // Moving copies of the sources can fail; work on a copy so that a failure changes nothing.
        KEventSegmentMap moved = *this;
        SimTime length = 0;
        if (__builtin_sub_overflow(segment.to().time, segment.from().time, &length))
            length = kMaxTime;
        if (!moved.shiftFrom(segment.from(), length))
            return false;
        // With a length only in deltas the moved part starts before T; overwriting keeps the
        // map free of overlaps in that case as well.
        moved.erase(segment.from(), segment.to());
        moved.place(segment);
        m_segments.swap(moved.m_segments);
        return true;
    }
    erase(segment.from(), segment.to());
    place(segment);
    return true;
}

void KEventSegmentMap::erase(EventKey from, EventKey to) {
    if (!(from < to))
        return;
    splitAt(from);
    splitAt(to);
    m_segments.erase(m_segments.lower_bound(from), m_segments.lower_bound(to));
}

bool KEventSegmentMap::shiftFrom(EventKey at, SimTime delta) {
    if (delta == 0)
        return true;
    auto first = m_segments.lower_bound(at);
    auto straddling = m_segments.upper_bound(at);
    if (straddling != m_segments.begin() && std::prev(straddling)->second.contains(at))
        first = std::prev(straddling);
    if (delta < 0) {
        const EventKey target{addTime(at.time, delta), at.delta};
        // The free interval is what lies before `at` and does not move.
        for (auto it = m_segments.begin(); it != first; ++it)
            if (target < it->second.to())
                return false;
        // A segment across `at` keeps its part before `at`, which the moved part would overlap.
        if (first != m_segments.end() && first->second.from() < at)
            return false;
    }
    Map result;
    for (auto it = m_segments.begin(); it != first; ++it)
        result.emplace_hint(result.end(), it->first, it->second);
    for (auto it = first; it != m_segments.end(); ++it) {
        const KEventSegment& segment = it->second;
        KEventSegment part = segment.from() < at ? segment.cut(at, segment.to()) : segment;
        if (segment.from() < at)
            result.emplace_hint(result.end(), segment.from(), segment.cut(segment.from(), at));
        KEventSegment moved = part.shifted(delta);
        if (!moved.isEmpty())
            result.insert_or_assign(moved.from(), std::move(moved));
    }
    m_segments.swap(result);
    return true;
}

const KEventSegment* KEventSegmentMap::segmentAt(EventKey key) const {
    auto it = firstEndingAfter(key);
    if (it == m_segments.end() || !it->second.contains(key))
        return nullptr;
    return &it->second;
}

KEventSegmentMap::const_iterator KEventSegmentMap::firstEndingAfter(EventKey key) const {
    auto it = m_segments.upper_bound(key);
    if (it != m_segments.begin() && key < std::prev(it)->second.to())
        return std::prev(it);
    return it;
}

SimTime KEventSegmentMap::lastTime() const {
    if (m_segments.empty())
        return kNoTime;
    return m_segments.rbegin()->second.lastTime();
}
