#pragma once

// The query engine behind every events provider: it reads the requested signals' events from
// the document's sources and calls the provider back.
//
// A run first gives every requested signal its start value (OnStartValue, or OnNoStartValue),
// once, then each signal's changes after the start time in ascending (time, delta) order through
// OnEvent, until the provider answers false or the changes end. The order holds per signal, not
// across signals: signals with a merge distance (drawing) are read side by side through time,
// a few merge distances apart at most, so that they share the decoded blocks of a database file;
// signals without one are read one after the other.
//
// Merge distance. A signal with merge distance md > 0 never gets two changes closer than md
// unless they are the same: an event less than md after the last delivered change opens a
// pending change at its time p, and everything before p + md folds into it (the latest value
// wins; kMerged when more than the opening event was folded). The engine does not step through
// the folded events: it seeks to p + md and asks what was in force just before, so a dense
// stretch costs one seek per merge distance, however many events it holds. The pending change
// is delivered before the first event at or after p + md, or at the end of the signal's events.
//
// Coarse folds (opt-in, for drawing). A lone leaf on a database file whose per-signal summary has
// time buckets of at most md / 8 folds at bucket boundaries instead: a fold opened at p ends at
// the first boundary B at or after p + md, takes the value in force just before B, is merged when
// [p, B) holds more than one event, and the next change considered is the first event at or
// after B. Delivered times and values stay real events; folds get at most md / 8 longer. Where a
// fold would cross its segment's end, for composites and in memory streams the exact rule holds.

#include "storage/query/IEventSources.h"
#include "storage/query/KEventRecord.h"

#include <cstddef>
#include <unordered_map>
#include <vector>

class KEventsProvider;
class KCompositeCursor;
class KSignalRun;

class KQueryEngine {
public:
    KQueryEngine(const IEventSources& sources, SimTime startTime);

    // Requests a signal; a repeated request keeps the smaller merge distance (negative: 0).
    void addSignal(SignalHandle handle, SimTime mergeDistance);
    // Coarse folds (off by default): see the header comment.
    void setCoarseFolds(bool on) { m_coarseFolds = on; }
    bool coarseFolds() const { return m_coarseFolds; }
    // Throws KFileException when a source cannot be read; the provider keeps what it was given.
    void run(KEventsProvider& provider);

    SimTime startTime() const { return m_startTime; }
    const IEventSources& sources() const { return m_sources; }

    // A cursor over a signal's changes as the engine reads them (empty when the sources do not
    // know the signal): for readers that take every change as it is, with no merge distance.
    KCompositeCursor open(SignalHandle handle) const;

private:
    struct Request {
        SignalHandle handle;
        SimTime mergeDistance;
    };

    // Builds the summaries the coarse folds of this run will read, all signals of one file in
    // one pass, so that a first zoomed-out screen decodes each block once.
    void prepareSummaries() const;
    static void deliverTogether(KEventsProvider& provider, std::vector<KSignalRun>& runs);

    const IEventSources& m_sources;
    SimTime m_startTime;
    std::vector<Request> m_requests;
    std::unordered_map<SignalHandle, std::size_t> m_indexByHandle;
    bool m_coarseFolds = false;
};
