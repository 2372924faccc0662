#pragma once

// One slice of a signal's waveform: the events of one signal of one event source between two
// positions of the document's time axis.
//
// A segment copies no events. It names a source (a shared read handle whose time offset maps
// document time to the source's own time) and the signal inside it; the query engine reads the
// source's events inside [from, to). Copying a segment shares the source. A segment may also carry
// raw value bytes and has no source then.
//
// Cutting a segment keeps its source and offset and changes only from and to: both parts read the
// same source at the same times. Shifting moves from and to and gives the source a larger offset,
// so that the shifted segment reads the same events at the shifted times.

#include "storage/EventValue.h"
#include "storage/KEventsReadHandle.h"
#include "storage/SimTime.h"

#include <cstdint>

class KEventSegment {
public:
    // Flags carried unchanged by cuts, shifts and copies.
    static constexpr std::uint8_t kSimulationResults = 1;

    KEventSegment() = default;
    KEventSegment(EventKey from, EventKey to, KEventsReadHandle source, SignalHandle sourceSignal,
                  std::uint8_t flags = 0);

    EventKey from() const { return m_from; }
    EventKey to() const { return m_to; }
    void setRange(EventKey from, EventKey to);
    const KEventsReadHandle& source() const { return m_source; }
    void setSource(KEventsReadHandle source, SignalHandle sourceSignal);
    SignalHandle sourceSignal() const { return m_sourceSignal; }
    std::uint8_t flags() const { return m_flags; }
    void setFlags(std::uint8_t flags) { m_flags = flags; }
    bool isSimulationResults() const { return (m_flags & kSimulationResults) != 0; }
    const EventValue& value() const { return m_value; }
    void setValue(EventValue value) { m_value = std::move(value); }

    // A segment whose end is not after its start covers nothing and is never stored.
    bool isEmpty() const { return !(m_from < m_to); }
    bool contains(EventKey key) const { return m_from <= key && key < m_to; }
    // The largest time the segment covers (to's time when to has a delta, else one before it).
    SimTime lastTime() const;

    // The same segment with a different range: same source, offset, signal, flags and value.
    KEventSegment cut(EventKey from, EventKey to) const;
    // The same events `delta` later (earlier when negative). Times saturate at the ends of the
    // time range. Throws KFileException when the source cannot be opened a second time to carry
    // the new offset.
    KEventSegment shifted(SimTime delta) const;

private:
    EventKey m_from;
    EventKey m_to;
    KEventsReadHandle m_source;
    SignalHandle m_sourceSignal = kNoSignal;
    std::uint8_t m_flags = 0;
    EventValue m_value;
};

// Adds with saturation at the ends of the time range.
SimTime addTime(SimTime time, SimTime delta);
