#include "storage/KMemoryEventIndex.h"

#include "storage/KSignalCursor.h"

#include <algorithm>
#include <cassert>
#include <utility>

namespace {

// A cursor over one signal's events in the index; `m_next` is the position in the signal's
// list, the list's length at the end.
class KMemorySignalCursor final : public KSignalCursor {
public:
    KMemorySignalCursor(std::shared_ptr<const KMemoryEventIndex> index, SignalHandle handle,
                        SimTime offset)
        : m_index(std::move(index)), m_events(&m_index->eventsOf(handle)), m_offset(offset),
          m_position(m_events->times.size()) {}

    bool seek(SimTime time) override {
        const SimTime local = unshifted(time, m_offset);
        const auto& times = m_events->times;
        m_position = static_cast<std::size_t>(std::lower_bound(times.begin(), times.end(), local) -
                                              times.begin());
        return !atEnd();
    }
    bool next() override {
        if (m_position < m_events->times.size())
            ++m_position;
        return !atEnd();
    }
    bool atEnd() const override { return m_position >= m_events->times.size(); }
    SimTime time() const override { return shifted(m_events->times[m_position], m_offset); }
    DeltaCycle delta() const override { return current().delta; }
    EventValue value() const override { return current().value; }
    bool previous(EventKey& key, EventValue* value) override {
        if (m_position == 0)
            return false;
        const MemoryEvent& event = m_index->event(m_events->positions[m_position - 1]);
        key = {shifted(event.time, m_offset), event.delta};
        if (value != nullptr)
            *value = event.value;
        return true;
    }

private:
    const MemoryEvent& current() const {
        assert(!atEnd());
        return m_index->event(m_events->positions[m_position]);
    }

    std::shared_ptr<const KMemoryEventIndex> m_index;
    const KMemoryEventIndex::Events* m_events;
    SimTime m_offset;
    std::size_t m_position;
};

} // namespace

KMemoryEventIndex::KMemoryEventIndex(std::shared_ptr<const KMemoryWaveStreamRead::Store> events)
    : m_events(std::move(events)) {}

void KMemoryEventIndex::build() const {
    const auto& events = *m_events;
    for (std::size_t i = 0; i < events.size(); ++i) {
        Events& list = m_bySignal[events[i].handle];
        list.times.push_back(events[i].time);
        list.positions.push_back(static_cast<std::uint32_t>(i));
    }
    m_built = true;
}

const KMemoryEventIndex::Events& KMemoryEventIndex::eventsOf(SignalHandle handle) const {
    static const Events kNone;
    if (!m_built)
        build();
    auto found = m_bySignal.find(handle);
    return found == m_bySignal.end() ? kNone : found->second;
}

std::unique_ptr<KSignalCursor>
KMemoryEventIndex::openCursor(std::shared_ptr<const KMemoryEventIndex> index, SignalHandle handle,
                              SimTime offset) {
    return std::make_unique<KMemorySignalCursor>(std::move(index), handle, offset);
}
