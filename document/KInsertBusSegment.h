#pragma once

// Inserting time: the waveform from `at` on moves later by `length`, leaving [at, at + length)
// without segments for the new events.

#include "document/KMoveBusSegment.h"

class KInsertBusSegment final : public KMoveBusSegment {
public:
    KInsertBusSegment(SimTime at, SimTime length) : m_at(at), m_length(length) {}

    SimTime map(SimTime time) const override {
        return time >= m_at ? addTime(time, m_length) : time;
    }

protected:
    void move(KEventSegmentMap& segments) const override {
        segments.shiftFrom({m_at, 0}, m_length);
    }

private:
    SimTime m_at;
    SimTime m_length;
};
