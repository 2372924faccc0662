#pragma once

// The stretch applied to a document: the selected signals' waveforms inside [start, end) scaled
// by a percentage, as one undoable change.
//
// Every signal's new events are computed first (KStretch): its value at `start` again at
// `start`, then each event of the range at its scaled time. Then, in one undo item, in insert
// mode the range's time is deleted and the new events are put in with the insert flag over
// [start, end'), so whatever followed `end` now follows `end'`; in overwrite mode they are put
// over [start, max(end, end')) without it, so the waveform after that stays where it was and,
// when the range shrinks, the last stretched value lasts until `end`.

#include "document/KFillApply.h"
#include "document/KWVConfig.h"

#include <optional>

class KDoc;

struct KStretchOutcome {
    bool done = false;
    // The selection's new time range [start, end') when done.
    SimTime start = 0;
    SimTime end = 0;
};

class KStretchApply {
public:
    KStretchApply(KDoc& doc, KWVConfig& config, KFillSelection selection);

    // The percent the dialog starts from.
    int percentSetting() const;

    // Refused (nothing changes, the dialog beeps) for a percent below 1 or a new end beyond the
    // range of times. On success the percent becomes the setting.
    KStretchOutcome stretch(int percent);

private:
    bool write(const std::vector<std::vector<KTimedValue>>& events, SimTime newEnd);

    KDoc& m_doc;
    KWVConfig& m_config;
    KFillSelection m_selection;
};
