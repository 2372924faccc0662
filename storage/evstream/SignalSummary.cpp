#include "storage/evstream/SignalSummary.h"

#include <algorithm>
#include <cstring>

namespace evstream {

namespace {

using Wide = __int128;

std::size_t bucketsFor(SimTime first, SimTime last, SimTime width) {
    const Wide range = Wide(last) - Wide(first) + 1;
    return std::size_t((range + width - 1) / width);
}

} // namespace

SimTime SignalSummary::widthFor(SimTime first, SimTime last, std::uint64_t events) {
    if (events == 0 || last < first)
        return 0;
    const Wide limit = std::min<Wide>(Wide(kMaxBuckets), Wide(events) * 2);
    const Wide range = Wide(last) - Wide(first) + 1;
    Wide width = 1;
    while ((range + width - 1) / width > limit)
        width *= 2;
    return width > Wide(INT64_MAX) ? 0 : SimTime(width);
}

SignalSummary::Builder::Builder(SimTime origin, SimTime width, SimTime last,
                                std::uint32_t valueSize) {
    SignalSummary& s = m_summary;
    s.m_origin = origin;
    s.m_width = std::max<SimTime>(width, 1);
    s.m_valueSize = valueSize;
    s.m_wide = s.m_width > SimTime(UINT32_MAX);
    const std::size_t n = last < origin ? 0 : bucketsFor(origin, last, s.m_width);
    m_counts.assign(n, 0);
    s.m_valueIndex.assign(n, kNone);
    s.m_firstDelta.assign(n, 0);
    s.m_secondDelta.assign(n, 0);
    if (s.m_wide) {
        s.m_firstWide.assign(n, 0);
        s.m_secondWide.assign(n, 0);
    } else {
        s.m_first.assign(n, 0);
        s.m_second.assign(n, 0);
    }
}

void SignalSummary::Builder::add(SimTime time, DeltaCycle delta, const std::uint8_t* value) {
    SignalSummary& s = m_summary;
    if (time < s.m_origin || Wide(time) - s.m_origin >= Wide(s.m_width) * Wide(m_counts.size()))
        return;
    const std::size_t bucket = s.bucketOf(time);
    const SimTime offset = time - s.bucketStart(bucket);
    const std::uint32_t seen = m_counts[bucket]++;
    auto store = [&](std::size_t at) { std::memcpy(s.m_values.data() + at, value, s.m_valueSize); };
    if (seen == 0) {
        s.m_valueIndex[bucket] = m_values++;
        s.m_values.resize(s.m_values.size() + s.m_valueSize);
        store(s.m_values.size() - s.m_valueSize);
        if (s.m_wide)
            s.m_firstWide[bucket] = offset;
        else
            s.m_first[bucket] = std::uint32_t(offset);
        s.m_firstDelta[bucket] = delta;
        return;
    }
    if (seen == 1) {
        ++m_values;
        s.m_values.resize(s.m_values.size() + s.m_valueSize);
        if (s.m_wide)
            s.m_secondWide[bucket] = offset;
        else
            s.m_second[bucket] = std::uint32_t(offset);
        s.m_secondDelta[bucket] = delta;
    }
    // The bucket's end value is the last slot of the array: its events come in one run.
    store(s.m_values.size() - s.m_valueSize);
}

SignalSummary SignalSummary::Builder::finish() {
    SignalSummary& s = m_summary;
    const std::size_t n = m_counts.size();
    s.m_before.assign(n + 1, 0);
    std::uint32_t inForce = kNone;
    for (std::size_t i = 0; i < n; ++i) {
        s.m_before[i + 1] = s.m_before[i] + m_counts[i];
        if (m_counts[i] == 0)
            s.m_valueIndex[i] = inForce;
        else
            inForce = s.m_valueIndex[i] + (m_counts[i] >= 2 ? 1 : 0);
    }
    s.m_values.shrink_to_fit();
    m_counts.clear();
    return std::move(m_summary);
}

std::size_t SignalSummary::bytes() const {
    return sizeof(*this) + m_before.capacity() * sizeof(std::uint64_t) +
           (m_first.capacity() + m_second.capacity() + m_valueIndex.capacity()) *
               sizeof(std::uint32_t) +
           (m_firstWide.capacity() + m_secondWide.capacity()) * sizeof(SimTime) +
           (m_firstDelta.capacity() + m_secondDelta.capacity()) * sizeof(DeltaCycle) +
           m_values.capacity();
}

EventKey SignalSummary::firstKey(std::size_t bucket) const {
    return {bucketStart(bucket) + offsetOf(m_first, m_firstWide, bucket), m_firstDelta[bucket]};
}

EventKey SignalSummary::secondKey(std::size_t bucket) const {
    return {bucketStart(bucket) + offsetOf(m_second, m_secondWide, bucket), m_secondDelta[bucket]};
}

const std::uint8_t* SignalSummary::valueAtEnd(std::size_t bucket) const {
    const std::uint32_t index = m_valueIndex[bucket];
    if (index == kNone)
        return nullptr;
    return valueAt(index + (count(bucket) >= 2 ? 1 : 0));
}

std::size_t SignalSummary::nextNonEmpty(std::size_t bucket) const {
    if (bucket >= bucketCount())
        return bucketCount();
    // The first running total above this bucket's start ends the first non-empty bucket.
    const auto it = std::upper_bound(m_before.begin() + std::ptrdiff_t(bucket) + 1, m_before.end(),
                                     m_before[bucket]);
    return std::size_t(it - m_before.begin()) - 1;
}

} // namespace evstream
