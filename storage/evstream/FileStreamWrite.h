#pragma once

// The write stream of a database file.
//
// The file grows by whole chunks: the header on creation, the declarations at EndDeclarations,
// metadata set later before the next events, one block chunk each time the block builder is full,
// and at the last Release the final block, the index and the trailer. Each chunk is written with
// one write call after it is complete, so a reader refreshing meanwhile sees whole chunks or a
// torn last one, which its checksums reject. Memory stays at one block whatever the file size,
// or three with the writer thread (one filling, two encoding or waiting).
//
// With setWriterThread(true), finished blocks are encoded, compressed and written by a worker
// thread (BlockWriterThread) while the caller fills the next block; the file is byte for byte the
// same. The worker owns the file between a submit and the next drain: every other write (records,
// flush, close) drains it first. A worker failure makes the next call return false.

#include "storage/evstream/BlockBuilder.h"
#include "storage/evstream/BlockWriterThread.h"
#include "storage/evstream/FileIndex.h"
#include "storage/evstream/IEventsStream.h"
#include "storage/evstream/SignalTable.h"

#include <atomic>
#include <memory>
#include <string>
#include <vector>

namespace evstream {

class FileStreamWrite final : public IEventsStreamWrite {
public:
    // Creates (or truncates) the file and writes its header; throws KFileException on failure.
    explicit FileStreamWrite(std::string fileName);

    // Writes the events so far as a complete block, so that readers see them on Refresh.
    bool flush();
    // Encodes and writes blocks on a worker thread (on) or on the caller's (off, the default).
    // False when the stream is closed or has failed.
    bool setWriterThread(bool on);
    // Whether the order of different signals' events at one key is stored (see EventStore.h).
    void setWriteOrderKept(bool kept) { m_block.setKeepKeyOrder(kept); }

    // WriteValue() for a parser that converts a value straight into the block's log, so that
    // its bytes are stored once and not loaded back: BlockBuilder::kValueRoom bytes may be stored
    // at nextValueRoom() whether or not they become an event, then addStoredValue() adds the
    // first `size` of them. Refused, having done nothing, for any event but the usual one (a new
    // time, metadata waiting, a first value...): WriteValue() takes that.
    enum class Stored { Added, Failed, Refused };
    std::uint8_t* nextValueRoom() { return m_block.nextValue(); }
    [[gnu::always_inline]] Stored addStoredValue(SignalHandle handle, std::uint32_t size) {
        const int slot = usualSlot(handle, size);
        if (slot < 0)
            return Stored::Refused;
        m_block.addStoredAtKey(slot, size);
        return !m_block.isFull() || writeBlock() ? Stored::Added : Stored::Failed;
    }

    // IEventsStreamWrite
    void AddRef() override { ++m_refs; }
    bool Release() override;
    bool BeginDeclarations() override;
    bool EndDeclarations() override;
    bool DeclareScalar(SignalHandle handle, const SignalInfo& info) override;
    bool DeclareComposite(SignalHandle handle, const SignalInfo& info) override;
    bool AddAnnotation(SignalHandle handle, SimTime time, std::string_view key,
                       std::string_view text) override;
    bool SetProperty(SignalHandle handle, std::string_view key, std::string_view value) override;
    bool SetTypeInfoString(SignalHandle handle, std::string_view typeInfo) override;
    bool SetTime(const SimTime& time) override;
    const SimTime& GetTime() override { return m_time; }
    bool SetDelta(DeltaCycle delta) override;
    DeltaCycle GetDelta() override { return m_delta; }
    bool WriteValue(SignalHandle handle, const void* value, std::uint32_t size) override;
    std::string GetFileName() override { return m_fileName; }

private:
    enum class Phase { Created, Declaring, Events, Closed };

    ~FileStreamWrite() override;
    bool declare(SignalHandle handle, const SignalInfo& info, bool composite);
    // The slot of an event that goes straight into the block (a handle of the flat table, the
    // key and the value size as before, no metadata waiting), -1 for any other.
    [[gnu::always_inline]] int usualSlot(SignalHandle handle, std::uint32_t size) const {
        if (handle < 0 || std::size_t(handle) >= m_fastSlots.size())
            return -1;
        const int slot = m_fastSlots[std::size_t(handle)];
        if (slot >= 0 && m_time == m_lastKey.time && m_delta == m_lastKey.delta &&
            m_block.keyOpen() && m_block.valueSize(slot) == size && size != 0 &&
            m_phase == Phase::Events && m_records.empty() &&
            !m_failed.load(std::memory_order_relaxed))
            return slot;
        return -1;
    }
    // Out of line, so that WriteValue()'s fast path stays free of calls.
    [[gnu::noinline]] bool writeValueChecked(SignalHandle handle, const void* value,
                                             std::uint32_t size);
    bool writeRecordsChunk(std::uint32_t tag);
    bool writeChunk(const awf::Bytes& chunk);
    [[gnu::noinline]] bool writeBlock();
    bool writeBlockChunk(const awf::Bytes& chunk);
    bool drainWorker();
    bool close();
    int slotOf(SignalHandle handle) const {
        if (handle >= 0 && std::size_t(handle) < m_fastSlots.size())
            return m_fastSlots[std::size_t(handle)];
        return slowSlotOf(handle);
    }
    int slowSlotOf(SignalHandle handle) const;

    std::string m_fileName;
    int m_fd = -1;
    int m_refs = 1;
    Phase m_phase = Phase::Created;
    std::atomic<bool> m_failed = false; // set by the worker too
    std::uint64_t m_fileSize = 0;

    SignalTable m_signals;
    awf::Bytes m_records;         // declaration or metadata records not yet written
    std::vector<int> m_fastSlots; // slot by handle for small non-negative handles; -1 none

    BlockBuilder m_block;
    SimTime m_time = 0;
    DeltaCycle m_delta = 0;
    EventKey m_lastKey{INT64_MIN, INT32_MIN};
    SimTime m_maxTime = 0;
    FileIndex m_index;
    awf::Bytes m_chunk;
    awf::Bytes m_workerChunk; // the worker's
    std::unique_ptr<BlockWriterThread> m_worker;
};

} // namespace evstream
