#pragma once

// The event database's free functions: opening and creating database files (.awf) and the
// queries that answer from a file's index without reading events in order.

#include "storage/evstream/IEventsStream.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace evstream {

// Opens a database file for reading: a stream with one reference, or null on failure.
IEventsStreamRead* CreateStreamRead(const std::string& fileName);
// Creates (or truncates) a database file for writing: a stream with one reference, or null.
IEventsStreamWrite* CreateStreamWrite(const std::string& fileName);

// The same, but a failure throws KFileException saying which file and what is wrong.
IEventsStreamRead* OpenStreamRead(const std::string& fileName);
IEventsStreamWrite* OpenStreamWrite(const std::string& fileName);

// The value of one signal at a time (the value of its last event at or before `time`), in the
// layout of its type. False when the signal has no value there.
bool GetSignalValue(IEventsStreamRead* stream, SimTime time, SignalHandle handle, void* value);
// The events of one signal around `time`: `before` is the time of its last event at or before
// `time`, `after` the time of its first event after `time` (-1 when none), `count` the number of
// its events up to and including `time`. Returns how many of `before`/`after` were found (0 none),
// negative on error.
int GetSignalEvents(IEventsStreamRead* stream, SimTime time, SignalHandle handle,
                    std::int64_t& before, std::int64_t& after, std::int64_t& count);
// The first milestone (a time at which every signal's value is stored) after `time`; -1 if none.
SimTime GetNextMilestone(IEventsStreamRead* stream, SimTime time);
// The parent of a handle, -1 for a top-level signal.
SignalHandle GetParent(IEventsStreamRead* stream, SignalHandle handle);
// Virtual buses: register an existing signal as element `index` of a composite, and create a
// composite handle whose elements are registered next.
bool SetScalar(IEventsStreamRead* stream, SignalHandle handle, SignalHandle parent, int index);
bool SetBus(IEventsStreamRead* stream, SignalHandle newHandle, SignalHandle parent, int index,
            int elementCount);

// Fast paths of database streams, beyond the stream interface.
class SignalCursor;
// A cursor over one signal's events that can skip to a time without stepping through the events
// in between (see SignalCursor.h); null for a stream that is not a database file or a handle
// without events of its own (unknown, or a virtual bus). The cursor keeps the stream alive.
std::unique_ptr<SignalCursor> OpenSignalCursor(IEventsStreamRead* stream, SignalHandle handle);
// Builds the summaries of zoomed-out queries (SummaryCache.h) for those of `handles` whose
// buckets are at most `maxWidth` wide and that are not built yet, in one pass over the file.
// Nothing for a stream that is not a database file; throws KFileException for a damaged block.
void PrepareSummaries(IEventsStreamRead* stream, const std::vector<SignalHandle>& handles,
                      SimTime maxWidth);
// The byte budget of a file's summaries, and the bytes they take now (0 for other streams).
bool SetSummaryBudget(IEventsStreamRead* stream, std::size_t bytes);
std::size_t GetSummaryBytes(IEventsStreamRead* stream);
// The value size of a signal in bytes, 0 when unknown or when it has no value yet.
std::uint32_t GetSignalValueSize(IEventsStreamRead* stream, SignalHandle handle);
// Writes the events written so far as a complete block, so that readers see them on Refresh
// while the writer goes on. Each block repeats every signal's value, so flush at a human pace
// (a few times a second at most), not per simulation step. False for a stream that is not a
// database file, or on failure.
bool FlushStream(IEventsStreamWrite* stream);
// Encodes, compresses and writes the blocks of a database file on a worker thread (on) while the
// caller goes on adding events, or on the caller's thread (off, the default). The file is the
// same either way; a failure of the worker makes the next call on the stream return false. Worth
// it with a second core free. False for a stream that is not a database file, or on failure.
bool SetWriterThread(IEventsStreamWrite* stream, bool on);
// Whether the write order of different signals' events at one time and delta is stored (the
// default). Off, they read back in declaration order and the file is smaller: for sources that
// give that order no meaning, such as the changes under one VCD timestamp. Events of one signal
// keep their order either way. Applies from the block being filled; false for a stream that is not
// a database file.
bool SetWriteOrderKept(IEventsStreamWrite* stream, bool kept);

} // namespace evstream
