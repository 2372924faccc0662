#pragma once

// Writes a document's waveforms into a waveform file (.awf): the declarations of every saved
// signal with the properties that differ from their defaults, the comments and measurements as
// annotations, the type strings, and the events from time 0 up to a limit.
//
// A saved signal is every top-level signal that is not read-only, with all its descendants.
// Handles in the file are the document's handles. Declarations follow the rows (parents before
// children, children in element order); each signal's properties come right after its
// declaration, keys in ascending byte order, so a file is the same byte for byte whenever the
// document is.

#include "storage/KEventsWriteHandle.h"
#include "storage/SimTime.h"

#include <map>
#include <string>
#include <vector>

class KDoc;
class KSignalRecord;
class KTypeInfo;

class KWaveformWriter {
public:
    explicit KWaveformWriter(const KDoc& doc) : m_doc(doc) {}

    // Writes the whole document into `path` (created or truncated). Events after `limit` are not
    // written; kNoTime: up to the end of the waveforms. Throws KFileException when the file cannot
    // be made or written; a file left behind then is incomplete.
    void write(const std::string& path, SimTime limit = kNoTime) const;
    // Only one signal with its descendants, without annotations.
    void writeSignal(SignalHandle handle, const std::string& path, SimTime limit = kNoTime) const;

    // The property keys and texts of a signal that differ from the defaults, in key order.
    std::map<std::string, std::string> properties(const KSignalRecord& record) const;
    // The end of a signal's waveform: its last covered time, for a bus the latest of its
    // children's; kNoTime when it has no segments.
    SimTime endTime(const KSignalRecord& record) const;
    // The analog range a type shows without a set range; false when the type has none.
    static bool defaultAnalogRange(const KTypeInfo& type, double& low, double& high);
    // "%#.5G" text of a range end.
    static std::string rangeEndText(double value);

private:
    void declare(KEventsWriteHandle& sink, const KSignalRecord& record, SignalHandle parent,
                 int index, bool parentIsVirtualBus) const;
    void writeAnnotations(KEventsWriteHandle& sink) const;
    void writeTypes(KEventsWriteHandle& sink, const KSignalRecord& record) const;
    void writeEvents(KEventsWriteHandle& sink, const std::vector<SignalHandle>& tops,
                     SimTime limit) const;
    void writeAll(const std::string& path, const std::vector<SignalHandle>& tops, bool annotations,
                  SimTime limit) const;

    const KDoc& m_doc;
};
