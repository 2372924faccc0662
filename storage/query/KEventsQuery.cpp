#include "storage/query/KEventsQuery.h"

#include <algorithm>
#include <stdexcept>

KEventsQuery::Events::const_iterator KEventsQuery::Events::find(SimTime time) const {
    const auto found = std::lower_bound(
        m_records.begin(), m_records.end(), time,
        [](const value_type& entry, SimTime wanted) { return entry.first < wanted; });
    return found != m_records.end() && found->first == time ? found : m_records.end();
}

const KEventRecord& KEventsQuery::Events::at(SimTime time) const {
    const auto found = find(time);
    if (found == end())
        throw std::out_of_range("KEventsQuery::Events: no record at this time");
    return found->second;
}

KEventsQuery::KEventsQuery(const IEventSources& sources, SimTime startTime, SimTime endTime)
    : KEventsProvider(sources, startTime), m_endTime(endTime) {}

const KEventsQuery::Events& KEventsQuery::events(SignalHandle handle) const {
    static const Events kNone;
    auto found = m_events.find(handle);
    return found == m_events.end() ? kNone : found->second.events;
}

KEventsQuery::Events& KEventsQuery::findEvents(SignalHandle handle) {
    // A signal with nothing to deliver in a round is skipped: look a few entries ahead.
    std::size_t at = m_last;
    for (int ahead = 0; ahead < 8 && at < m_order.size(); ++ahead) {
        if (m_order[at].first == handle) {
            m_last = at;
            return *m_order[at].second;
        }
        at = at + 1 < m_order.size() ? at + 1 : 0;
    }
    auto [found, added] = m_events.try_emplace(handle);
    Listed& listed = found->second;
    if (added) {
        listed.order = m_order.size();
        m_order.emplace_back(handle, &listed.events);
    }
    m_last = listed.order;
    return listed.events;
}

void KEventsQuery::OnValueChange(SignalHandle, const KEventRecord&, const KEventRecord&, bool) {}

void KEventsQuery::OnStartValue(SignalHandle handle, const KEventRecord& record, bool atStart) {
    KEventRecord start = record.keepBorrowing();
    start.setState(atStart ? KEventRecord::AtStart : KEventRecord::InForceAtStart);
    Events& events = eventsOf(handle);
    // A drawn row of a busy signal holds hundreds of changes (up to one per merge distance, half
    // a screen's columns): this saves the first regrowths, each of which moves every record, for
    // 12 KiB a row while the query lives.
    events.m_records.reserve(256);
    events.append(std::move(start));
}

bool KEventsQuery::OnEvent(SignalHandle handle, const KEventRecord& record) {
    return OnMovedEvent(handle, record.keepBorrowing());
}

bool KEventsQuery::OnMovedEvent(SignalHandle handle, KEventRecord&& record) {
    // Times come in ascending order, so the new one goes at the end.
    Events& events = eventsOf(handle);
    if (record.time() > m_endTime) {
        record.setState(KEventRecord::ChangeAfterEnd);
        events.append(std::move(record));
        return false;
    }
    events.append(std::move(record));
    return true;
}

void KEventsQuery::OnRunEnd() {
    for (const auto& entry : m_order) {
        Events& events = *entry.second;
        if (events.empty())
            continue;
        const KEventRecord& last = events.m_records.back().second;
        if (last.state() == KEventRecord::ChangeAfterEnd || last.time() >= m_endTime)
            continue;
        KEventRecord held({m_endTime, 0}, last.value().keepBorrowing());
        held.setState(KEventRecord::HeldToEnd);
        events.append(std::move(held));
    }
}
