#pragma once

// The items drawn over the waveform that belong to the document: comments, measurements and
// difference marks. They are plain data here (signals, times, text); the view layer draws them
// and hit-tests them. An item is also the hint object of the item-changed broadcast. The kinds:
// KWaveComment, KEventsExtent, KDifferenceMark.

#include "document/UpdateHints.h"
#include "storage/SimTime.h"

class KItemUI : public KHintObject {
public:
    enum class Kind { Comment, Measurement, DifferenceMark };

    virtual Kind kind() const = 0;
    // The signals the item lies on; the document refuses an item whose signals it does not hold.
    virtual SignalHandle signal() const = 0;
    virtual SignalHandle endSignal() const { return signal(); }
};
