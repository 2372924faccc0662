#pragma once

// The events of a frozen memory snapshot grouped by signal, so that a cursor over one signal
// jumps straight to its own events instead of passing over everybody else's.
//
// The index is built lazily, in one pass over the snapshot, the first time any signal is asked
// for; every clone of the snapshot shares it (the events never change, so neither does the
// index). Per signal it keeps the event times in one contiguous vector, which is what a seek
// searches, and the events' positions in the snapshot, which is where the values are.

#include "storage/MemoryWaveStream.h"

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

class KSignalCursor;

class KMemoryEventIndex {
public:
    struct Events {
        std::vector<SimTime> times;
        std::vector<std::uint32_t> positions; // into the snapshot, same length as times
    };

    explicit KMemoryEventIndex(std::shared_ptr<const KMemoryWaveStreamRead::Store> events);

    // The events of one signal; an empty list for a signal without events.
    const Events& eventsOf(SignalHandle handle) const;
    const MemoryEvent& event(std::uint32_t position) const { return (*m_events)[position]; }

    // A cursor over one signal's events with `offset` added to their times.
    static std::unique_ptr<KSignalCursor> openCursor(std::shared_ptr<const KMemoryEventIndex> index,
                                                     SignalHandle handle, SimTime offset);

private:
    void build() const;

    std::shared_ptr<const KMemoryWaveStreamRead::Store> m_events;
    mutable bool m_built = false;
    mutable std::unordered_map<SignalHandle, Events> m_bySignal;
};
