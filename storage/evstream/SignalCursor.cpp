#include "storage/evstream/SignalCursor.h"

#include "storage/evstream/FileStreamRead.h"

#include <algorithm>

namespace evstream {

SignalCursor::SignalCursor(FileStreamRead* stream, int slot, StreamReference reference)
    : m_stream(stream), m_slot(slot), m_reference(reference) {
    if (m_reference == StreamReference::Hold)
        m_stream->AddRef();
}

SignalCursor::~SignalCursor() {
    m_events.reset();
    m_keys.reset();
    if (m_reference == StreamReference::Hold)
        m_stream->Release();
}

bool SignalCursor::seek(SimTime time) {
    BlockStore& store = m_stream->store();
    const SlotSummary* summary = store.summary(m_slot);
    if (m_slot < 0 ||
        (summary != nullptr && (summary->totalEvents == 0 || summary->lastEventTime < time))) {
        m_events.reset();
        return false;
    }
    // Within the section already decoded: no block lookup. Its first event must be before
    // `time`, since events at one time may continue from the previous block.
    if (m_events && !m_events->times.empty() && m_events->times.front() < time &&
        m_events->times.back() >= time) {
        auto it = std::lower_bound(m_events->times.begin(), m_events->times.end(), time);
        m_position = std::size_t(it - m_events->times.begin());
        return true;
    }
    return settle(store.firstBlockEndingAtOrAfter(time), time);
}

bool SignalCursor::previous() {
    if (m_events && m_position > 0) {
        --m_position;
        return true;
    }
    BlockStore& store = m_stream->store();
    // Start the backward walk at the block that must hold the earlier event, not at the end.
    SimTime earlier = kNoTime;
    std::size_t end = m_events ? m_block : store.blocks().size();
    if (m_events) {
        earlier = m_events->previousTime;
        if (earlier == kNoTime)
            return false;
    } else if (const SlotSummary* summary = store.summary(m_slot)) {
        if (m_slot < 0 || summary->totalEvents == 0)
            return false;
        earlier = summary->lastEventTime;
    }
    if (earlier != kNoTime) {
        const std::ptrdiff_t last = store.lastBlockStartingAtOrBefore(earlier);
        end = std::min(end, std::size_t(last + 1));
    }
    return m_slot >= 0 && settleBackward(end);
}

std::shared_ptr<const SlotEvents> SignalCursor::eventsIn(std::size_t block,
                                                         std::shared_ptr<const BlockKeys>& keys) {
    // The directory's event count skips a block without the slot's events, section untouched.
    BlockStore& store = m_stream->store();
    auto loaded = store.block(block);
    const std::ptrdiff_t position = loaded->directory.indexOf(m_slot);
    if (position < 0 || loaded->directory.entry(std::size_t(position)).eventCount == 0)
        return nullptr;
    auto events = store.section(block, *loaded, std::size_t(position));
    if (events->times.empty())
        return nullptr;
    keys = loaded->keys;
    return events;
}

bool SignalCursor::settleBackward(std::size_t end) {
    std::shared_ptr<const BlockKeys> keys;
    for (std::size_t block = end; block-- > 0;) {
        auto events = eventsIn(block, keys);
        if (!events)
            continue;
        m_block = block;
        m_events = std::move(events);
        m_keys = std::move(keys);
        m_position = m_events->times.size() - 1;
        return true;
    }
    return false;
}

bool SignalCursor::settle(std::size_t block, SimTime time) {
    BlockStore& store = m_stream->store();
    std::shared_ptr<const BlockKeys> keys;
    for (; block < store.blocks().size(); ++block) {
        auto events = eventsIn(block, keys);
        if (!events)
            continue;
        auto it = std::lower_bound(events->times.begin(), events->times.end(), time);
        if (it == events->times.end())
            continue;
        m_block = block;
        m_events = std::move(events);
        m_keys = std::move(keys);
        m_position = std::size_t(it - m_events->times.begin());
        return true;
    }
    m_events.reset();
    m_keys.reset();
    return false;
}

std::shared_ptr<const SignalSummary> SignalCursor::summary(SimTime maxWidth) {
    return m_slot < 0 ? nullptr : m_stream->summaries().get(m_slot, maxWidth);
}

SignalCursor::Mark SignalCursor::mark() const {
    return {m_block, m_events, m_keys, m_position};
}

void SignalCursor::restore(Mark mark) {
    m_block = mark.block;
    m_events = std::move(mark.events);
    m_keys = std::move(mark.keys);
    m_position = mark.position;
}

} // namespace evstream
