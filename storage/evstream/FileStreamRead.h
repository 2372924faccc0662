#pragma once

// The read stream of a database file.
//
// Reading in time order works one block at a time: the block's signal sections are merged into
// (time, delta) order, with events at an equal key in the order they were written, and a signal
// that shares another's events follows it under its own handle. ReadNextEventOf reads one signal
// through a per-signal cursor, so it never decodes the other signals.

#include "storage/evstream/BlockStore.h"
#include "storage/evstream/IEventsStream.h"
#include "storage/evstream/SignalTable.h"
#include "storage/evstream/SummaryCache.h"

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace evstream {

class SignalCursor;

class FileStreamRead final : public IEventsStreamRead {
public:
    // Opens the file; throws KFileException naming the file and what is wrong.
    explicit FileStreamRead(std::string fileName);

    BlockStore& store() { return *m_store; }
    SignalTable& signals() { return m_signals; }
    // The per-signal summaries of zoomed-out queries.
    SummaryCache& summaries() { return *m_summaries; }
    // The event slot of a signal, -1 for an unknown handle or a virtual bus.
    int slotOf(SignalHandle handle) const;

    // IEventsStreamRead
    void AddRef() override { ++m_refs; }
    bool Release() override;
    int GetRootCount() override { return int(m_signals.roots().size()); }
    SignalHandle GetChild(SignalHandle parent, int index) override;
    SignalHandle GetRoot(int index) override;
    bool GetSignalInfo(SignalHandle handle, SignalInfo& info) override;
    std::string GetProperty(SignalHandle handle, std::string_view key) override;
    std::string GetTypeInfoString(SignalHandle handle) override;
    int GetAnnotationCount(SignalHandle handle) override;
    bool GetAnnotation(SignalHandle handle, int index, Annotation& annotation) override;
    bool Rewind(const SimTime& time) override;
    bool ReadNextEventOf(SignalHandle handle, void* value) override;
    SimTime SkipTo(const SimTime& time) override;
    const SimTime& GetTime() override { return m_time; }
    DeltaCycle GetDelta() override { return m_delta; }
    SignalHandle ReadNextEvent() override;
    bool GetValue(void* value) override;
    std::uint32_t GetValueSize() override { return m_valueSize; }
    std::string GetFileName() override { return m_store->fileName(); }
    const SimTime& GetEndTime() override;
    bool Refresh() override;

private:
    struct Merged {
        SimTime time;
        DeltaCycle delta;
        int slot;
        const std::uint8_t* value;
        std::uint32_t valueSize;
    };

    ~FileStreamRead() override;
    // Loads block `index` as one merged sequence; false when there is no such block.
    bool loadMerged(std::size_t index);
    void applyKeyOrders(const BlockKeys& keys, const std::vector<std::size_t>& keyStart);
    void setCurrent(SimTime time, DeltaCycle delta, const std::uint8_t* value, std::uint32_t size);

    int m_refs = 1;
    SignalTable m_signals;
    std::unique_ptr<BlockStore> m_store;
    std::unique_ptr<SummaryCache> m_summaries;

    // Time-ordered reading of all signals.
    std::size_t m_block = 0;
    bool m_loaded = false;
    std::vector<Merged> m_merged;
    std::vector<std::shared_ptr<const SlotEvents>> m_mergedSections; // keep values alive
    std::size_t m_position = 0;
    int m_currentSlot = -1;
    std::size_t m_nextAlias = 0;

    // Per-signal reading (ReadNextEventOf), restarted by Rewind.
    SimTime m_rewindTime = INT64_MIN;
    std::unordered_map<SignalHandle, std::unique_ptr<SignalCursor>> m_cursors;

    SimTime m_time = 0;
    DeltaCycle m_delta = 0;
    std::vector<std::uint8_t> m_value;
    std::uint32_t m_valueSize = 0;
    SimTime m_endTime = 0;
};

} // namespace evstream
