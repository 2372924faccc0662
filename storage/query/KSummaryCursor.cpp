#include "storage/query/KSummaryCursor.h"

#include "storage/KSignalCursor.h"
#include "storage/evstream/SignalSummary.h"

#include <utility>

KSummaryCursor::KSummaryCursor(KLeafCursor::Coarse source) : m_source(std::move(source)) {}

SimTime KSummaryCursor::width() const {
    return m_source.summary->width();
}

bool KSummaryCursor::boundaryAtOrAfter(SimTime time, SimTime& boundary) const {
    const evstream::SignalSummary& summary = *m_source.summary;
    const SimTime local = KSignalCursor::unshifted(time, m_source.offset);
    if (local < summary.origin() || local > summary.end())
        return false;
    const SimTime into = local - summary.origin();
    const SimTime buckets = into / summary.width() + (into % summary.width() != 0 ? 1 : 0);
    const __int128 at = __int128(summary.origin()) + __int128(buckets) * summary.width();
    if (at > summary.end())
        return false;
    const SimTime atLocal = SimTime(at);
    boundary = KSignalCursor::shifted(atLocal, m_source.offset);
    return boundary <= m_source.to.time;
}

std::size_t KSummaryCursor::bucketAt(SimTime boundary) const {
    return m_source.summary->bucketOf(KSignalCursor::unshifted(boundary, m_source.offset));
}

EventValue KSummaryCursor::valueBefore(SimTime boundary) const {
    const evstream::SignalSummary& summary = *m_source.summary;
    const std::size_t bucket = bucketAt(boundary);
    return bucket == 0 ? EventValue() : summary.valueAtEnd(bucket - 1);
}

std::uint64_t KSummaryCursor::eventsBefore(SimTime boundary) const {
    const evstream::SignalSummary& summary = *m_source.summary;
    return summary.eventsBefore(bucketAt(boundary)) - summary.eventsBefore(m_bucket) -
           std::uint64_t(m_index);
}

void KSummaryCursor::seekBoundary(SimTime boundary) {
    m_bucket = m_source.summary->nextNonEmpty(bucketAt(boundary));
    m_index = 0;
    settle();
}

void KSummaryCursor::next() {
    if (m_atEnd)
        return;
    if (m_index == 0 && m_source.summary->count(m_bucket) >= 2) {
        m_index = 1;
    } else {
        m_bucket = m_source.summary->nextNonEmpty(m_bucket + 1);
        m_index = 0;
    }
    settle();
}

void KSummaryCursor::settle() {
    const evstream::SignalSummary& summary = *m_source.summary;
    m_atEnd = m_bucket >= summary.bucketCount();
    if (m_atEnd)
        return;
    const EventKey local = m_index == 0 ? summary.firstKey(m_bucket) : summary.secondKey(m_bucket);
    m_key = {KSignalCursor::shifted(local.time, m_source.offset), local.delta};
    m_atEnd = !(m_key < m_source.to);
}

EventValue KSummaryCursor::value() const {
    const evstream::SignalSummary& summary = *m_source.summary;
    return summary.firstValue(m_bucket);
}
