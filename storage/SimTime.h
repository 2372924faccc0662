#pragma once

// The shared scalar types of simulation time and signal naming.
//
// SimTime, DeltaCycle and SignalHandle are plain integer aliases rather than wrapper classes:
// times are added, subtracted, scaled and compared on every hot path (queries, drawing, file
// formats), and a wrapper would buy little there. Pixels get their own wrapper type in the view
// layer, which is where the two could be confused.

#include <compare>
#include <cstdint>

// Simulation time in picoseconds. -1 means "no time" where an operation says so.
using SimTime = std::int64_t;
// Delta (micro-step) count within one SimTime; a new time starts at delta 0.
using DeltaCycle = std::int32_t;
// A signal (or an element of a composite signal) inside one stream or document.
using SignalHandle = std::int32_t;

inline constexpr SimTime kNoTime = -1;
inline constexpr SimTime kMaxTime = INT64_MAX;
inline constexpr SignalHandle kNoSignal = -1;

// The position of an event: ordered by time, then by delta, both signed.
struct EventKey {
    SimTime time = 0;
    DeltaCycle delta = 0;

    friend constexpr auto operator<=>(const EventKey&, const EventKey&) = default;
};
