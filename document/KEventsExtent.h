#pragma once

#include "document/KItemUI.h"
#include "storage/SimTime.h"

// A measurement joining an event of one signal to an event of the same or another signal.
class KEventsExtent final : public KItemUI {
public:
    KEventsExtent(SignalHandle startSignal, SimTime startTime, SignalHandle endSignal,
                  SimTime endTime, int rowPosition = 0)
        : m_startSignal(startSignal), m_startTime(startTime), m_endSignal(endSignal),
          m_endTime(endTime), m_rowPosition(rowPosition) {}

    Kind kind() const override { return Kind::Measurement; }
    SignalHandle signal() const override { return m_startSignal; }
    SignalHandle endSignal() const override { return m_endSignal; }

    SimTime startTime() const { return m_startTime; }
    SimTime endTime() const { return m_endTime; }
    SimTime duration() const { return m_endTime - m_startTime; }
    void setEnds(SimTime startTime, SimTime endTime) {
        m_startTime = startTime;
        m_endTime = endTime;
    }
    int rowPosition() const { return m_rowPosition; }
    void setRowPosition(int position) { m_rowPosition = position; }

private:
    SignalHandle m_startSignal;
    SimTime m_startTime;
    SignalHandle m_endSignal;
    SimTime m_endTime;
    int m_rowPosition;
};
