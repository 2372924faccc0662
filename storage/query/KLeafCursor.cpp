#include "storage/query/KLeafCursor.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace {

constexpr SimTime kMinTime = std::numeric_limits<SimTime>::min();
constexpr DeltaCycle kMinDelta = std::numeric_limits<DeltaCycle>::min();

} // namespace

KLeafCursor::KLeafCursor(std::vector<QuerySegment> segments)
    : m_segments(std::move(segments)), m_sources(m_segments.size()), m_segment(m_segments.size()) {}

KLeafCursor::~KLeafCursor() = default;

KSignalCursor* KLeafCursor::cursor(std::size_t index) {
    Source& source = m_sources[index];
    if (!source.opened) {
        const QuerySegment& segment = m_segments[index];
        if (segment.source) {
            source.cursor = segment.source.openCursor(segment.sourceSignal);
            source.database = dynamic_cast<KDatabaseSignalCursor*>(source.cursor.get());
            if (m_pins != nullptr)
                source.cursor->lendValues(m_pins);
        }
        source.opened = true;
    }
    return source.cursor.get();
}

void KLeafCursor::lendValues(KValuePins* pins) {
    m_pins = pins;
    for (Source& source : m_sources)
        if (source.cursor)
            source.cursor->lendValues(pins);
}

void KLeafCursor::seek(SimTime time) {
    // The first segment that still holds events at or after `time`.
    const EventKey first{time, kMinDelta};
    const auto found =
        std::partition_point(m_segments.begin(), m_segments.end(),
                             [first](const QuerySegment& segment) { return segment.to <= first; });
    enter(static_cast<std::size_t>(found - m_segments.begin()), time);
}

void KLeafCursor::nextSegment() {
    if (atEnd())
        return;
    if (cursor(m_segment) != nullptr) {
        if (m_place == Place::Source)
            m_sources[m_segment].next();
        if (takeSourceEvent())
            return;
    }
    enter(m_segment + 1, kMinTime);
}

void KLeafCursor::enter(std::size_t index, SimTime time) {
    for (m_segment = index; m_segment < m_segments.size(); ++m_segment) {
        const QuerySegment& segment = m_segments[m_segment];
        if (segment.from.time >= time) {
            // The segment starts at or after `time`: its first event is the boundary.
            if (boundaryValue(m_segment, m_value)) {
                m_place = Place::Boundary;
                m_key = segment.from;
                return;
            }
            if (cursor(m_segment) != nullptr && takeSourceEvent())
                return;
            continue;
        }
        KSignalCursor* source = cursor(m_segment);
        if (source == nullptr)
            continue; // a constant's only event lies before `time`
        source->seek(time);
        if (takeSourceEvent())
            return;
    }
}

bool KLeafCursor::boundaryValue(std::size_t index, EventValue& value) {
    const QuerySegment& segment = m_segments[index];
    KSignalCursor* source = cursor(index);
    if (source == nullptr) {
        if (segment.source || segment.value.isEmpty())
            return false;
        value = segment.value;
        return true;
    }
    // Events at from's time but at or before its delta are in force at from as well.
    source->seek(segment.from.time);
    while (!source->atEnd() && source->key() <= segment.from)
        source->next();
    EventKey key;
    return source->previous(key, &value);
}

bool KLeafCursor::coarse(SimTime maxWidth, Coarse& out) {
    if (atEnd() || m_place != Place::Source)
        return false;
    const QuerySegment& segment = m_segments[m_segment];
    if (m_key.time <= segment.from.time)
        return false;
    out.summary = m_sources[m_segment].cursor->summary(maxWidth);
    out.offset = segment.source.offset();
    out.to = segment.to;
    return out.summary != nullptr;
}

bool KLeafCursor::previous(EventKey& key, EventValue* value) {
    std::size_t index = m_segment;
    if (!atEnd() && m_place == Place::Source) {
        const QuerySegment& segment = m_segments[index];
        if (m_sources[index].cursor->previous(key, value)) {
            // An earlier source event is the value in force at from: the boundary event.
            key = std::max(key, segment.from);
            return true;
        }
    }
    while (index-- > 0)
        if (lastOfSegment(index, key, value))
            return true;
    return false;
}

bool KLeafCursor::lastOfSegment(std::size_t index, EventKey& key, EventValue* value) {
    const QuerySegment& segment = m_segments[index];
    KSignalCursor* source = cursor(index);
    if (source == nullptr) {
        if (segment.source || segment.value.isEmpty())
            return false;
        key = segment.from;
        if (value != nullptr)
            *value = segment.value;
        return true;
    }
    source->seek(segment.to.time);
    while (!source->atEnd() && source->key() < segment.to)
        source->next();
    if (!source->previous(key, value))
        return false;
    key = std::max(key, segment.from);
    return true;
}
