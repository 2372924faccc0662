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

#include <cstddef>
#include <unordered_map>
#include <utility>
#include <vector>

class KEventsQuery : public KEventsProvider {
public:
    // One signal's records by time: an ordered map kept as a vector, since records only ever
    // arrive in ascending time order. A screen of rows holds thousands of them; one allocation
    // per row, not one per record, keeps a repaint cheap.
    class Events {
    public:
        using value_type = std::pair<SimTime, KEventRecord>;
        using const_iterator = std::vector<value_type>::const_iterator;
        using const_reverse_iterator = std::vector<value_type>::const_reverse_iterator;

        const_iterator begin() const { return m_records.begin(); }
        const_iterator end() const { return m_records.end(); }
        const_reverse_iterator rbegin() const { return m_records.rbegin(); }
        const_reverse_iterator rend() const { return m_records.rend(); }
        std::size_t size() const { return m_records.size(); }
        bool empty() const { return m_records.empty(); }
        // The record at a time; end() when there is none.
        const_iterator find(SimTime time) const;
        std::size_t count(SimTime time) const { return find(time) == end() ? 0 : 1; }
        // The record at a time; throws std::out_of_range when there is none.
        const KEventRecord& at(SimTime time) const;

    private:
        friend class KEventsQuery;
        // Replaces the last record when it has the same time.
        void append(KEventRecord&& record) {
            const SimTime time = record.time();
            if (!m_records.empty() && m_records.back().first == time)
                m_records.back().second = std::move(record);
            else
                m_records.emplace_back(time, std::move(record));
        }

        std::vector<value_type> m_records;
    };

    KEventsQuery(const IEventSources& sources, SimTime startTime, SimTime endTime);

    SimTime endTime() const { return m_endTime; }
    // The collected events of a signal; empty for a signal that was not requested or has none.
    const Events& events(SignalHandle handle) const;

    // Where a query compares values: the value before and after a change. Does nothing here.
    virtual void OnValueChange(SignalHandle handle, const KEventRecord& oldValue,
                               const KEventRecord& newValue, bool flag);

    // KEventsProvider
    void OnStartValue(SignalHandle handle, const KEventRecord& record, bool atStart) override;
    bool OnEvent(SignalHandle handle, const KEventRecord& record) final;
    bool OnMovedEvent(SignalHandle handle, KEventRecord&& record) final;

protected:
    void OnRunEnd() override;

private:
    // Inline for the usual case: the signal is the last one's or the next one's in m_order.
    Events& eventsOf(SignalHandle handle) {
        if (m_last < m_order.size()) {
            if (m_order[m_last].first == handle)
                return *m_order[m_last].second;
            const std::size_t next = m_last + 1 < m_order.size() ? m_last + 1 : 0;
            if (m_order[next].first == handle) {
                m_last = next;
                return *m_order[next].second;
            }
        }
        return findEvents(handle);
    }
    Events& findEvents(SignalHandle handle);

    SimTime m_endTime;
    struct Listed {
        Events events;
        std::size_t order = 0; // in m_order
    };
    std::unordered_map<SignalHandle, Listed> m_events;
    // Drawn signals are read side by side, a few events of each in turn, always in the same
    // order: the lists in the order they were first asked for, and where the last one stands in
    // it, so that the next signal's list is usually the next entry.
    std::vector<std::pair<SignalHandle, Events*>> m_order;
    std::size_t m_last = 0;
};
