#pragma once

// The earliest event strictly after a reference time among some signals, and whose it is.
//
// Each signal stops at its first event after the reference time, or as soon as its events can no
// longer beat the best found so far (they come in ascending order); ties go to the signal
// requested first.

#include "storage/query/KEventsProvider.h"

class KNextEventProvider final : public KEventsProvider {
public:
    KNextEventProvider(const IEventSources& sources, SimTime reference);

    bool found() const { return m_handle != kNoSignal; }
    // The event's time and signal; kNoTime and kNoSignal when nothing was found.
    SimTime time() const { return found() ? m_best : kNoTime; }
    SignalHandle handle() const { return m_handle; }

    // KEventsProvider
    bool OnEvent(SignalHandle handle, const KEventRecord& record) override;

private:
    SimTime m_reference;
    SimTime m_best;
    SignalHandle m_handle = kNoSignal;
};
