#pragma once

// A cursor over the events of one signal of a database file, for reads that must not cost one
// step per event: seek() jumps to the first event at or after a time through the block index,
// decoding only that signal's section of one block, so a screen-wide read of a zoomed-out view
// costs about one seek per pixel and signal, whatever the number of events in between.
//
// A cursor holds a reference on its stream. It is obtained from OpenSignalCursor (EventStore.h).

#include "storage/evstream/BlockLayout.h"
#include "storage/evstream/IEventsStream.h"
#include "storage/evstream/SignalSummary.h"

#include <limits>
#include <memory>

namespace evstream {

class FileStreamRead;

class SignalCursor {
public:
    // Whether the cursor keeps its stream alive; the stream's own cursors borrow it.
    enum class StreamReference { Hold, Borrow };

    SignalCursor(FileStreamRead* stream, int slot, StreamReference reference);
    ~SignalCursor();
    SignalCursor(const SignalCursor&) = delete;
    SignalCursor& operator=(const SignalCursor&) = delete;

    // Moves to the first event at or after `time`; false (and atEnd) when there is none.
    bool seek(SimTime time);
    // Moves to the next event; false at the end.
    bool next() {
        // Inline: a query steps through thousands of events a screen, mostly within a section.
        if (!m_events)
            return false;
        if (++m_position < m_events->times.size())
            return true;
        return settle(m_block + 1, std::numeric_limits<SimTime>::min());
    }
    // Moves to the event before the current one (from the end: to the signal's last event);
    // false, and the cursor stays, when there is none. next() undoes it.
    bool previous();
    bool atEnd() const { return m_events == nullptr; }
    // Whether previous() stays within the decoded section, so that next() comes straight back.
    bool hasPreviousInSection() const { return m_events && m_position > 0; }

    // The event under the cursor (only when not atEnd).
    SimTime time() const { return m_events->times[m_position]; }
    DeltaCycle delta() const { return m_keys->deltas[m_events->keys[m_position]]; }
    const std::uint8_t* value() const { return m_events->value(m_position); }
    std::uint32_t valueSize() const { return m_events->valueSize; }
    // The decoded section the event's value lives in: holding it keeps value() readable.
    const std::shared_ptr<const SlotEvents>& section() const { return m_events; }
    // How many events of the signal come before the one under the cursor.
    std::uint64_t eventIndex() const { return m_events->eventsBefore + m_position; }

    // The signal's summary when its buckets are at most `maxWidth` wide (built on first use and
    // shared through the stream); null when they would be wider or the signal has no events.
    std::shared_ptr<const SignalSummary> summary(SimTime maxWidth);

    // Where the cursor stands, to come back to after looking elsewhere (previous() to read the
    // event before, say) without seeking: what it holds stays decoded however the cache goes.
    struct Mark {
        std::size_t block = 0;
        std::shared_ptr<const SlotEvents> events;
        std::shared_ptr<const BlockKeys> keys;
        std::size_t position = 0;
    };
    Mark mark() const;
    void restore(Mark mark);

private:
    // The slot's events in `block` and the block's keys; null when it has none there.
    std::shared_ptr<const SlotEvents> eventsIn(std::size_t block,
                                               std::shared_ptr<const BlockKeys>& keys);
    // Settles on the first event at or after `time` in block `block` or a later one.
    bool settle(std::size_t block, SimTime time);
    // Settles on the last event in the last block before `end` that holds events of the slot.
    bool settleBackward(std::size_t end);

    FileStreamRead* m_stream;
    int m_slot;
    StreamReference m_reference;
    std::size_t m_block = 0;
    std::shared_ptr<const SlotEvents> m_events; // null at the end
    std::shared_ptr<const BlockKeys> m_keys;
    std::size_t m_position = 0;
};

} // namespace evstream
