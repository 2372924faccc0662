#include "document/KEditTransaction.h"

#include "document/KDoc.h"
#include "storage/query/KEventsQuery.h"
#include "storage/query/KOneSignalValue.h"

#include <algorithm>

namespace {

// The collected events of one signal, split into its leaves' values as they are written.
class KTransactionEvents final : public KEditEventsSource {
public:
    KTransactionEvents(const KDoc& doc, SignalHandle handle, const std::vector<KTimedValue>& events)
        : m_events(events) {
        doc.queryLeaves(handle, m_leaves);
    }

    void writeEvents(KEventsWriteHandle& sink, std::span<const SignalHandle>, SimTime,
                     SimTime) const override {
        bool started = false;
        for (const KTimedValue& event : m_events) {
            if (event.value.isEmpty())
                continue;
            if (!started || sink.position().time != event.time)
                sink.setTime(event.time);
            started = true;
            const std::uint8_t* bytes = event.value.data();
            for (const QueryLeaf& leaf : m_leaves) {
                // A leaf of unknown size takes the whole value, as the query gives it.
                const std::uint32_t size = leaf.size != 0 ? leaf.size : event.value.size();
                if (leaf.offset + size <= event.value.size())
                    sink.writeValue(leaf.handle, bytes + leaf.offset, size);
            }
        }
    }

private:
    const std::vector<KTimedValue>& m_events;
    std::vector<QueryLeaf> m_leaves;
};

const EventValue kNoValue;

} // namespace

KEditTransaction::KEditTransaction(KDoc& doc, SignalHandle handle, SimTime start, SimTime end,
                                   Start begin)
    : m_doc(doc), m_handle(handle), m_start(start), m_end(end) {
    if (begin == Start::ValueOnly) {
        const KOneSignalValue value(doc, handle, start);
        if (value.hasValue())
            m_events.push_back({start, EventValue(std::span(value.bytes()))});
        return;
    }
    // The query's end is inclusive; the range's is not.
    KEventsQuery query(doc, start, end - 1);
    query.addSignal(handle);
    query.run();
    for (const auto& [time, record] : query.events(handle)) {
        if (time >= end || record.isClosing())
            break;
        m_events.push_back({std::max(time, start), record.value()});
    }
}

KEditTransaction::~KEditTransaction() = default;

const EventValue& KEditTransaction::valueAt(SimTime time) const {
    time = std::max(time, m_start);
    auto after = std::upper_bound(m_events.begin(), m_events.end(), time,
                                  [](SimTime t, const KTimedValue& e) { return t < e.time; });
    return after == m_events.begin() ? kNoValue : std::prev(after)->value;
}

void KEditTransaction::setValue(SimTime time, EventValue value) {
    if (time < m_start || time >= m_end)
        return;
    auto at = std::lower_bound(m_events.begin(), m_events.end(), time,
                               [](const KTimedValue& e, SimTime t) { return e.time < t; });
    if (at != m_events.end() && at->time == time)
        at->value = std::move(value);
    else
        m_events.insert(at, {time, std::move(value)});
}

void KEditTransaction::setEvents(std::vector<KTimedValue> events) {
    const bool hasStart = !m_events.empty() && m_events.front().time == m_start;
    m_events.resize(hasStart ? 1 : 0);
    std::stable_sort(events.begin(), events.end(),
                     [](const KTimedValue& a, const KTimedValue& b) { return a.time < b.time; });
    for (KTimedValue& event : events)
        setValue(event.time, std::move(event.value));
}

bool KEditTransaction::commit(bool insert) {
    if (m_spent)
        return false;
    m_spent = true;
    const KTransactionEvents source(m_doc, m_handle, m_events);
    const SignalHandle targets[] = {m_handle};
    return m_doc.putEvents(source, targets, m_start, m_end,
                           insert ? PutForm::Insert : PutForm::Overwrite);
}
