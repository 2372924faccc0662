#pragma once

// The latest event strictly before a reference time among some signals, and whose it is.
//
// The query starts at a time before the reference; a signal's start value counts as an event at
// that start time, so a search whose only earlier event is the start value answers the start
// time. Each signal stops at its first event at or after the reference.

#include "storage/query/KEventsProvider.h"

class KPreviousEventProvider final : public KEventsProvider {
public:
    KPreviousEventProvider(const IEventSources& sources, SimTime startTime, SimTime reference);

    bool found() const { return m_handle != kNoSignal; }
    // The event's time and signal; kNoTime and kNoSignal when nothing was found.
    SimTime time() const { return found() ? m_best : kNoTime; }
    SignalHandle handle() const { return m_handle; }

    // KEventsProvider
    void OnStartValue(SignalHandle handle, const KEventRecord& record, bool atStart) override;
    bool OnEvent(SignalHandle handle, const KEventRecord& record) override;

private:
    void consider(SignalHandle handle, SimTime time);

    SimTime m_reference;
    SimTime m_best = kNoTime;
    SignalHandle m_handle = kNoSignal;
};
