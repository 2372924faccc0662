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
    if (record.time() > m_endTime)
        return false;
    // Times come in ascending order, so the new one goes at the end.
    Events& events = eventsOf(handle);
    if (!events.empty() && events.rbegin()->first == record.time())
        events.rbegin()->second = record;
    else
        events.emplace_hint(events.end(), record.time(), record);
    return true;
}
