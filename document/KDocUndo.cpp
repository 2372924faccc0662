#include "document/KDoc.h"
#include "document/KUndoRing.h"

// IUndo

void KDoc::undo() {
    KUndoRing& ring = *m_undo;
    if (canUndo()) {
        --ring.undoCount;
        ++ring.redoCount;
        if (KWVUndoItem* item = ring.slot(ring.undoCount))
            item->undo();
        ring.redoValid = true;
    }
    broadcast(UpdateHint::All);
}

bool KDoc::canUndo() const {
    return m_undo->undoCount != 0 && m_undo->redoCount < IUndo::kRingSize;
}

void KDoc::redo() {
    KUndoRing& ring = *m_undo;
    if (canRedo()) {
        if (KWVUndoItem* item = ring.slot(ring.undoCount))
            item->redo();
        ++ring.undoCount;
        --ring.redoCount;
        ring.redoValid = true;
    }
    broadcast(UpdateHint::All);
}

bool KDoc::canRedo() const {
    return m_undo->redoValid && m_undo->redoCount > 0;
}

void KDoc::beginItem() {
    if (m_undo->current)
        cancelItem();
    m_undo->current = std::make_unique<KWVUndoItem>(*this);
}

void KDoc::commitItem() {
    KUndoRing& ring = *m_undo;
    if (!ring.current)
        return;
    m_host->setModified(true);
    ring.current->close();
    ring.slots[ring.undoCount % ring.slots.size()] = std::move(ring.current);
    ++ring.undoCount;
    ring.redoCount = 0;
    ring.redoValid = false;
}

void KDoc::cancelItem() {
    std::unique_ptr<KWVUndoItem> item = std::move(m_undo->current);
    if (item) {
        item->close();
        item->undo();
    }
}

void KDoc::clearUndo() {
    KUndoRing& ring = *m_undo;
    ring.current.reset();
    for (std::unique_ptr<KWVUndoItem>& slot : ring.slots)
        slot.reset();
    ring.undoCount = 0;
    ring.redoCount = 0;
    ring.redoValid = false;
}

KWVUndoItem* KDoc::currentItem() const {
    return m_undo->current.get();
}

// Restoring records

void KDoc::enterRecord(const KSignalRecordPtr& record) {
    if (!record || record->handle() == 0 || record->handle() == kNoSignal ||
        !m_signals.emplace(record->handle(), record).second)
        return;
    if (record->handle() >= m_nextHandle)
        m_nextHandle = record->handle() + 1;
    indexName(*record);
}

void KDoc::takeOutRecord(SignalHandle handle) {
    auto found = m_signals.find(handle);
    if (found == m_signals.end())
        return;
    unindexName(*found->second);
    m_signals.erase(found);
}
