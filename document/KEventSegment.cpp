#include "document/KEventSegment.h"

#include "storage/KFileException.h"

#include <limits>
#include <utility>

SimTime addTime(SimTime time, SimTime delta) {
    SimTime result;
    if (!__builtin_add_overflow(time, delta, &result))
        return result;
    return delta > 0 ? std::numeric_limits<SimTime>::max() : std::numeric_limits<SimTime>::min();
}

KEventSegment::KEventSegment(EventKey from, EventKey to, KEventsReadHandle source,
                             SignalHandle sourceSignal, std::uint8_t flags)
    : m_from(from), m_to(to), m_source(std::move(source)), m_sourceSignal(sourceSignal),
      m_flags(flags) {}

void KEventSegment::setRange(EventKey from, EventKey to) {
    m_from = from;
    m_to = to;
}

void KEventSegment::setSource(KEventsReadHandle source, SignalHandle sourceSignal) {
    m_source = std::move(source);
    m_sourceSignal = sourceSignal;
}

SimTime KEventSegment::lastTime() const {
    if (isEmpty())
        return kNoTime;
    return m_to.delta > 0 ? m_to.time : m_to.time - 1;
}

KEventSegment KEventSegment::cut(EventKey from, EventKey to) const {
    KEventSegment part = *this;
    part.setRange(from, to);
    return part;
}

KEventSegment KEventSegment::shifted(SimTime delta) const {
    KEventSegment moved = *this;
    moved.m_from.time = addTime(m_from.time, delta);
    moved.m_to.time = addTime(m_to.time, delta);
    // The moved part shares its source with a larger offset: nothing is reopened or copied.
    if (delta != 0 && m_source)
        moved.m_source = m_source.sharedWithShift(delta);
    return moved;
}
