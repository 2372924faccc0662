#include "storage/query/KNextEventProvider.h"

#include <limits>

KNextEventProvider::KNextEventProvider(const IEventSources& sources, SimTime reference)
    : KEventsProvider(sources, reference), m_reference(reference),
      m_best(std::numeric_limits<SimTime>::max()) {}

bool KNextEventProvider::OnEvent(SignalHandle handle, const KEventRecord& record) {
    const SimTime time = record.time();
    if (time <= m_reference)
        return true;
    if (time >= m_best)
        return false;
    m_best = time;
    m_handle = handle;
    return false;
}
