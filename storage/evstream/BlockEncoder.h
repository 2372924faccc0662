#pragma once

// Encodes blocks of events as block chunks, one after the other, and carries each signal slot's
// state from block to block (its last value becomes the next block's milestone).
//
// Its input is a BlockContent: the block's key table and its events as the caller wrote them, one
// record per event in a flat log. Sorting the events into per-slot sections happens here, so the
// thread that adds events only appends to the log; with the writer thread this work runs on the
// worker. Blocks must be encoded in the order they were filled.

#include "storage/evstream/BlockLayout.h"
#include "storage/evstream/ValuePlanes.h"

#include <memory>
#include <span>
#include <vector>

namespace evstream {

// zstd level of block blobs. Level 1 gave files within 1 % of level 3 on the import benchmarks
// (bit-packed values and varint key steps leave zstd little to find) for about 25 % less time;
// the fast level takes a third off that again.
inline constexpr int kBlockCompressionLevel = awf::kFastLevel;

// The events of one block: everything its encoding needs apart from the carried slot state.
struct BlockContent {
    // One record per event, in write order.
    struct Record {
        std::uint32_t slot;
        std::uint32_t key; // index into keyTimes
    };
    // Room for a full block (BlockBuilder::kMaxEvents), so that adding one needs no check;
    // only the pages in use take memory.
    std::unique_ptr<Record[]> records;
    std::size_t recordCount = 0;
    std::span<const Record> usedRecords() const { return {records.get(), recordCount}; }
    // The events' values, one after the other in write order, apart from the records: the sort
    // then reads 8 bytes per event rather than all of a bus value.
    std::unique_ptr<std::uint8_t[]> log; // only the first logSize bytes are in use
    std::size_t logSize = 0;             // bytes used
    std::vector<SimTime> keyTimes;
    std::vector<DeltaCycle> keyDeltas;
    std::vector<std::uint32_t> valueSizes; // by slot
    std::vector<std::uint32_t> counts;     // events by slot (only touched slots' are set)
    std::vector<int> touched;              // the slots with events
    std::uint64_t events = 0;
    // False: the order of different signals' events at one key is not stored, and they read
    // back in slot order.
    bool keepKeyOrder = true;
};

class BlockEncoder {
public:
    explicit BlockEncoder(int compressionLevel = kBlockCompressionLevel)
        : m_level(compressionLevel) {}

    // Encodes `content` as a complete chunk (header and payload) into `chunk`.
    void encode(const BlockContent& content, awf::Bytes& chunk);

    // Per-slot totals over every encoded block, for the file index.
    std::uint64_t totalEvents(int slot) const {
        return std::size_t(slot) < m_slots.size() ? m_slots[std::size_t(slot)].eventsBefore : 0;
    }
    SimTime lastEventTime(int slot) const {
        return std::size_t(slot) < m_slots.size() ? m_slots[std::size_t(slot)].lastTime : kNoTime;
    }

private:
    struct Slot {
        std::uint32_t valueSize = 0;
        std::uint32_t count = 0; // events in the current block
        std::uint32_t lastKey = 0;
        bool hasValue = false; // a value exists before the current block
        awf::Bytes current;    // that value: the milestone
        // The block's key steps and values of the slot, in m_keys and m_values.
        std::uint32_t keysStart = 0;
        std::uint32_t keysEnd = 0;
        std::uint32_t valuesStart = 0;
        unsigned planeFlags = 0;        // of the block's wide values, kNot... ORed
        std::uint32_t offsetsStart = 0; // kNotPlanes: its values' offsets in m_logOffsets
        std::uint64_t eventsBefore = 0;
        SimTime lastTime = kNoTime; // time of the last event before the current block
    };
    // What the sort touches per event, kept small so that thousands of slots stay in cache.
    struct Cursor {
        std::uint32_t lastKey = 0;
        std::uint32_t keysEnd = 0;
        std::uint32_t valuesEnd = 0;
        unsigned planeFlags = 0;
    };

    // Values up to this size are copied into the sorted block. Wider ones are packed there as
    // bit planes (see ValuePlanes.h) while the sort reads the log in order: a bus section is
    // then chained and packed from words, its bytes are read once, in order, and its sorted
    // values take a quarter of their bytes. Sections that the planes do not hold are made from
    // the log.
    static constexpr std::uint32_t kCopiedValueSize = 8;
    static std::size_t storedSize(std::uint32_t valueSize) {
        return valueSize <= kCopiedValueSize ? valueSize : packedPlanesSize(valueSize);
    }

    void noteKeyOrders(const BlockContent& content);
    void sortEvents(const BlockContent& content);
    template <class Packer>
    [[gnu::always_inline]] static inline void sortRecords(const BlockContent& c, std::uint8_t* keys,
                                                          std::uint8_t* values, Cursor* cursors);
#if defined(TESSEL_PLANES_AVX512)
    static void sortRecordsAvx512(const BlockContent& c, std::uint8_t* keys, std::uint8_t* values,
                                  Cursor* cursors);
#endif
    void noteLogOffsets(const BlockContent& c, std::size_t count);
    void closeKeyOrder(std::uint32_t key);
    void encodeKeys(const BlockContent& content, awf::Bytes& raw) const;
    void encodeSection(const Slot& s, SimTime blockStart, const std::uint8_t* log, awf::Bytes& raw);
    const std::uint8_t* valueInLog(const Slot& s, std::size_t i, const std::uint8_t* log) const;
    bool packPlanesSection(const std::uint8_t* milestone, const Slot& s, awf::Bytes& raw);
    void chainInPlace(const std::uint8_t* milestone, const Slot& s, const std::uint8_t* log);
    void endBlock(const BlockContent& content);

    int m_level;
    std::vector<Slot> m_slots;
    std::vector<Cursor> m_cursors;
    std::vector<int> m_touched;
    // The sorted block: every touched slot's key steps and values (or for wide values their
    // offsets in the log), one stretch per slot.
    std::unique_ptr<std::uint8_t[]> m_keys;
    std::size_t m_keysCapacity = 0;
    std::unique_ptr<std::uint8_t[]> m_values;
    std::size_t m_valuesCapacity = 0;
    std::vector<KeyOrder> m_orders;
    std::vector<int> m_slotsAtKey;
    bool m_keyInOrder = true;
    awf::Bytes m_chained; // a section's values as stored
    awf::Bytes m_data, m_raw, m_group;
    awf::Bytes m_milestonePlanes;
    std::vector<std::uint32_t> m_logOffsets; // see Slot::offsetsStart
    std::vector<std::uint32_t> m_offsetsEnd; // by slot, while they are noted
};

} // namespace evstream
