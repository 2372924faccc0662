#pragma once

// A move of a waveform along the time axis, applied to a signal and all its descendants.
//
// A bus keeps its events in its leaves, so inserting or deleting time in a bus must move every
// element by the same rule or the elements would drift apart. The rule is a map from a time of the
// old waveform to its time in the new one; the subclasses apply it to the segment maps.

#include "document/KSignalRecord.h"
#include "document/KSignalsSet.h"

class KMoveBusSegment {
public:
    virtual ~KMoveBusSegment() = default;

    // Where a time of the old waveform lies in the new one.
    virtual SimTime map(SimTime time) const = 0;
    // Moves the signal's segments and, recursively, its children's; adds each handle to `moved`.
    void apply(KSignalRecord& signal, KSignalsSet& moved) const {
        move(signal.segments());
        moved.add(signal.handle());
        for (const KSignalRecordPtr& child : signal.children())
            apply(*child, moved);
    }

protected:
    KMoveBusSegment() = default;
    // Throws KFileException when a source cannot be carried to its new time.
    virtual void move(KEventSegmentMap& segments) const = 0;
};
