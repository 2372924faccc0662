#pragma once

// A per-signal summary of a database file's events over time buckets: what a zoomed-out query
// needs to fold a dense signal without decoding its blocks again.
//
// The file's time range is cut into buckets of one power-of-two width, starting at the first
// block's first time. Each bucket keeps its event count (as a running total), the key and value
// of its first event, the key of its second, and the value in force at its end. No more buckets
// than twice the signal's events rounded up to a power of two (a finer summary would cost more than
// the events it stands for) and at most kMaxBuckets of them; a summary may be coarser than that.
// Times are stored as offsets from the bucket start while the width allows it; values live in one
// array of fixed-size slots, and a bucket with one event keeps one value for both its first and its
// end.
//
// A summary is built by one pass over the signal's events in time order (Builder) and never
// changes afterwards; events after its last bucket are not in it (the file may grow). A builder
// can start from a summary to add the events of a file's new blocks.

#include "storage/EventValue.h"
#include "storage/SimTime.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace evstream {

class SignalSummary {
public:
    static constexpr std::size_t kMaxBuckets = std::size_t(1) << 16;

    // The finest bucket width for a signal of `events` events over [first, last]: the smallest
    // power of two that keeps the bucket count within the limits above.
    static SimTime widthFor(SimTime first, SimTime last, std::uint64_t events);

    // Builds a summary from the signal's events in time order.
    class Builder;

    SimTime origin() const { return m_origin; }
    SimTime width() const { return m_width; }
    std::size_t bucketCount() const { return m_buckets.empty() ? 0 : m_buckets.size() - 1; }
    // The end of the last bucket: the summary knows nothing at or after it.
    // (At the far end of the time range it stops at the largest time.)
    SimTime end() const { return m_end; }
    std::uint32_t valueSize() const { return m_valueSize; }
    // Bytes held, as a cache counts them.
    std::size_t bytes() const;

    // The bucket holding `time` (origin <= time < end()).
    std::size_t bucketOf(SimTime time) const { return std::size_t((time - m_origin) / m_width); }
    SimTime bucketStart(std::size_t bucket) const { return m_origin + m_width * SimTime(bucket); }
    std::uint64_t eventsBefore(std::size_t bucket) const { return m_buckets[bucket].before; }
    std::uint64_t count(std::size_t bucket) const {
        return m_buckets[bucket + 1].before - m_buckets[bucket].before;
    }
    // The first and (count >= 2) second event of a non-empty bucket.
    EventKey firstKey(std::size_t bucket) const {
        const Bucket& b = m_buckets[bucket];
        return {bucketStart(bucket) + (m_wide ? m_firstWide[bucket] : SimTime(b.first)),
                b.firstDelta};
    }
    EventKey secondKey(std::size_t bucket) const {
        const Bucket& b = m_buckets[bucket];
        return {bucketStart(bucket) + (m_wide ? m_secondWide[bucket] : SimTime(b.second)),
                b.secondDelta};
    }
    // Values of more than 8 bytes borrow the summary's bytes: whoever keeps them keeps the
    // summary alive.
    EventValue firstValue(std::size_t bucket) const {
        return valueAt(m_buckets[bucket].valueIndex);
    }
    // The value in force at the end of a bucket; empty when the signal has none yet.
    EventValue valueAtEnd(std::size_t bucket) const {
        const std::uint32_t index = m_buckets[bucket].valueIndex;
        return index == kNone ? EventValue() : valueAt(index + (count(bucket) >= 2 ? 1 : 0));
    }
    // The first non-empty bucket at or after `bucket`; bucketCount() when none.
    std::size_t nextNonEmpty(std::size_t bucket) const;

private:
    static constexpr std::uint32_t kNone = UINT32_MAX;

    // Long values borrow their slot: a summary never changes once finished, and a query keeps
    // the summaries it read alive as long as its records (see KEventsProvider::pin).
    EventValue valueAt(std::uint32_t index) const {
        return EventValue::borrow(m_values.data() + std::size_t(index) * m_valueSize, m_valueSize);
    }

    // What a fold reads of a bucket, together: a zoomed-out screen reads a few buckets of each of
    // many summaries that do not stay in the processor's caches.
    struct Bucket {
        std::uint32_t before = 0; // events in earlier buckets
        std::uint32_t first = 0;  // offsets from the bucket start (narrow summaries)
        std::uint32_t second = 0;
        std::uint32_t valueIndex = kNone; // see m_values
        DeltaCycle firstDelta = 0;
        DeltaCycle secondDelta = 0;
    };

    SimTime m_origin = 0;
    SimTime m_width = 1;
    SimTime m_end = 0;
    std::uint32_t m_valueSize = 0;
    bool m_wide = false; // offsets do not fit 32 bits: kept in the wide arrays
    // One more than the buckets: the last holds the total count.
    std::vector<Bucket> m_buckets;
    std::vector<SimTime> m_firstWide, m_secondWide;
    // Value slots. A non-empty bucket's valueIndex is its first value's slot, and its end value
    // follows when it has two events or more; an empty bucket's is the value in force.
    std::vector<std::uint8_t> m_values;
    std::uint32_t m_slots = 0; // value slots used
};

class SignalSummary::Builder {
public:
    Builder(SimTime origin, SimTime width, SimTime last, std::uint32_t valueSize);
    // Goes on from `base` (whose events all come before those added) with buckets up to `last`.
    Builder(const SignalSummary& base, SimTime last);
    // Events in ascending (time, delta) order; those outside the buckets are left out.
    void add(SimTime time, DeltaCycle delta, const std::uint8_t* value);
    SignalSummary finish();

private:
    SignalSummary m_summary;
    std::vector<std::uint32_t> m_counts;
    std::uint32_t m_values = 0; // value slots used
};

} // namespace evstream
