#pragma once

// Writing events into signals: the only way waveforms change.
//
// Edits never rewrite event data in place. New events go into a fresh in-memory stream and the
// edited signals get segments over it, while the open undo item keeps the segments they had, so
// undo is an exchange of segment maps and never copies events. Every primitive saves what it
// touches into the current undo item (call them between IUndo::beginItem and commitItem) and marks
// the document changed; permission checks are the caller's.

#include "storage/KEventsWriteHandle.h"
#include "storage/SimTime.h"

#include <cstddef>
#include <span>

class KSignalsSet;

// The source of the new events of a put-events action.
class KEditEventsSource {
public:
    virtual ~KEditEventsSource() = default;
    // Writes the new events of the leaves of `targets` over [start, end] into `sink` in ascending
    // (time, delta) order; the value in force at `start` is written at `start`. Throws
    // KFileException when a source cannot be read.
    virtual void writeEvents(KEventsWriteHandle& sink, std::span<const SignalHandle> targets,
                             SimTime start, SimTime end) const = 0;
    // The signal of the written stream that carries the events of `leaf`, leaf number
    // `leafIndex` of target number `target`; by default the leaf's own handle.
    virtual SignalHandle streamSignal(std::size_t target, std::size_t leafIndex,
                                      SignalHandle leaf) const {
        (void)target;
        (void)leafIndex;
        return leaf;
    }
};

enum class PutForm { Overwrite, Insert };

class IEventsEditor {
public:
    virtual ~IEventsEditor() = default;

    // Writes the source's events into a new memory stream and gives every leaf of every target
    // one segment over it for [start, end). With PutForm::Insert the waveform from `start` on
    // first moves later by end - start. False (nothing changes) for an empty range, an unknown
    // target or a source that cannot be read.
    virtual bool putEvents(const KEditEventsSource& source, std::span<const SignalHandle> targets,
                           SimTime start, SimTime end, PutForm form) = 0;
    // Deletes [start, start + length) from every signal of the set whose ancestors are not in it
    // (with its descendants), moving later events earlier. A length of 0 counts as 1.
    virtual bool deleteTime(const KSignalsSet& handles, SimTime start, SimTime length) = 0;
    // Removes every segment of the signal and of its descendants.
    virtual bool clearSignal(SignalHandle handle) = 0;
};
