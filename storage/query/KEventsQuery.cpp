#include "storage/query/KEventsQuery.h"

KEventsQuery::KEventsQuery(const IEventSources& sources, SimTime startTime, SimTime endTime)
    : KEventsProvider(sources, startTime), m_endTime(endTime) {}

const KEventsQuery::Events& KEventsQuery::events(SignalHandle handle) const {
    static const Events kNone;
    auto found = m_events.find(handle);
    return found == m_events.end() ? kNone : found->second;
}

KEventsQuery::Events& KEventsQuery::eventsOf(SignalHandle handle) {
    if (m_lastEvents == nullptr || handle != m_lastHandle) {
        m_lastEvents = &m_events.try_emplace(handle, &m_arena).first->second;
        m_lastHandle = handle;
    }
    return *m_lastEvents;
}

void KEventsQuery::OnValueChange(SignalHandle, const KEventRecord&, const KEventRecord&, bool) {}

void KEventsQuery::OnStartValue(SignalHandle handle, const KEventRecord& record, bool atStart) {
    KEventRecord start = record;
    start.setState(atStart ? KEventRecord::AtStart : KEventRecord::InForceAtStart);
    eventsOf(handle).insert_or_assign(start.time(), std::move(start));
}

bool KEventsQuery::OnEvent(SignalHandle handle, const KEventRecord& record) {
    // Times come in ascending order, so the new one goes at the end.
    Events& events = eventsOf(handle);
    if (record.time() > m_endTime) {
        KEventRecord closing = record;
        closing.setState(KEventRecord::ChangeAfterEnd);
        events.emplace_hint(events.end(), closing.time(), std::move(closing));
        return false;
    }
    if (!events.empty() && events.rbegin()->first == record.time())
        events.rbegin()->second = record;
    else
        events.emplace_hint(events.end(), record.time(), record);
    return true;
}

void KEventsQuery::OnRunEnd() {
    for (auto& [handle, events] : m_events) {
        if (events.empty())
            continue;
        const KEventRecord& last = events.rbegin()->second;
        if (last.state() == KEventRecord::ChangeAfterEnd || last.time() >= m_endTime)
            continue;
        KEventRecord held({m_endTime, 0}, last.value());
        held.setState(KEventRecord::HeldToEnd);
        events.emplace_hint(events.end(), m_endTime, std::move(held));
    }
}
