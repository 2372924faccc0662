#include "storage/query/KEventsQuery.h"

KEventsQuery::KEventsQuery(const IEventSources& sources, SimTime startTime, SimTime endTime)
    : KEventsProvider(sources, startTime), m_endTime(endTime) {}

const KEventsQuery::Events& KEventsQuery::events(SignalHandle handle) const {
    static const Events kNone;
    auto found = m_events.find(handle);
    return found == m_events.end() ? kNone : found->second;
}

void KEventsQuery::OnValueChange(SignalHandle, const KEventRecord&, const KEventRecord&, bool) {}

void KEventsQuery::OnStartValue(SignalHandle handle, const KEventRecord& record, bool atStart) {
    KEventRecord start = record;
    start.setState(atStart ? KEventRecord::AtStart : KEventRecord::InForceAtStart);
    m_events[handle].insert_or_assign(start.time(), std::move(start));
}

bool KEventsQuery::OnEvent(SignalHandle handle, const KEventRecord& record) {
    if (record.time() > m_endTime)
        return false;
    m_events[handle].insert_or_assign(record.time(), record);
    return true;
}
