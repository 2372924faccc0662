#pragma once

// Reads a waveform file (.awf) into an empty document: the signal tree with names, types and
// properties, one segment per signal over the whole file, and the comments and measurements.
//
// No event is read: every signal without elements gets one segment from (0, 0) to (end + 1, 0)
// over the file, reading its own handle there. File handles and document handles differ (the
// document numbers its signals itself); the translation map built while reading the tree is what
// the annotations, which name file handles, are read through.

#include "storage/KEventsReadHandle.h"

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <utility>

class KDoc;
class KSignalRecord;

class KWaveformReader {
public:
    KWaveformReader(KDoc& doc, KEventsReadHandle file) : m_doc(doc), m_file(std::move(file)) {}

    // Reads the tree and the annotations; false when the file's tree is broken or an item is
    // refused. Throws KFileException when the file cannot be read.
    bool read();

    // Splits a design path into hierarchy text and name: after the last '/', or, when the path
    // ends with an extended identifier (\...\, doubled backslashes inside), at the backslash that
    // opens it. Returns the split position.
    static std::size_t splitPoint(std::string_view path);

    // Sets a record's display properties from their texts (as KWaveformWriter::properties makes
    // them); `property` answers the text of a key, empty when there is none.
    static void applyProperties(const std::function<std::string(std::string_view)>& property,
                                KSignalRecord& record);

    const std::map<SignalHandle, SignalHandle>& translation() const { return m_translation; }

private:
    bool readSignals(SignalHandle fileParent, SignalHandle docParent, int count, int depth);
    bool readSignal(SignalHandle fileHandle, SignalHandle docParent, int depth);
    void readProperties(SignalHandle fileHandle, KSignalRecord& record) const;
    void nameRecord(KSignalRecord& record, const std::string& fileName,
                    SignalHandle docParent) const;
    bool readAnnotations();

    KDoc& m_doc;
    KEventsReadHandle m_file;
    std::map<SignalHandle, SignalHandle> m_translation;
};
