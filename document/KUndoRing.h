#pragma once

// The undo state of a document: a ring of committed items and the item being recorded.
//
// The ring never moves items: the next undo is in slot (undoCount - 1) mod 256 and a commit
// overwrites slot undoCount mod 256, so the oldest actions drop out as the ring wraps. undoCount
// may exceed the ring; redoCount never does, which is what stops undo before it reaches a slot
// that was reused.

#include "document/IUndo.h"
#include "document/KWVUndoItem.h"

#include <array>
#include <cstddef>
#include <memory>

struct KUndoRing {
    std::array<std::unique_ptr<KWVUndoItem>, IUndo::kRingSize> slots;
    std::size_t undoCount = 0;
    std::size_t redoCount = 0;
    bool redoValid = false;
    std::unique_ptr<KWVUndoItem> current;

    KWVUndoItem* slot(std::size_t index) const { return slots[index % slots.size()].get(); }
};
