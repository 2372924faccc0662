#pragma once

// What the query engine needs to know about a document: which leaves a requested signal breaks
// into, and where each leaf's events come from. The document implements it; the engine sits
// below the document and sees nothing else of it.

#include "storage/EventValue.h"
#include "storage/KEventsReadHandle.h"
#include "storage/SimTime.h"

#include <cstdint>
#include <vector>

// One leaf of a requested signal and the place of its bytes inside the signal's whole value.
struct QueryLeaf {
    SignalHandle handle = kNoSignal;
    std::uint32_t offset = 0; // byte offset inside the requested signal's value
    std::uint32_t size = 0;   // bytes of the leaf's value; 0 when its type is unknown
};

// One slice of a leaf's waveform, in document time: the events of `sourceSignal` in `source`
// (whose offset maps document time to the source's own) inside [from, to). A slice without a
// source is constant: `value` from `from` on, or nothing when the value is empty.
struct QuerySegment {
    EventKey from;
    EventKey to;
    KEventsReadHandle source;
    SignalHandle sourceSignal = kNoSignal;
    EventValue value;
};

class IEventSources {
public:
    // The leaves of a signal in element order, each with its byte offset (a leaf gives itself at
    // offset 0). False for a handle the document does not hold.
    virtual bool queryLeaves(SignalHandle handle, std::vector<QueryLeaf>& leaves) const = 0;
    // The segments of a leaf in time order, without overlaps.
    virtual void querySegments(SignalHandle leaf, std::vector<QuerySegment>& segments) const = 0;

protected:
    ~IEventSources() = default;
};
