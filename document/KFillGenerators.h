#pragma once

// The waveforms of the fill: a constant value, a clock and a formula's sequence, each computed
// for one range [start, end) of one signal as the list of events an edit transaction writes.
//
// Nothing here touches a document: the generators take types, values and times and answer
// events or a refusal with its message, so the same code serves the dialog, the edit keys and
// scripts. Lists are in time order with at most one event per time; where the generator writes
// twice at one time the later write wins, as it does in an edit transaction. An event that
// repeats the value before it carries no change and is left out.
//
// Every generator caps the events it makes (kMaxFillEvents): a 1 ps clock over a second of
// simulation would otherwise ask for more memory than the machine has.

#include "document/KEditTransaction.h"
#include "storage/EventValue.h"
#include "storage/Formula.h"
#include "storage/IValueNode.h"
#include "storage/KTypesManager.h"
#include "storage/SimTime.h"

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

inline constexpr std::string_view kWrongValueFormatText = "Wrong value format for signal: %s";
inline constexpr std::string_view kCannotFillText = "Cannot fill this signal(s).";
inline constexpr std::string_view kTooManyEventsText =
    "The fill would write more than %zu events into one signal; choose a longer period or a "
    "shorter range.";
inline constexpr std::size_t kMaxFillEvents = 20'000'000;

// One signal a fill writes: its node (type, radix, children) and the name messages give it.
struct KFillTarget {
    const IValueNode* node = nullptr;
    std::string name;
};

// The value fill's conversion of one text for every target.
struct KFillValues {
    enum class Status {
        Converted, // `values` holds one value per target, in order
        Empty,     // the text is blank: nothing to do
        Rejected   // `message` names the first target whose type refuses the text
    };
    Status status = Status::Empty;
    std::vector<EventValue> values;
    std::string message;
};

// Converts `text` (blanks at both ends ignored) with each target's type; `radix` serves targets
// whose own radix is 0 or less.
KFillValues convertFillValue(const KTypesManager& types, std::string_view text,
                             std::span<const KFillTarget> targets, int radix = 0);

// The clock page's entries, as the control reports them.
struct KClockEntries {
    double offset = 0;
    double period = 100000;
    int width = 50; // percent of the period at the first level
    bool startHigh = true;
};

struct KClock {
    SimTime offset = 0;
    SimTime period = 100000;
    int width = 50;
    bool startHigh = true;

    // Offset and period truncated to whole picoseconds. Nothing when an entry is invalid: the
    // control's -1, a negative offset, a period below 1 ps, a width outside 0..100, a time
    // beyond the SimTime range.
    static std::optional<KClock> fromEntries(const KClockEntries& entries);
};

// The low ('0') and high ('1') values of a logic type; nothing for any other type, and for a
// signal whose value is more than one such element (a bus), which a clock cannot drive.
struct KLogicLevels {
    EventValue low;
    EventValue high;
};
std::optional<KLogicLevels> logicLevels(const KTypesManager& types, const IValueNode& signal);

// The clock over [start, end): the second level at `start` when the offset is positive, then from
// start + offset each period the first level (high when `startHigh`), switching to the second
// after period × width / 100 unless that reaches `end`. Nothing when it would take more than
// `maxEvents` events.
std::optional<std::vector<KTimedValue>> clockEvents(const KClock& clock, SimTime start, SimTime end,
                                                    const KLogicLevels& levels,
                                                    std::size_t maxEvents = kMaxFillEvents);

// One signal's events of a formula over [start, end).
struct KFormulaEvents {
    enum class Status {
        Complete,      // the whole evaluation converted
        ValueRejected, // `rejected` did not convert: the events stop before it
        TimeOverflow,  // a time passed the SimTime range: the events stop there
        TooManyEvents  // more than the cap: `events` is empty
    };
    Status status = Status::Complete;
    std::vector<KTimedValue> events;
    std::string rejected; // the value text the signal's type refused
};

KFormulaEvents formulaEvents(const Formula& formula, const KTypesManager& types,
                             const IValueNode& signal, SimTime start, SimTime end, int radix = 0,
                             std::size_t maxEvents = kMaxFillEvents);

// Appends a write to events in time order (`time` not before the last event's): a write at the
// last event's time replaces it, and one that repeats the value in force is dropped.
void writeEvent(std::vector<KTimedValue>& events, SimTime time, const EventValue& value);

// Replaces "%s" (or "%d", "%zu") in a message by `argument`.
std::string formatMessage(std::string_view text, std::string_view argument);
