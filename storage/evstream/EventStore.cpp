// The free functions of the event database: opening files, and the queries that answer from the
// block index and one signal's section instead of reading events in order.
#include "storage/evstream/EventStore.h"

#include "storage/KFileException.h"
#include "storage/evstream/FileStreamRead.h"
#include "storage/evstream/FileStreamWrite.h"
#include "storage/evstream/SignalCursor.h"

#include <algorithm>
#include <cstring>

namespace evstream {

namespace {

FileStreamRead* fileStream(IEventsStreamRead* stream) {
    return dynamic_cast<FileStreamRead*>(stream);
}

// The first event time of `slot` in block `block` or later; -1 when none.
SimTime firstEventFrom(BlockStore& store, std::size_t block, int slot) {
    for (; block < store.blocks().size(); ++block) {
        auto entry = store.block(block)->directory.find(slot);
        if (entry && entry->eventCount > 0)
            return store.section(block, slot)->times.front();
    }
    return kNoTime;
}

} // namespace

IEventsStreamRead* OpenStreamRead(const std::string& fileName) {
    try {
        return new FileStreamRead(fileName);
    } catch (const std::bad_alloc&) {
        throw KFileException(KFileException::Cause::BadFormat, fileName,
                             "the file claims more data than can be held in memory");
    }
}

IEventsStreamWrite* OpenStreamWrite(const std::string& fileName) {
    return new FileStreamWrite(fileName);
}

IEventsStreamRead* CreateStreamRead(const std::string& fileName) {
    try {
        return OpenStreamRead(fileName);
    } catch (const KFileException&) {
        return nullptr;
    }
}

IEventsStreamWrite* CreateStreamWrite(const std::string& fileName) {
    try {
        return OpenStreamWrite(fileName);
    } catch (const KFileException&) {
        return nullptr;
    }
}

bool GetSignalValue(IEventsStreamRead* stream, SimTime time, SignalHandle handle, void* value) {
    FileStreamRead* file = fileStream(stream);
    int slot = file == nullptr ? -1 : file->slotOf(handle);
    if (slot < 0 || value == nullptr)
        return false;
    BlockStore& store = file->store();
    std::ptrdiff_t block = store.lastBlockStartingAtOrBefore(time);
    if (block < 0)
        return false;
    awf::Bytes bytes;
    if (!store.valueAt(std::size_t(block), slot, time, bytes))
        return false;
    std::memcpy(value, bytes.data(), bytes.size());
    return true;
}

int GetSignalEvents(IEventsStreamRead* stream, SimTime time, SignalHandle handle,
                    std::int64_t& before, std::int64_t& after, std::int64_t& count) {
    FileStreamRead* file = fileStream(stream);
    int slot = file == nullptr ? -1 : file->slotOf(handle);
    if (slot < 0)
        return -1;
    BlockStore& store = file->store();
    before = kNoTime;
    after = kNoTime;
    count = 0;
    std::ptrdiff_t block = store.lastBlockStartingAtOrBefore(time);
    std::size_t nextBlock = 0;
    if (block >= 0) {
        nextBlock = std::size_t(block) + 1;
        if (auto events = store.section(std::size_t(block), slot)) {
            auto it = std::upper_bound(events->times.begin(), events->times.end(), time);
            auto i = std::size_t(it - events->times.begin());
            count = std::int64_t(events->eventsBefore + i);
            before = i > 0 ? events->times[i - 1] : events->previousTime;
            if (it != events->times.end())
                after = *it;
        }
    }
    const SlotSummary* summary = store.summary(slot);
    if (after == kNoTime && (summary == nullptr || summary->lastEventTime > time))
        after = firstEventFrom(store, nextBlock, slot);
    return (before != kNoTime ? 1 : 0) + (after != kNoTime ? 1 : 0);
}

SimTime GetNextMilestone(IEventsStreamRead* stream, SimTime time) {
    FileStreamRead* file = fileStream(stream);
    if (file == nullptr)
        return kNoTime;
    const auto& blocks = file->store().blocks();
    auto it = std::partition_point(blocks.begin(), blocks.end(),
                                   [&](const BlockRef& b) { return b.firstTime <= time; });
    return it == blocks.end() ? kNoTime : it->firstTime;
}

SignalHandle GetParent(IEventsStreamRead* stream, SignalHandle handle) {
    FileStreamRead* file = fileStream(stream);
    return file == nullptr ? kNoSignal : file->signals().parentOf(handle);
}

bool SetScalar(IEventsStreamRead* stream, SignalHandle handle, SignalHandle parent, int index) {
    FileStreamRead* file = fileStream(stream);
    return file != nullptr && file->signals().addVirtualElement(handle, parent, index);
}

bool SetBus(IEventsStreamRead* stream, SignalHandle newHandle, SignalHandle parent, int index,
            int elementCount) {
    FileStreamRead* file = fileStream(stream);
    if (file == nullptr || !file->signals().addVirtualBus(newHandle, parent, index, elementCount))
        return false;
    // A bus nested in another bus takes its place as that bus's element.
    return parent == kNoSignal || file->signals().addVirtualElement(newHandle, parent, index);
}

std::unique_ptr<SignalCursor> OpenSignalCursor(IEventsStreamRead* stream, SignalHandle handle) {
    FileStreamRead* file = fileStream(stream);
    int slot = file == nullptr ? -1 : file->slotOf(handle);
    if (slot < 0)
        return nullptr;
    return std::make_unique<SignalCursor>(file, slot, SignalCursor::StreamReference::Hold);
}

void PrepareSummaries(IEventsStreamRead* stream, const std::vector<SignalHandle>& handles,
                      SimTime maxWidth) {
    FileStreamRead* file = fileStream(stream);
    if (file == nullptr)
        return;
    std::vector<int> slots;
    for (SignalHandle handle : handles)
        if (int slot = file->slotOf(handle); slot >= 0)
            slots.push_back(slot);
    file->summaries().prepare(slots, maxWidth);
}

bool SetSummaryBudget(IEventsStreamRead* stream, std::size_t bytes) {
    FileStreamRead* file = fileStream(stream);
    if (file == nullptr)
        return false;
    file->summaries().setBudget(bytes);
    return true;
}

std::size_t GetSummaryBytes(IEventsStreamRead* stream) {
    FileStreamRead* file = fileStream(stream);
    return file == nullptr ? 0 : file->summaries().bytes();
}

std::uint32_t GetSignalValueSize(IEventsStreamRead* stream, SignalHandle handle) {
    auto cursor = OpenSignalCursor(stream, handle);
    if (!cursor || !cursor->seek(INT64_MIN))
        return 0;
    return cursor->valueSize();
}

bool FlushStream(IEventsStreamWrite* stream) {
    auto* file = dynamic_cast<FileStreamWrite*>(stream);
    return file != nullptr && file->flush();
}

bool SetWriterThread(IEventsStreamWrite* stream, bool on) {
    auto* file = dynamic_cast<FileStreamWrite*>(stream);
    return file != nullptr && file->setWriterThread(on);
}

bool SetWriteOrderKept(IEventsStreamWrite* stream, bool kept) {
    auto* file = dynamic_cast<FileStreamWrite*>(stream);
    if (file == nullptr)
        return false;
    file->setWriteOrderKept(kept);
    return true;
}

} // namespace evstream
