#include "storage/MemoryWaveStream.h"

#include "storage/KMemoryEventIndex.h"

#include <algorithm>
#include <cstring>

namespace {

bool keyLess(const MemoryEvent& a, const MemoryEvent& b) {
    return a.key() < b.key();
}

} // namespace

// KMemoryWaveStreamWrite

void KMemoryWaveStreamWrite::AddRef() {
    ++m_refs;
}

bool KMemoryWaveStreamWrite::Release() {
    if (--m_refs == 0)
        delete this;
    return true;
}

bool KMemoryWaveStreamWrite::SetTime(const SimTime& time) {
    m_time = time;
    m_delta = 0;
    return true;
}

bool KMemoryWaveStreamWrite::SetDelta(DeltaCycle delta) {
    m_delta = delta;
    return true;
}

bool KMemoryWaveStreamWrite::WriteValue(SignalHandle handle, const void* value,
                                        std::uint32_t size) {
    if (value == nullptr && size != 0)
        return false;
    const EventKey key{m_time, m_delta};
    // Equal keys keep their order of writing, so only a strictly smaller key breaks the order.
    const bool inOrder =
        m_sortedCount == m_events.size() && (m_events.empty() || !(key < m_events.back().key()));
    m_events.push_back(MemoryEvent{m_time, m_delta, handle, EventValue(value, size)});
    if (inOrder)
        ++m_sortedCount;
    return true;
}

void KMemoryWaveStreamWrite::sortEvents() {
    if (m_sortedCount == m_events.size())
        return;
    const auto middle = m_events.begin() + static_cast<std::ptrdiff_t>(m_sortedCount);
    // Both steps are stable: within the tail, equal keys keep their order of writing, and the
    // merge puts the prefix (written earlier) before equal keys of the tail.
    if (!std::is_sorted(middle, m_events.end(), keyLess))
        std::stable_sort(middle, m_events.end(), keyLess);
    std::inplace_merge(m_events.begin(), middle, m_events.end(), keyLess);
    m_sortedCount = m_events.size();
}

KMemoryWaveStreamRead* KMemoryWaveStreamWrite::snapshot() {
    sortEvents();
    auto events = std::make_shared<const std::vector<MemoryEvent>>(m_events);
    auto index = std::make_shared<const KMemoryEventIndex>(events);
    return new KMemoryWaveStreamRead(std::move(events), std::move(index));
}

// KMemoryWaveStreamRead

KMemoryWaveStreamRead::KMemoryWaveStreamRead(std::shared_ptr<const Store> events,
                                             std::shared_ptr<const KMemoryEventIndex> index)
    : m_events(std::move(events)), m_index(std::move(index)),
      m_endTime(m_events->empty() ? 0 : m_events->back().time) {}

KMemoryWaveStreamRead* KMemoryWaveStreamRead::clone() const {
    return new KMemoryWaveStreamRead(m_events, m_index);
}

void KMemoryWaveStreamRead::AddRef() {
    ++m_refs;
}

bool KMemoryWaveStreamRead::Release() {
    if (--m_refs == 0)
        delete this;
    return true;
}

bool KMemoryWaveStreamRead::Rewind(const SimTime&) {
    m_cursor = 0;
    return true;
}

void KMemoryWaveStreamRead::makeCurrent(const MemoryEvent& event) {
    m_time = event.time;
    m_delta = event.delta;
    m_value = event.value;
}

SignalHandle KMemoryWaveStreamRead::ReadNextEvent() {
    if (m_cursor >= m_events->size()) // also when there is no cursor yet
        return kNoSignal;
    const MemoryEvent& event = (*m_events)[m_cursor++];
    makeCurrent(event);
    return event.handle;
}

bool KMemoryWaveStreamRead::ReadNextEventOf(SignalHandle handle, void* value) {
    const Store& events = *m_events;
    for (std::size_t i = m_cursor; i < events.size(); ++i) {
        if (events[i].handle != handle)
            continue;
        m_cursor = i + 1;
        makeCurrent(events[i]);
        return GetValue(value);
    }
    return false;
}

SimTime KMemoryWaveStreamRead::SkipTo(const SimTime& time) {
    if (m_cursor == kNoCursor)
        return kNoTime;
    const auto begin = m_events->begin();
    const auto found =
        std::partition_point(begin + static_cast<std::ptrdiff_t>(m_cursor), m_events->end(),
                             [time](const MemoryEvent& event) { return event.time < time; });
    m_cursor = static_cast<std::size_t>(found - begin);
    return found == m_events->end() ? kNoTime : found->time;
}

bool KMemoryWaveStreamRead::GetValue(void* value) {
    if (m_value.isEmpty())
        return true;
    if (value == nullptr)
        return false;
    std::memcpy(value, m_value.data(), m_value.size());
    return true;
}
