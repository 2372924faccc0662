#pragma once

// The undo item of one user action on a waveform document.
//
// An item holds shared things only: the segment maps the touched signals had (the maps share their
// sources, so no event is copied) and, for changes to the set of signals, the records themselves
// with where they stood. Undo and redo are exchanges: undoing swaps each saved map with the
// signal's current one, so the item then holds the undone state and redo swaps back.
//
// Segments are saved per handle, once per item, the first time the action touches the signal; a
// bus saves its descendants with it because edits of a bus change its leaves. Changes to the set
// of signals (added, removed, renamed, grouped into or out of virtual buses) are recorded as
// layout exchanges: the placement of every involved record before and after the change (parent,
// children, name, row order) and which records entered or left the document. Undo applies them
// newest first, redo oldest first.

#include "document/KItemUI.h"
#include "document/KSignalRecord.h"
#include "document/KSignalsSet.h"
#include "document/KUndoItem.h"

#include <map>
#include <memory>
#include <vector>

class KDoc;

class KWVUndoItem final : public KUndoItem {
public:
    explicit KWVUndoItem(KDoc& doc);
    ~KWVUndoItem() override;

    KDoc& document() const { return m_doc; }
    // Set while the action is being recorded.
    bool isOpen() const { return m_open; }
    void close() { m_open = false; }
    // Nothing recorded yet.
    bool isEmpty() const {
        return m_saved.empty() && m_layouts.empty() && m_properties.empty() && m_items.empty();
    }

    // Saves the segments of a signal and of its descendants, each unless this item holds them
    // already, and notes the handles as changed waveforms.
    void saveSegments(SignalHandle handle);
    bool hasSaved(SignalHandle handle) const { return m_saved.count(handle) != 0; }

    // Recording a change to the set of signals: begin with the handles involved (their
    // descendants and parents are captured too), make the change, end with the handles the change
    // created or newly involved.
    void beginLayout(const std::vector<SignalHandle>& involved);
    void endLayout(const std::vector<SignalHandle>& created = {});

    // Recording a change of a record's display fields: the copies before and after.
    void saveProperties(const KSignalRecordPtr& live, KSignalRecordPtr before,
                        KSignalRecordPtr after);

    // Recording drawn items: one the action added (the document holds it) or removed (handed
    // over here). Undo takes added items back out before the signals' layout is restored and
    // puts removed ones back after it, so an item always lies on signals the document holds.
    void itemAdded(const KItemUI* item);
    void itemRemoved(std::unique_ptr<KItemUI> item);

    // Handles whose waveforms the action changed (hint 5) and signals it added or removed (6).
    const KSignalsSet& changedWaves() const { return m_waves; }
    const KSignalsSet& addedRemoved() const { return m_addedRemoved; }

    // KUndoItem
    void undo() override;
    void redo() override;

private:
    struct Placement {
        KSignalRecordPtr record;
        SignalHandle parent = 0;
        std::vector<KSignalRecordPtr> children;
        std::string name;
        std::uint32_t hierarchyIndex = 0;
        std::uint16_t parentNameLength = 0;
        std::uint32_t flagsA = 0;
        bool inDocument = false;
    };
    struct Layout {
        std::vector<Placement> before;
        std::vector<Placement> after;
        std::vector<SignalHandle> rowsBefore;
        std::vector<SignalHandle> rowsAfter;
    };
    struct Properties {
        KSignalRecordPtr live;
        KSignalRecordPtr before;
        KSignalRecordPtr after;
    };

    std::vector<Placement> capture(const std::vector<KSignalRecordPtr>& records) const;
    void apply(const std::vector<Placement>& from, const std::vector<Placement>& to,
               const std::vector<SignalHandle>& rows);
    void exchangeSegments();
    void broadcastChanges() const;

    KDoc& m_doc;
    bool m_open = true;
    struct Saved {
        KSignalRecordPtr record; // the signal itself, wherever it is when undone
        KEventSegmentMap segments;
    };

    struct ItemChange {
        bool added = false;
        const KItemUI* item = nullptr;
        std::unique_ptr<KItemUI> held; // the item while it is out of the document
    };
    void takeItemsOut(bool added);
    void putItemsBack(bool added);

    std::map<SignalHandle, Saved> m_saved;
    std::vector<ItemChange> m_items;
    std::vector<Layout> m_layouts;
    std::vector<Properties> m_properties;
    KSignalsSet m_waves;
    KSignalsSet m_addedRemoved;
    std::vector<KSignalRecordPtr> m_pending; // records captured by beginLayout
    bool m_layoutOpen = false;
};
