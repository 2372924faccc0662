#pragma once

// Deleting time: [from, from + length) goes and the waveform after it moves earlier by `length`.

#include "document/KMoveBusSegment.h"

class KDeleteBusSegment final : public KMoveBusSegment {
public:
    KDeleteBusSegment(SimTime from, SimTime length) : m_from(from), m_to(addTime(from, length)) {}

    SimTime map(SimTime time) const override {
        if (time < m_from)
            return time;
        return time < m_to ? m_from : time - (m_to - m_from);
    }

protected:
    void move(KEventSegmentMap& segments) const override {
        segments.erase({m_from, 0}, {m_to, 0});
        segments.shiftFrom({m_to, 0}, -(m_to - m_from));
    }

private:
    SimTime m_from;
    SimTime m_to;
};
