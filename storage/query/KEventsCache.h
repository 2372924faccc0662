#pragma once

// The event times of some signals from time 0 on, in delivery order: what a caller that walks
// from event to event many times (measurements, go-to-event) reads once instead of querying again.
//
// A start value whose event lies exactly at time 0 gives time 0; every later event gives its time.

#include "storage/query/IEventSources.h"

#include <span>
#include <unordered_map>
#include <vector>

class KEventsCache {
public:
    explicit KEventsCache(const IEventSources& sources) : m_sources(sources) {}

    // Reads the event times of the signals (again, when they were read before). Throws
    // KFileException when a source cannot be read.
    void fill(std::span<const SignalHandle> handles);
    // The cached times of a signal; empty when it was not filled or has no events.
    const std::vector<SimTime>& times(SignalHandle handle) const;
    void clear() { m_times.clear(); }

private:
    const IEventSources& m_sources;
    std::unordered_map<SignalHandle, std::vector<SimTime>> m_times;
};
