#pragma once

// The stretch of a selected range [start, end) by a percentage: the arithmetic, the texts the
// stretch dialog shows, and the new events of one signal.
//
// Times scale from the range's start with 64-bit integer arithmetic truncating toward zero:
// an event at t moves to start + (t - start) × p / 100 and the range's end to
// start + (end - start) × p / 100. A strong compression can move several events to one time;
// the last of them (the latest before the stretch) is the one kept, so the value in force after
// that time is the one that was in force at the end of the compressed stretch.

#include "document/KEditTransaction.h"
#include "storage/EventValue.h"
#include "storage/SimTime.h"

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class KStretch {
public:
    static constexpr int kMinPercent = 1;
    static constexpr int kMaxPercent = 10000;
    static constexpr int kSpinStep = 10;
    static constexpr int kDefaultPercent = 200;

    // `end` after `start`.
    KStretch(SimTime start, SimTime end) : m_start(start), m_end(end) {}

    SimTime start() const { return m_start; }
    SimTime end() const { return m_end; }
    SimTime length() const { return m_end - m_start; }

    // The leading integer of a text, as the percent box is read: blanks, a sign and digits;
    // 0 when there are no digits, saturated to the int range when there are too many.
    static int leadingInteger(std::string_view text);
    // "200 %".
    static std::string percentText(int percent);
    static bool isInRange(int percent) { return percent >= kMinPercent && percent <= kMaxPercent; }
    // The percent after `clicks` clicks on the arrows (negative: down), kept in range.
    static int spin(int percent, int clicks);

    // "Original range L, from S  to E", the times formatted as everywhere else.
    std::string originalRangeText() const;
    // "New range L', from S  to E'"; nothing for a percent out of range (the line is cleared).
    std::optional<std::string> newRangeText(int percent) const;

    // The length and end after the stretch; nothing for a percent below 1 or an end beyond the
    // SimTime range, which the stretch refuses.
    std::optional<SimTime> newLength(int percent) const;
    std::optional<SimTime> newEnd(int percent) const;
    // Where a time of the range lands; requires newEnd(percent).
    SimTime map(SimTime time, int percent) const;

    // The range's new events: `startValue` at start (when not empty), then each event in
    // [start, end) at its mapped time; events outside the range are ignored. `events` must be
    // in time order. Requires newEnd(percent).
    std::vector<KTimedValue> stretchEvents(const EventValue& startValue,
                                           std::span<const KTimedValue> events, int percent) const;

private:
    SimTime m_start;
    SimTime m_end;
};
