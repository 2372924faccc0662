#include "storage/query/KPreviousEventProvider.h"

KPreviousEventProvider::KPreviousEventProvider(const IEventSources& sources, SimTime startTime,
                                               SimTime reference)
    : KEventsProvider(sources, startTime), m_reference(reference) {}

void KPreviousEventProvider::consider(SignalHandle handle, SimTime time) {
    if (time < m_reference && (!found() || m_best < time)) {
        m_best = time;
        m_handle = handle;
    }
}

void KPreviousEventProvider::OnStartValue(SignalHandle handle, const KEventRecord&, bool) {
    consider(handle, startTime());
}

bool KPreviousEventProvider::OnEvent(SignalHandle handle, const KEventRecord& record) {
    if (record.time() >= m_reference)
        return false;
    consider(handle, record.time());
    return true;
}
