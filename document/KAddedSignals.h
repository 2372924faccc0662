#pragma once

// The collector of one change: editing operations add the handles whose waveforms they change,
// and ending the change (KDoc::endChange) broadcasts them at once.

#include "document/KSignalsSet.h"

// What callers of the editing operations hold: they pass it on and end it, nothing more.
class IAddedSignals {
public:
    virtual ~IAddedSignals() = default;
};

class KAddedSignals final : public IAddedSignals {
public:
    void add(SignalHandle handle) { m_signals.add(handle); }
    const KSignalsSet& signals() const { return m_signals; }

private:
    KSignalsSet m_signals;
};
