#pragma once

// The events of some signals over [start, end], collected per signal as a map from time to
// record, ready to be drawn: each two neighbouring records are one stretch of the waveform,
// from the first's time to the second's, with the first's value.
//
// The first record opens the range at its left edge: the start value, marked InForceAtStart
// when its event lies before the start time (the stretch begins at the left edge, not at its
// time) or AtStart when it lies exactly there. A signal without a value at the start has no
// such record; its first stretch begins at its first event.
//
// The last record closes the range at its right edge, so the last stretch runs to the edge:
//  - ChangeAfterEnd: the signal's first change after the end time, with its own time and value
//    (the signal stops there);
//  - HeldToEnd: the signal does not change again; a record at the end time repeats the last
//    value. None is added when the last event lies exactly at the end time (its stretch has no
//    width) or when the signal has no record at all.
// A record marked neither way is an event inside the range.
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

protected:
    void OnRunEnd() override;

private:
    Events& eventsOf(SignalHandle handle);

    SimTime m_endTime;
    std::pmr::monotonic_buffer_resource m_arena;
    std::unordered_map<SignalHandle, Events> m_events;
    // Events come signal after signal: the map of the last one is at hand.
    SignalHandle m_lastHandle = kNoSignal;
    Events* m_lastEvents = nullptr;
};
