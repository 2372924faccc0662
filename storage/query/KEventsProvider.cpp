#include "storage/query/KEventsProvider.h"

KEventsProvider::KEventsProvider(const IEventSources& sources, SimTime startTime)
    : m_engine(sources, startTime) {}

KEventsProvider::~KEventsProvider() = default;

void KEventsProvider::OnStartValue(SignalHandle, const KEventRecord&, bool) {}

void KEventsProvider::OnNoStartValue(SignalHandle) {}

bool KEventsProvider::OnEvent(SignalHandle, const KEventRecord&) {
    return false;
}

bool KEventsProvider::OnMovedEvent(SignalHandle handle, KEventRecord&& record) {
    return OnEvent(handle, record);
}

void KEventsProvider::OnRunEnd() {}

void KEventsProvider::addSignal(SignalHandle handle, SimTime mergeDistance) {
    m_engine.addSignal(handle, mergeDistance);
}

void KEventsProvider::run() {
    m_engine.run(*this);
    OnRunEnd();
}
