#include "storage/evstream/SignalSummary.h"

#include <algorithm>
#include <bit>
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
    // Counts are kept in 32 bits: a signal of more events goes without a summary.
    if (events == 0 || events > UINT32_MAX || last < first)
        return 0;
    // Twice the events, rounded up to a power of two: otherwise a signal of a few events less
    // than a neighbour's would get buckets twice as wide over the same range.
    const Wide limit = std::min<Wide>(Wide(kMaxBuckets), Wide(std::bit_ceil(events * 2)));
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
    s.m_buckets.assign(n + 1, Bucket{});
    if (s.m_wide) {
        s.m_firstWide.assign(n, 0);
        s.m_secondWide.assign(n, 0);
    }
}

SignalSummary::Builder::Builder(const SignalSummary& base, SimTime last) : m_summary(base) {
    SignalSummary& s = m_summary;
    const std::size_t old = s.bucketCount();
    const std::size_t n = std::max(old, bucketsFor(s.m_origin, last, s.m_width));
    m_counts.assign(n, 0);
    for (std::size_t i = 0; i < old; ++i)
        m_counts[i] = std::uint32_t(s.count(i));
    // The old end marker becomes an ordinary bucket; finish() recounts and marks the end.
    if (!s.m_buckets.empty())
        s.m_buckets.back() = Bucket{};
    s.m_buckets.resize(n + 1, Bucket{});
    if (s.m_wide) {
        s.m_firstWide.resize(n, 0);
        s.m_secondWide.resize(n, 0);
    }
    m_values = s.m_slots;
}

void SignalSummary::Builder::add(SimTime time, DeltaCycle delta, const std::uint8_t* value) {
    SignalSummary& s = m_summary;
    if (time < s.m_origin || Wide(time) - s.m_origin >= Wide(s.m_width) * Wide(m_counts.size()))
        return;
    const std::size_t index = s.bucketOf(time);
    Bucket& bucket = s.m_buckets[index];
    const SimTime offset = time - s.bucketStart(index);
    const std::uint32_t seen = m_counts[index]++;
    if (seen <= 1) {
        // A new value slot: the first value, or the end value of a bucket of several events.
        s.m_values.resize(s.m_values.size() + s.m_valueSize);
        if (seen == 0)
            bucket.valueIndex = m_values;
        ++m_values;
        std::uint32_t& narrow = seen == 0 ? bucket.first : bucket.second;
        if (s.m_wide)
            (seen == 0 ? s.m_firstWide : s.m_secondWide)[index] = offset;
        else
            narrow = std::uint32_t(offset);
        (seen == 0 ? bucket.firstDelta : bucket.secondDelta) = delta;
    }
    // The bucket's end value is the last slot of the array: its events come in one run.
    std::memcpy(s.m_values.data() + s.m_values.size() - s.m_valueSize, value, s.m_valueSize);
}

SignalSummary SignalSummary::Builder::finish() {
    SignalSummary& s = m_summary;
    const std::size_t n = m_counts.size();
    std::uint32_t inForce = kNone;
    for (std::size_t i = 0; i < n; ++i) {
        s.m_buckets[i + 1].before = s.m_buckets[i].before + m_counts[i];
        if (m_counts[i] == 0)
            s.m_buckets[i].valueIndex = inForce;
        else
            inForce = s.m_buckets[i].valueIndex + (m_counts[i] >= 2 ? 1 : 0);
    }
    s.m_slots = m_values;
    s.m_values.shrink_to_fit();
    const Wide end = Wide(s.m_origin) + Wide(s.m_width) * Wide(n);
    s.m_end = end > Wide(INT64_MAX) ? INT64_MAX : SimTime(end);
    m_counts.clear();
    return std::move(m_summary);
}

std::size_t SignalSummary::bytes() const {
    return sizeof(*this) + m_buckets.capacity() * sizeof(Bucket) +
           (m_firstWide.capacity() + m_secondWide.capacity()) * sizeof(SimTime) +
           m_values.capacity();
}

std::size_t SignalSummary::nextNonEmpty(std::size_t bucket) const {
    const std::size_t n = bucketCount();
    if (bucket >= n)
        return n;
    // Dense signals have an event in the next bucket or so: look there before searching.
    const std::uint32_t before = m_buckets[bucket].before;
    for (std::size_t i = bucket; i < n && i < bucket + 4; ++i)
        if (m_buckets[i + 1].before > before)
            return i;
    // The first running total above this bucket's start ends the first non-empty bucket.
    const auto it =
        std::upper_bound(m_buckets.begin() + std::ptrdiff_t(bucket) + 1, m_buckets.end(), before,
                         [](std::uint32_t value, const Bucket& b) { return value < b.before; });
    return std::size_t(it - m_buckets.begin()) - 1;
}

} // namespace evstream
