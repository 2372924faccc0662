#include "storage/query/KEventsCache.h"

#include "storage/query/KEventsProvider.h"

namespace {

class KMyEventsProvider final : public KEventsProvider {
public:
    KMyEventsProvider(const IEventSources& sources,
                      std::unordered_map<SignalHandle, std::vector<SimTime>>& times)
        : KEventsProvider(sources, 0), m_times(times) {}

    void OnStartValue(SignalHandle handle, const KEventRecord&, bool atStart) override {
        if (atStart)
            m_times[handle].push_back(0);
    }
    bool OnEvent(SignalHandle handle, const KEventRecord& record) override {
        m_times[handle].push_back(record.time());
        return true;
    }

private:
    std::unordered_map<SignalHandle, std::vector<SimTime>>& m_times;
};

} // namespace

void KEventsCache::fill(std::span<const SignalHandle> handles) {
    KMyEventsProvider provider(m_sources, m_times);
    for (SignalHandle handle : handles) {
        m_times[handle].clear();
        provider.addSignal(handle);
    }
    provider.run();
}

const std::vector<SimTime>& KEventsCache::times(SignalHandle handle) const {
    static const std::vector<SimTime> kNone;
    auto found = m_times.find(handle);
    return found == m_times.end() ? kNone : found->second;
}
