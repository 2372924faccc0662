#include "storage/query/KValuesQuery.h"

KValuesQuery::KValuesQuery(const IEventSources& sources, SimTime time)
    : KEventsProvider(sources, time) {}

std::optional<EventValue> KValuesQuery::value(SignalHandle handle) const {
    auto found = m_values.find(handle);
    if (found == m_values.end())
        return std::nullopt;
    return found->second;
}

void KValuesQuery::OnStartValue(SignalHandle handle, const KEventRecord& record, bool) {
    m_values.insert_or_assign(handle, record.value());
}
