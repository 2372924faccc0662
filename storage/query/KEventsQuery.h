#pragma once

// The events of some signals over [start, end], collected per signal as a map from time to
// record. The start value is kept too, marked InForceAtStart, or AtStart when its event lies
// exactly at the start time. A signal stops at its first change after the end time.
//
// Several events at one time (delta cycles) keep the last one under that time.

#include "storage/query/KEventsProvider.h"

#include <map>
#include <memory_resource>
#include <unordered_map>

class KEventsQuery : public KEventsProvider {
public:
    // The maps' nodes come from one arena that the query frees as a whole: a screen of rows
    // makes thousands of them, and nothing is ever taken out of a map.
    using Events = std::pmr::map<SimTime, KEventRecord>;

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
    Events& eventsOf(SignalHandle handle);

    SimTime m_endTime;
    std::pmr::monotonic_buffer_resource m_arena;
    std::unordered_map<SignalHandle, Events> m_events;
    // Events come signal after signal: the map of the last one is at hand.
    SignalHandle m_lastHandle = kNoSignal;
    Events* m_lastEvents = nullptr;
};
