#pragma once

#include "document/KItemUI.h"
#include "storage/SimTime.h"

// A difference found by comparing with another waveform: an interval of one signal.
class KDifferenceMark final : public KItemUI {
public:
    KDifferenceMark(SignalHandle signal, SimTime from, SimTime to)
        : m_signal(signal), m_from(from), m_to(to) {}

    Kind kind() const override { return Kind::DifferenceMark; }
    SignalHandle signal() const override { return m_signal; }

    SimTime from() const { return m_from; }
    SimTime to() const { return m_to; }

private:
    SignalHandle m_signal;
    SimTime m_from;
    SimTime m_to;
};
