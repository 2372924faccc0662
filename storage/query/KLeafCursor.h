#pragma once

// A cursor over the events of one leaf signal as its waveform shows them, across its segments.
//
// Inside a segment the leaf's events are its source signal's events (through a KSignalCursor
// with the source's offset) clipped to [from, to). At a segment's from the leaf has an event with
// the value in force in that segment's source there, so that a change of source is an ordinary
// event to whoever reads the leaf; a source event lying exactly at from is that event, not a
// second one. A segment without source but with value bytes is a constant: one event at from. A
// gap between segments has no events: the value of the last event stays in force.
//
// Source cursors are opened per segment on first use and kept, so walking back and forth over
// segment boundaries reopens nothing.

#include "storage/KDatabaseSignalCursor.h"
#include "storage/KSignalCursor.h"
#include "storage/query/IEventSources.h"

#include <cstddef>
#include <limits>
#include <memory>
#include <vector>

class KLeafCursor {
public:
    explicit KLeafCursor(std::vector<QuerySegment> segments);
    KLeafCursor(KLeafCursor&&) noexcept = default;
    KLeafCursor& operator=(KLeafCursor&&) noexcept = default;
    ~KLeafCursor();

    // Moves to the first event whose time is at or after `time`.
    void seek(SimTime time);
    // Moves to the next event (nothing at the end). Inline for the step within a segment's
    // source, which a query takes for nearly every event it reads.
    void next() {
        if (m_place == Place::Source && !atEnd()) {
            m_sources[m_segment].next();
            if (!takeSourceEvent())
                enter(m_segment + 1, std::numeric_limits<SimTime>::min());
            return;
        }
        nextSegment();
    }
    bool atEnd() const { return m_segment >= m_segments.size(); }
    // The event under the cursor (only when not atEnd). The value is read only when asked for:
    // a reader that skips an event never pays for its value.
    EventKey key() const { return m_key; }
    EventValue value() const {
        if (m_place == Place::Source) {
            const Source& source = m_sources[m_segment];
            return source.database != nullptr ? source.database->value() : source.cursor->value();
        }
        return m_value;
    }

    // The last event strictly before the position (at the end: the last event of all); false
    // when there is none. `value` may be null when only the key is wanted. Reads source cursors
    // of earlier segments but does not move.
    bool previous(EventKey& key, EventValue* value);

    // Lets the source cursors lend their values (see KSignalCursor::lendValues).
    void lendValues(KValuePins* pins);

    // Where a zoomed-out query may fold without reading events: the summary of the current
    // segment's source, its offset and the segment's end.
    struct Coarse {
        std::shared_ptr<const evstream::SignalSummary> summary;
        SimTime offset = 0;
        EventKey to;
    };
    // The summary (buckets at most `maxWidth` wide) when the cursor stands on a source event
    // after its segment's from time; false otherwise. May build the summary.
    bool coarse(SimTime maxWidth, Coarse& out);

private:
    enum class Place { Boundary, Source };

    // Settles on the first event with time at or after `time` in segment `index` or later.
    void enter(std::size_t index, SimTime time);
    // The value in force in a segment's source at its from; positions that segment's source
    // cursor on the first event after from.
    bool boundaryValue(std::size_t index, EventValue& value);
    // Takes the source cursor's event when it lies inside the current segment.
    bool takeSourceEvent() {
        const Source& source = m_sources[m_segment];
        if (source.atEnd())
            return false;
        const EventKey key = source.key();
        if (!(key < m_segments[m_segment].to))
            return false;
        m_place = Place::Source;
        m_key = key;
        return true;
    }
    // next() from a boundary event or past the end of a segment's source.
    void nextSegment();
    // The last event of a whole segment.
    bool lastOfSegment(std::size_t index, EventKey& key, EventValue* value);
    KSignalCursor* cursor(std::size_t index);

    // A segment's source cursor; a database file's is also kept by its own type, so that the
    // steps through its events are direct calls the compiler can inline.
    struct Source {
        std::unique_ptr<KSignalCursor> cursor;
        KDatabaseSignalCursor* database = nullptr;
        bool opened = false;

        bool next() { return database != nullptr ? database->next() : cursor->next(); }
        bool atEnd() const { return database != nullptr ? database->atEnd() : cursor->atEnd(); }
        EventKey key() const { return database != nullptr ? database->key() : cursor->key(); }
    };

    std::vector<QuerySegment> m_segments;
    std::vector<Source> m_sources;
    KValuePins* m_pins = nullptr;
    std::size_t m_segment = 0;
    Place m_place = Place::Boundary;
    EventKey m_key;
    EventValue m_value; // of a boundary event; a source event's value stays in its cursor
};
