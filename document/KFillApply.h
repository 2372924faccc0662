#pragma once

// The fills applied to a document: a constant value, a clock or a formula over the selected
// range [start, end) of the selected signals, as one undoable change.
//
// Each fill first computes every signal's new events (KFillGenerators) and refuses before
// touching the document when any signal cannot take them; only then does it open one undo item
// and write each signal through its own edit transaction, without the insert flag, so the
// waveform after `end` stays where it was. A refusal carries the message to show; when a write
// fails half-way the undo item is cancelled and the document is as it was.
//
// Permission checks (read-only signals, a running simulation) are the caller's, as the commands
// that open the fills are enabled only when every selected signal accepts the edit.

#include "document/KFillGenerators.h"
#include "document/KWVConfig.h"
#include "storage/SimTime.h"
#include "storage/TimeFormat.h"

#include <string>
#include <string_view>
#include <vector>

class KDoc;

// The selected signals and time range a fill or stretch works on.
struct KFillSelection {
    std::vector<SignalHandle> signals;
    SimTime start = 0;
    SimTime end = 0;
};

struct KFillOutcome {
    enum class Status {
        Done,    // the document changed; `message` may still tell of values a formula lacked
        Nothing, // nothing to do (a blank value, no signal, an empty range)
        Invalid, // an entry is not valid: the page only beeps
        Refused  // `message` says why; the document is unchanged
    };
    Status status = Status::Nothing;
    std::string message;

    bool changed() const { return status == Status::Done; }
};

class KFillApply {
public:
    // The page shown first and the time unit of formula offsets are kept with the settings.
    KFillApply(KDoc& doc, KWVConfig& config, KFillSelection selection);

    // The value page and the edit keys 0 and 1: `text` converted for each signal's type, written
    // at the start of the range. The value page also remembers the text.
    KFillOutcome fillValue(std::string_view text);
    void rememberValue(std::string_view text);

    // The clock page: refused unless every signal has a logic type. On success the entries
    // become the settings the page starts from next time.
    KFillOutcome fillClock(const KClockEntries& entries);
    KClockEntries clockSettings() const;

    // The formula page: the formula goes into the history (newest first, at most ten) and its
    // unit into the settings before it is checked. A value a signal's type rejects ends that
    // signal's fill there; the outcome's message names them.
    KFillOutcome fillFormula(std::string_view formula, TimeUnit defaultUnit);
    void rememberFormula(std::string_view formula, TimeUnit defaultUnit);
    TimeUnit formulaUnit() const;

private:
    // Writes every signal's events (one list per selected signal, in order) in one undo item.
    bool write(const std::vector<std::vector<KTimedValue>>& events);
    bool hasRange() const;

    KDoc& m_doc;
    KWVConfig& m_config;
    KFillSelection m_selection;
};
