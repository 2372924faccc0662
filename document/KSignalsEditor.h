#pragma once

// Undoable changes to the set of signals of a document: adding, removing, renaming, changing
// display properties, and grouping into or out of virtual buses.
//
// The document's own operations change the signals and announce it; this class wraps each one so
// that the document's current undo item records the change (records are kept, never copied, so
// undo restores the very records the views knew). Outside an open undo item the change happens
// without being recorded. Begin and commit the item around the calls, as for events edits.

#include "document/KDoc.h"

#include <functional>
#include <span>
#include <string>
#include <vector>

class KSignalsEditor {
public:
    explicit KSignalsEditor(KDoc& doc) : m_doc(doc) {}

    // Enters top-level records with their children trees (records with handle 0 get new
    // handles) and shows them as rows from `row` on (clamped to the end). Returns the handles of
    // the top records; empty, and nothing changes, when a record is refused. Broadcasts
    // SignalsAddedRemoved.
    std::vector<SignalHandle> addSignals(const std::vector<KSignalRecordPtr>& records,
                                         std::size_t row);
    // Removes the signals with their descendants (SignalsAddedRemoved); false when none is held.
    bool removeSignals(const KSignalsSet& handles);
    // Renames a signal and its elements (NamesChanged).
    bool rename(SignalHandle handle, std::string name);
    // Lets `change` set display fields of a record (color, height, radix, flags, shape, analog
    // range, type, stimulator); names, place and waveform are not its business. Broadcasts
    // WavesChanged with the handle.
    bool setProperties(SignalHandle handle, const std::function<void(KSignalRecord&)>& change);
    // Groups the signals into a new virtual bus named by KDoc::newVirtualBusName; its members
    // leave the rows. Returns the bus's handle, 0 when the selection cannot be grouped.
    SignalHandle group(std::span<const SignalHandle> selected);
    // Dissolves virtual buses: their members become top-level rows where the bus was. False when
    // no handle names a virtual bus. Broadcasts WavesChanged with the members.
    bool ungroup(std::span<const SignalHandle> buses);

private:
    KWVUndoItem* item() const { return m_doc.currentItem(); }
    SignalHandle enterTree(const KSignalRecordPtr& record, SignalHandle parent);

    KDoc& m_doc;
};
