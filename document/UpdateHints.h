#pragma once

// The update hints: how the document tells every view what changed.
//
// Each change is announced by one broadcast of a code and, for most codes, a hint object. Views
// redraw from the code alone or look into the object (which handles, which times). Hint objects
// live only for the broadcast; a view that needs the data later copies it.

#include "storage/SimTime.h"

#include <string>

enum class UpdateHint : int {
    All = 0,                 // redraw everything (no object)
    SimTimeChanged = 2,      // KUPDSimTimeChanged
    ResultsAppended = 3,     // traced signals got new result segments (no object)
    WavesChanged = 5,        // KSignalsSet of the signals whose events changed
    SignalsAddedRemoved = 6, // KSignalsSet of the signals added or removed
    StimulatorChanged = 7,   // KStimInfo
    NamesChanged = 8,        // KSignalsSet of the renamed signals (elements included)
    ValueChanged = 12,       // KChangedValueHint
    ListChanged = 13,        // hierarchy or other list-wide display data (no object)
    ItemChanged = 25,        // the KItemUI added, removed or changed
};

// The base of every hint object.
class KHintObject {
public:
    virtual ~KHintObject() = default;

protected:
    KHintObject() = default;
    KHintObject(const KHintObject&) = default;
    KHintObject& operator=(const KHintObject&) = default;
};

// The simulator's time advanced from `previous` to `current`.
class KUPDSimTimeChanged final : public KHintObject {
public:
    KUPDSimTimeChanged(SimTime previous, SimTime current)
        : m_previous(previous), m_current(current) {}
    SimTime previous() const { return m_previous; }
    SimTime current() const { return m_current; }

private:
    SimTime m_previous;
    SimTime m_current;
};

// The current value of a signal changed (a forced value, the value under a cursor).
class KChangedValueHint final : public KHintObject {
public:
    KChangedValueHint(SignalHandle handle, std::string valueText)
        : m_handle(handle), m_valueText(std::move(valueText)) {}
    SignalHandle handle() const { return m_handle; }
    const std::string& valueText() const { return m_valueText; }

private:
    SignalHandle m_handle;
    std::string m_valueText;
};

// A signal's stimulator changed.
class KStimInfo final : public KHintObject {
public:
    KStimInfo(SignalHandle handle, std::string stimulator)
        : m_handle(handle), m_stimulator(std::move(stimulator)) {}
    SignalHandle handle() const { return m_handle; }
    const std::string& stimulator() const { return m_stimulator; }

private:
    SignalHandle m_handle;
    std::string m_stimulator;
};

// Sent by views to ask their siblings to redraw the waveform area; the document never sends it.
class KUPDInvalidateWaves final : public KHintObject {};
