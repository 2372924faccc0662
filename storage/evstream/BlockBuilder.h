#pragma once

// Collects the events of one block in memory; its BlockEncoder turns them into a block chunk.
//
// Events arrive in (time, delta) order. Adding one appends a record (slot, key) and its value to
// two flat logs (and a key to the key table when the time or delta changes), and counts the
// slot's event: no per-signal buffers are touched, so the caller's cost per event is small and
// the sorting into sections happens in the encoder, which may run on another thread (take()
// hands a block over). A block's memory is bounded by the flush limits below whatever the file
// size.

#include "storage/evstream/BlockEncoder.h"

#include <cstring>
#include <vector>

namespace evstream {

class BlockBuilder {
public:
    // A block is closed at whichever limit comes first.
    static constexpr std::size_t kMaxRawBytes = std::size_t(1) << 20;
    static constexpr std::uint64_t kMaxEvents = std::uint64_t(1) << 18;

    // Where the next value goes in the log (nextValue()), kValueRoom bytes may be stored whether
    // or not they become an event.
    static constexpr std::size_t kValueRoom = 64;
    // Values in one block's log: the block closes once its raw bytes reach kMaxRawBytes, so
    // the last value starts below that; kValueRoom bytes may follow it.
    static constexpr std::size_t kLogCapacity = kMaxRawBytes + awf::kMaxValueSize + kValueRoom;

    explicit BlockBuilder(int compressionLevel = kBlockCompressionLevel)
        : m_encoder(compressionLevel), m_records(newRecords()), m_log(newLog()) {}

    void setSlotCount(int count) {
        m_slots.resize(std::size_t(count));
        m_touched.resize(std::size_t(count));
    }
    // The value size of a slot, 0 before its first value.
    std::uint32_t valueSize(int slot) const { return m_slots[std::size_t(slot)].size; }
    void setValueSize(int slot, std::uint32_t size) { m_slots[std::size_t(slot)].size = size; }

    // Adds one event; the caller has checked the slot, the key order and the value size.
    void add(int slot, const EventKey& key, const std::uint8_t* value) {
        if (!m_keyOpen || key.time != m_lastKey.time || key.delta != m_lastKey.delta)
            startKey(key);
        addAtKey(slot, value, valueSize(slot));
    }
    // Whether the block has a key yet; then addAtKey() adds events at the last one.
    bool keyOpen() const { return m_keyOpen; }
    // add() at the last key, of the slot's value size.
    [[gnu::always_inline]] void addAtKey(int slot, const std::uint8_t* value, std::uint32_t size) {
        copyValue(nextValue(), value, size);
        addStoredAtKey(slot, size);
    }
    std::uint8_t* nextValue() { return m_log.get() + m_logSize; }
    // addAtKey() of the value already stored at nextValue().
    [[gnu::always_inline]] void addStoredAtKey(int slot, std::uint32_t size) {
        SlotState& state = m_slots[std::size_t(slot)];
        // Both buffers have room for a full block: no check, no call, so the caller's fast path
        // saves no registers.
        m_records[m_events] = {std::uint32_t(slot), m_keyIndex};
        // Counted here, where the slot's size was just read, rather than in another pass over
        // the log on the encoding thread.
        if (state.count++ == 0)
            m_touched[m_touchedCount++] = slot;
        m_logSize += size;
        ++m_events;
        m_rawBytes += size + 1;
    }

    // Whether the write order of different signals' events at one key is kept (see BlockContent).
    void setKeepKeyOrder(bool keep) { m_keepKeyOrder = keep; }

    bool isFull() const { return m_rawBytes >= kMaxRawBytes || m_events >= kMaxEvents; }
    bool isEmpty() const { return m_events == 0; }

    // Encodes the block as a complete chunk (header and payload) into `chunk`, then starts the
    // next block.
    void finish(awf::Bytes& chunk) {
        take(m_content);
        m_encoder.encode(m_content, chunk);
    }
    // The two halves of finish(): take() moves the block into `content` (swapping buffers, so
    // that both sides reuse their memory) and starts the next block; encoder().encode() may then
    // run on another thread, in block order, and gives the same bytes.
    void take(BlockContent& content);
    BlockEncoder& encoder() { return m_encoder; }

    // Per-slot totals over every encoded block, for the file index.
    std::uint64_t totalEvents(int slot) const { return m_encoder.totalEvents(slot); }
    SimTime lastEventTime(int slot) const { return m_encoder.lastEventTime(slot); }

private:
    // memcpy() without its call: one byte for most events of most files, else whole words (the
    // last one overlapping the one before it).
    [[gnu::always_inline]] static void copyValue(std::uint8_t* to, const std::uint8_t* from,
                                                 std::uint32_t size) {
        if (size == 1) {
            *to = *from;
        } else if (size >= 16) {
            for (std::uint32_t i = 0; i + 16 < size; i += 16)
                std::memcpy(to + i, from + i, 16);
            std::memcpy(to + size - 16, from + size - 16, 16);
        } else if (size >= 8) {
            std::memcpy(to, from, 8);
            std::memcpy(to + size - 8, from + size - 8, 8);
        } else if (size >= 4) {
            std::memcpy(to, from, 4);
            std::memcpy(to + size - 4, from + size - 4, 4);
        } else {
            std::memcpy(to, from, 2);
            std::memcpy(to + size - 2, from + size - 2, 2);
        }
    }
    void startKey(const EventKey& key);
    // Only the pages in use take memory.
    static std::unique_ptr<BlockContent::Record[]> newRecords() {
        return std::make_unique_for_overwrite<BlockContent::Record[]>(kMaxEvents);
    }
    static std::unique_ptr<std::uint8_t[]> newLog() {
        return std::make_unique_for_overwrite<std::uint8_t[]>(kLogCapacity);
    }

    BlockEncoder m_encoder;
    struct SlotState {
        std::uint32_t size = 0;
        std::uint32_t count = 0; // events in the block
    };
    std::vector<SlotState> m_slots;
    std::vector<int> m_touched; // slots with events, in first-event order (one entry per slot)
    std::size_t m_touchedCount = 0;
    std::unique_ptr<BlockContent::Record[]> m_records; // kMaxEvents of them
    std::unique_ptr<std::uint8_t[]> m_log;             // kLogCapacity bytes
    std::size_t m_logSize = 0;
    std::vector<SimTime> m_keyTimes;
    std::vector<DeltaCycle> m_keyDeltas;
    EventKey m_lastKey;
    bool m_keyOpen = false;       // m_lastKey is in this block's key table
    std::uint32_t m_keyIndex = 0; // of m_lastKey
    std::size_t m_rawBytes = 0;
    std::uint64_t m_events = 0;
    bool m_keepKeyOrder = true;
    BlockContent m_content; // finish()'s own
};

} // namespace evstream
