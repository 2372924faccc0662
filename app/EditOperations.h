#pragma once

// The document operations behind the commands of `tessel-wave edit`, one function each.
//
// Every command of an edit script that changes the document ends in exactly one of these calls,
// and each call is the operation the window's action of the same name makes, so that a script
// edits a file the way a user would. The script has parsed and checked the arguments (signals
// exist, times are times, values and formulas fit the signals' types); what is left here is
// what the document itself may refuse, answered as an EditStatus with a message for the user.
//
// A command that changes the document runs between beginEditItem and commitEditItem (or
// cancelEditItem when it was refused), so that it is one undo step.

#include "document/KEventSegmentMap.h"
#include "document/KSignalRecord.h"
#include "storage/SimTime.h"

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class KDoc;

// Done, or refused with a message saying why.
class EditStatus {
public:
    static EditStatus done() { return EditStatus(); }
    static EditStatus refused(std::string message) {
        EditStatus status;
        status.m_message = message.empty() ? std::string("refused") : std::move(message);
        return status;
    }
    bool ok() const { return m_message.empty(); }
    const std::string& message() const { return m_message; }

private:
    std::string m_message;
};

// The signals and the time range [start, end) the waveform commands act on.
struct EditSelection {
    std::vector<SignalHandle> signals; // in the order selected, no duplicates
    SimTime start = 0;
    SimTime end = 0; // end == start: no time range

    bool hasTimeRange() const { return end > start; }
    SimTime length() const { return end - start; }
};

// A clock written over the selected range: level A (high when startHigh) for
// period × widthPercent / 100 from start + offset, then the other level, every period.
struct ClockFill {
    SimTime period = 0;
    SimTime offset = 0;
    int widthPercent = 50;
    bool startHigh = false;
};

// A new top-level signal; typeInfo is a registered-able type-information string.
struct NewSignal {
    std::string hierarchy; // "" or a path ending in '/'
    std::string name;      // a VHDL identifier
    std::string typeInfo;
    SignalMode mode = SignalMode::Signal;
};

// The display properties a user sets; a field without a value stays as it is.
struct SignalProperties {
    std::optional<int> radix;            // 2, 8, 10, 16, or KSignalRecord::kDefaultRadix
    std::optional<std::uint32_t> color;  // 0x00BBGGRR, or KSignalRecord::kAutomaticColor
    std::optional<std::uint16_t> height; // 22 to 50
    std::optional<std::uint32_t> shape;  // 0 (from the type) or a SignalShape
    std::optional<bool> bold;
    std::optional<bool> inverted; // elements shown in reverse order
    // low <= high sets the analog range, low > high returns to the type's own range.
    std::optional<std::pair<double, double>> analogRange;
};

// What a script copied or cut: the clipboard's formats by name ("WAVEFORM", "WAVEFORMSIGNAL",
// "CF_SIGNALS_TYPE"), each one rendered block.
struct EditClipboard {
    std::map<std::string, std::vector<std::uint8_t>> formats;
    bool empty() const { return formats.empty(); }
};

// Undo items: one per command that changes the document.
void beginEditItem(KDoc& doc);
void commitEditItem(KDoc& doc);
void cancelEditItem(KDoc& doc);
EditStatus undoEdit(KDoc& doc);
EditStatus redoEdit(KDoc& doc);

// Waveforms of the selected signals over the selected range; the waveform after the range stays.
EditStatus fillValue(KDoc& doc, const EditSelection& selection, std::string_view valueText);
EditStatus fillClock(KDoc& doc, const EditSelection& selection, const ClockFill& clock);
EditStatus fillFormula(KDoc& doc, const EditSelection& selection, std::string_view formula);
// Scales the selected range by percent (1 to 10000); the selection's range becomes [start,
// start + length × percent / 100). With InsertForm::Insert the waveform after the range moves
// with the range's end.
EditStatus stretchSelection(KDoc& doc, EditSelection& selection, int percent, InsertForm form);
// Time inserted at `at` (the value in force there lasts `length` longer) or deleted from
// [start, start + length) (later events move earlier).
EditStatus insertTime(KDoc& doc, std::span<const SignalHandle> signals, SimTime at, SimTime length);
EditStatus deleteTime(KDoc& doc, std::span<const SignalHandle> signals, SimTime start,
                      SimTime length);
// Removes every event of the signals.
EditStatus clearWaveforms(KDoc& doc, std::span<const SignalHandle> signals);

// The set of signals.
EditStatus addSignal(KDoc& doc, const NewSignal& signal, SignalHandle& added);
// Removes the signals with their elements and the comments and measurements on them.
EditStatus removeSignals(KDoc& doc, std::span<const SignalHandle> signals);
EditStatus renameSignal(KDoc& doc, SignalHandle signal, std::string_view newName);
EditStatus groupSignals(KDoc& doc, std::span<const SignalHandle> signals, SignalHandle& bus);
EditStatus ungroupSignals(KDoc& doc, std::span<const SignalHandle> buses);

// Display properties and stimulators.
EditStatus setSignalProperties(KDoc& doc, std::span<const SignalHandle> signals,
                               const SignalProperties& properties);
EditStatus setStimulator(KDoc& doc, std::span<const SignalHandle> signals, std::string_view text);

// Items drawn over the waveforms.
EditStatus addComment(KDoc& doc, SignalHandle signal, SimTime time, std::string_view text);
EditStatus addMeasurement(KDoc& doc, SignalHandle startSignal, SimTime startTime,
                          SignalHandle endSignal, SimTime endTime);

// The clipboard. Copy and cut take the selected signals, and the selected range when there is
// one; paste puts the clipboard's content at a signal's row and a time.
EditStatus copySelection(const KDoc& doc, const EditSelection& selection, EditClipboard& clipboard);
EditStatus cutSelection(KDoc& doc, const EditSelection& selection, EditClipboard& clipboard);
EditStatus pasteClipboard(KDoc& doc, const EditClipboard& clipboard, SignalHandle row, SimTime at);
