#pragma once

// One user action's undo item, for operations that are whole actions when called alone and
// parts of a larger one when a caller has an item open (a script command that fills, a drop that
// pastes): the scope opens an item only when none is open, and only the scope that opened it
// commits it or, when left without commit (a refusal, an exception), cancels it. A joined scope
// leaves both to the item's owner.

#include "document/KDoc.h"

class KUndoScope {
public:
    explicit KUndoScope(KDoc& doc) : m_doc(doc), m_owner(doc.currentItem() == nullptr) {
        if (m_owner)
            m_doc.beginItem();
    }
    KUndoScope(const KUndoScope&) = delete;
    KUndoScope& operator=(const KUndoScope&) = delete;
    ~KUndoScope() {
        if (m_owner && !m_committed)
            m_doc.cancelItem();
    }

    void commit() {
        if (m_owner && !m_committed)
            m_doc.commitItem();
        m_committed = true;
    }

private:
    KDoc& m_doc;
    bool m_owner;
    bool m_committed = false;
};
