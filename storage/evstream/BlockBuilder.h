#pragma once

// Collects the events of one block in memory and encodes it as a block chunk.
//
// Events arrive in (time, delta) order. Each slot appends its key indices (varints) and value
// bytes to its own buffers, so encoding needs no sorting, and a block's memory is bounded by the
// flush limits below whatever the file size. The builder also carries each slot's value across
// blocks: it becomes the next block's milestone.

#include "storage/evstream/BlockLayout.h"

#include <cstring>
#include <vector>

namespace evstream {

class BlockBuilder {
public:
    // A block is closed at whichever limit comes first.
    static constexpr std::size_t kMaxRawBytes = std::size_t(1) << 20;
    static constexpr std::uint64_t kMaxEvents = std::uint64_t(1) << 18;

    explicit BlockBuilder(int compressionLevel = 3) : m_level(compressionLevel) {}

    void setSlotCount(int count) { m_slots.resize(std::size_t(count)); }
    // The value size of a slot, 0 before its first value.
    std::uint32_t valueSize(int slot) const { return m_slots[std::size_t(slot)].valueSize; }
    void setValueSize(int slot, std::uint32_t size) { m_slots[std::size_t(slot)].valueSize = size; }

    // Adds one event; the caller has checked the slot, the key order and the value size.
    void add(int slot, const EventKey& key, const std::uint8_t* value) {
        if (m_keyTimes.empty() || key.time != m_lastKey.time || key.delta != m_lastKey.delta)
            startKey(key);
        Slot& s = m_slots[std::size_t(slot)];
        auto keyIndex = std::uint32_t(m_keyTimes.size() - 1);
        if (s.count == 0) {
            m_touched.push_back(slot);
            s.lastKey = 0;
        }
        awf::appendVarint(s.keyDiffs, keyIndex - s.lastKey);
        s.lastKey = keyIndex;
        if (s.valueSize == 1) {
            s.values.push_back(*value);
        } else {
            std::size_t end = s.values.size();
            s.values.resize(end + s.valueSize);
            std::memcpy(s.values.data() + end, value, s.valueSize);
        }
        ++s.count;
        ++m_events;
        m_rawBytes += s.valueSize + 1;
        if (slot <= m_lastSlotAtKey)
            m_keyInOrder = false;
        m_lastSlotAtKey = slot;
        m_slotsAtKey.push_back(slot);
    }

    bool isFull() const { return m_rawBytes >= kMaxRawBytes || m_events >= kMaxEvents; }
    bool isEmpty() const { return m_events == 0; }

    // Encodes the block as a complete chunk (header and payload) into `chunk`, then starts the
    // next block with the current values as its milestone.
    void finish(awf::Bytes& chunk);

    // Per-slot totals over every finished block, for the file index.
    std::uint64_t totalEvents(int slot) const { return m_slots[std::size_t(slot)].eventsBefore; }
    SimTime lastEventTime(int slot) const { return m_slots[std::size_t(slot)].lastTime; }

private:
    struct Slot {
        std::uint32_t valueSize = 0;
        std::uint32_t count = 0; // events in the current block
        std::uint32_t lastKey = 0;
        bool hasValue = false; // a value exists before the current block
        awf::Bytes current;    // that value: the milestone
        awf::Bytes keyDiffs;
        awf::Bytes values;
        std::uint64_t eventsBefore = 0;
        SimTime lastTime = kNoTime; // time of the last event before the current block
    };

    struct Placed {
        int slot;
        bool own;
        std::uint64_t group;  // small sections: the group they are in
        std::uint64_t offset; // own: in the data area; small: in the group
        std::uint64_t size;   // own: stored blob size; small: section size
    };

    void placeSections(awf::Bytes& data, std::vector<Placed>& placed,
                       std::vector<std::pair<std::uint64_t, std::uint64_t>>& groups);
    void encodeDirectory(std::uint64_t keysSize, const std::vector<Placed>& placed,
                         const std::vector<std::pair<std::uint64_t, std::uint64_t>>& groups,
                         awf::Bytes& raw) const;
    void startKey(const EventKey& key);
    void closeKeyOrder();
    void encodeKeys(awf::Bytes& raw) const;
    void encodeSection(const Slot& s, awf::Bytes& raw) const;
    void resetBlock();

    int m_level;
    std::vector<Slot> m_slots;
    std::vector<int> m_touched;
    std::vector<SimTime> m_keyTimes;
    std::vector<DeltaCycle> m_keyDeltas;
    EventKey m_lastKey;
    std::vector<KeyOrder> m_orders;
    std::vector<int> m_slotsAtKey;
    int m_lastSlotAtKey = -1;
    bool m_keyInOrder = true;
    std::size_t m_rawBytes = 0;
    std::uint64_t m_events = 0;
};

} // namespace evstream
