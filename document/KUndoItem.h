#pragma once

// The base of undo items: one recorded user action that can be undone and redone, alternately.
//
// Items are state exchanges rather than replayed commands: undo puts back what the action
// replaced and keeps what it took away, so the same item redoes by exchanging again.

class KUndoItem {
public:
    virtual ~KUndoItem() = default;
    virtual void undo() = 0;
    virtual void redo() = 0;

protected:
    KUndoItem() = default;
    KUndoItem(const KUndoItem&) = delete;
    KUndoItem& operator=(const KUndoItem&) = delete;
};
