#pragma once

// One change of one signal's waveform over a time range [start, end): the way every waveform edit
// is made (value and clock fills, formulas, stretch, pulses, typed values, paste).
//
// Beginning reads the value in force at `start`; the new waveform of the range starts as that
// value alone (or, when asked, as the events the range already holds). Callers then write values
// at times inside the range, in any order; a value written at a time replaces one already
// written there. Committing writes the collected events with the document's put-events operation
// over [start, end): without the insert flag the waveform after `end` stays where it was, with it
// the waveform from `start` onwards first moves later by the range's length.
//
// A transaction changes nothing until commit, and commit must run inside an open undo item so
// that the previous segments are saved. Permission checks are the caller's: check before
// beginning.

#include "storage/EventValue.h"
#include "storage/SimTime.h"

#include <vector>

class KDoc;

// One new event of an edit: its value from `time` on.
struct KTimedValue {
    SimTime time = 0;
    EventValue value;
};

class KEditTransaction {
public:
    // What the range holds when the transaction begins.
    enum class Start {
        ValueOnly, // the value in force at `start`, and nothing else
        KeepEvents // that value and every event inside [start, end)
    };

    // `end` must be after `start`. Throws KFileException when a source cannot be read.
    KEditTransaction(KDoc& doc, SignalHandle handle, SimTime start, SimTime end,
                     Start begin = Start::ValueOnly);
    KEditTransaction(const KEditTransaction&) = delete;
    KEditTransaction& operator=(const KEditTransaction&) = delete;
    ~KEditTransaction();

    SignalHandle handle() const { return m_handle; }
    SimTime start() const { return m_start; }
    SimTime end() const { return m_end; }

    // The value in force at `time` in the collected waveform; times before `start` answer the
    // value at `start`. An empty value when the signal had none there.
    const EventValue& valueAt(SimTime time) const;
    // The collected events in time order; the first lies at `start` unless the signal had no
    // value there.
    const std::vector<KTimedValue>& events() const { return m_events; }

    // Writes `value` from `time` on; ignored outside [start, end). The value's size must be the
    // signal's value size.
    void setValue(SimTime time, EventValue value);
    // Replaces everything collected after the value at `start` by `events` (times in [start,
    // end), any order; an event at `start` replaces the start value).
    void setEvents(std::vector<KTimedValue> events);

    // Writes the collected events over [start, end) through put events; `insert` chooses the
    // insert form. Returns false (and changes nothing) when the document refuses; the
    // transaction is spent either way.
    bool commit(bool insert);

private:
    KDoc& m_doc;
    SignalHandle m_handle;
    SimTime m_start;
    SimTime m_end;
    std::vector<KTimedValue> m_events; // sorted by time, at most one per time
    bool m_spent = false;
};
