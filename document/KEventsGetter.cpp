#include "document/KEventsGetter.h"

#include "document/KStoreEventsQuery.h"

KEventsGetter::KEventsGetter(const IEventSources& sources, std::vector<SignalHandle> sourceSignals)
    : m_sources(sources), m_sourceSignals(std::move(sourceSignals)),
      m_leaves(m_sourceSignals.size()) {
    for (std::size_t i = 0; i < m_sourceSignals.size(); ++i)
        m_sources.queryLeaves(m_sourceSignals[i], m_leaves[i]);
}

void KEventsGetter::writeEvents(KEventsWriteHandle& sink, std::span<const SignalHandle> targets,
                                SimTime start, SimTime end) const {
    KStoreEventsQuery query(m_sources, end);
    query.setFrom(start);
    for (std::size_t i = 0; i < targets.size() && i < m_sourceSignals.size(); ++i)
        query.addLeavesOf(m_sourceSignals[i]);
    query.writeTo(sink);
}

SignalHandle KEventsGetter::streamSignal(std::size_t target, std::size_t leafIndex,
                                         SignalHandle leaf) const {
    (void)leaf;
    if (target >= m_leaves.size() || leafIndex >= m_leaves[target].size())
        return kNoSignal;
    return m_leaves[target][leafIndex].handle;
}
