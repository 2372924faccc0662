#include "storage/evstream/BlockBuilder.h"

namespace evstream {

void BlockBuilder::startKey(const EventKey& key) {
    m_keyIndex = std::uint32_t(m_keyTimes.size());
    m_keyTimes.push_back(key.time);
    m_keyDeltas.push_back(key.delta);
    m_lastKey = key;
    m_keyOpen = true;
    m_rawBytes += 2;
}

void BlockBuilder::take(BlockContent& content) {
    content.records.swap(m_records);
    content.recordCount = m_events;
    if (!m_records)
        m_records = newRecords();
    content.log.swap(m_log);
    if (!m_log)
        m_log = newLog();
    content.logSize = m_logSize;
    content.keyTimes.swap(m_keyTimes);
    content.keyDeltas.swap(m_keyDeltas);
    content.valueSizes.resize(m_slots.size());
    for (std::size_t i = 0; i < m_slots.size(); ++i)
        content.valueSizes[i] = m_slots[i].size;
    // Only the touched slots' counts are set: the encoder reads no other.
    content.counts.resize(m_slots.size());
    for (std::size_t i = 0; i < m_touchedCount; ++i) {
        const auto slot = std::size_t(m_touched[i]);
        content.counts[slot] = m_slots[slot].count;
        m_slots[slot].count = 0;
    }
    m_touched.resize(m_touchedCount);
    content.touched.swap(m_touched);
    m_touched.resize(m_slots.size());
    m_touchedCount = 0;
    m_keyOpen = false;
    content.events = m_events;
    content.keepKeyOrder = m_keepKeyOrder;
    m_logSize = 0;
    m_keyTimes.clear();
    m_keyDeltas.clear();
    m_rawBytes = 0;
    m_events = 0;
}

} // namespace evstream
