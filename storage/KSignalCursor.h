#pragma once

// A cursor over the events of one signal of one event source, in (time, delta) order, with the
// source handle's time offset already applied: times that come out are source time + offset,
// times that go in are reduced by it.
//
// Cursors exist so that a read does not cost one step per event: seek() jumps to a time (a binary
// search in memory, the block index in a database file), and previous() tells what was in force
// just before the position, which is all that merging a dense stretch into one change needs.
//
// A cursor starts with no position (atEnd) until its first seek.

#include "storage/EventValue.h"
#include "storage/SimTime.h"

#include <limits>
#include <memory>

class KValuePins;
namespace evstream {
class SignalSummary;
}

class KSignalCursor {
public:
    virtual ~KSignalCursor() = default;

    // Moves to the first event whose time is at or after `time`; false (atEnd) when none is left.
    virtual bool seek(SimTime time) = 0;
    // Moves to the next event; false (atEnd) when none is left.
    virtual bool next() = 0;
    virtual bool atEnd() const = 0;

    // The event under the cursor (only when not atEnd).
    virtual SimTime time() const = 0;
    virtual DeltaCycle delta() const = 0;
    virtual EventValue value() const = 0;
    // Both at once: one call where a reader wants the whole key.
    virtual EventKey key() const { return {time(), delta()}; }

    // The last event strictly before the cursor position (at the end: the signal's last event);
    // false when there is none. The cursor does not move. `value` may be null when only the key
    // is wanted (reading a long value costs an allocation).
    virtual bool previous(EventKey& key, EventValue* value) = 0;

    // From now on value() and previous() may hand out long values that borrow bytes the source
    // keeps decoded, pinning what they borrow from in `pins`, which must outlive those values and
    // every borrowing copy of them; null goes back to values of their own. Other cursors ignore
    // it.
    virtual void lendValues(KValuePins* /*pins*/) {}

    // A summary of the signal's events over time buckets at most `maxWidth` wide, in the
    // source's own time frame (without the offset), for folding dense stretches without reading
    // them; null when the source has none that fine (memory streams never have one).
    virtual std::shared_ptr<const evstream::SignalSummary> summary(SimTime /*maxWidth*/) {
        return nullptr;
    }

    // Offsets move times between frames; at the ends of the time range the sum saturates instead
    // of wrapping around.
    static SimTime shifted(SimTime time, SimTime offset) {
        SimTime result;
        if (!__builtin_add_overflow(time, offset, &result))
            return result;
        return offset > 0 ? std::numeric_limits<SimTime>::max()
                          : std::numeric_limits<SimTime>::min();
    }
    static SimTime unshifted(SimTime time, SimTime offset) {
        if (offset == std::numeric_limits<SimTime>::min())
            return shifted(shifted(time, std::numeric_limits<SimTime>::max()), 1);
        return shifted(time, -offset);
    }
};
