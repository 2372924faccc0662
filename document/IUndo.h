#pragma once

// Undo and redo of the document's user actions.
//
// One user action is one item: begin, call the editing primitives (each saves what it changes into
// the current item), commit. Committed items live in a ring of 256 slots, so a long session keeps
// memory bounded and the oldest actions simply fall off the end; the redo bound stops undo before
// it reaches a slot that the ring has already reused.

class IUndo {
public:
    static constexpr int kRingSize = 256;

    virtual ~IUndo() = default;

    // Undoes the latest committed action still undoable; broadcasts a whole-document redraw
    // either way.
    virtual void undo() = 0;
    virtual bool canUndo() const = 0;
    // Redoes the latest undone action; broadcasts a whole-document redraw either way.
    virtual void redo() = 0;
    virtual bool canRedo() const = 0;
    // Opens a new item for the primitives to record into (an open item is cancelled first).
    virtual void beginItem() = 0;
    // Stores the open item in the ring, tells the host the document is modified and drops every
    // redo step.
    virtual void commitItem() = 0;
    // Rolls back what the open item recorded and forgets it.
    virtual void cancelItem() = 0;
    // Forgets the open item and every committed one.
    virtual void clearUndo() = 0;
};
