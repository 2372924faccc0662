#pragma once

// The events of some signals over [start, end], collected per signal as a map from time to
// record. The start value is kept too, marked InForceAtStart, or AtStart when its event lies
// exactly at the start time. A signal stops at its first change after the end time.
//
// Several events at one time (delta cycles) keep the last one under that time.

#include "storage/query/KEventsProvider.h"

#include <map>
#include <unordered_map>

class KEventsQuery : public KEventsProvider {
public:
    using Events = std::map<SimTime, KEventRecord>;

    KEventsQuery(const IEventSources& sources, SimTime startTime, SimTime endTime);

    SimTime endTime() const { return m_endTime; }
    // The collected events of a signal; empty for a signal that was not requested or has none.
    const Events& events(SignalHandle handle) const;

    // Where a query compares values: the value before and after a change. Does nothing here.
    virtual void OnValueChange(SignalHandle handle, const KEventRecord& oldValue,
                               const KEventRecord& newValue, bool flag);

    // KEventsProvider
    void OnStartValue(SignalHandle handle, const KEventRecord& record, bool atStart) override;
    bool OnEvent(SignalHandle handle, const KEventRecord& record) override;

private:
    SimTime m_endTime;
    std::unordered_map<SignalHandle, Events> m_events;
};
