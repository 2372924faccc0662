#include "storage/evstream/BlockBuilder.h"

#include <algorithm>

namespace evstream {

void BlockBuilder::growLog(std::size_t need) {
    // Doubling keeps appends amortised; a block's log stays a few MiB (see the limits).
    m_log.resize(std::max({need, 2 * m_log.size(), std::size_t(4096)}));
}

void BlockBuilder::take(BlockContent& content) {
    content.log.swap(m_log);
    content.logSize = m_logSize;
    content.keyTimes.swap(m_keyTimes);
    content.keyDeltas.swap(m_keyDeltas);
    content.valueSizes.assign(m_valueSizes.begin(), m_valueSizes.end());
    // The counts swap too; those the content held (of an earlier block) are zeroed for the next.
    content.counts.swap(m_counts);
    content.touched.swap(m_touched);
    for (int slot : m_touched)
        m_counts[std::size_t(slot)] = 0;
    m_touched.clear();
    m_counts.resize(m_valueSizes.size());
    content.events = m_events;
    content.keepKeyOrder = m_keepKeyOrder;
    m_logSize = 0;
    m_keyTimes.clear();
    m_keyDeltas.clear();
    m_rawBytes = 0;
    m_events = 0;
}

} // namespace evstream
