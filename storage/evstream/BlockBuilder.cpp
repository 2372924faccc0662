#include "storage/evstream/BlockBuilder.h"

#include <algorithm>

namespace evstream {

void BlockBuilder::startKey(const EventKey& key) {
    closeKeyOrder();
    m_keyTimes.push_back(key.time);
    m_keyDeltas.push_back(key.delta);
    m_lastKey = key;
    m_rawBytes += 2;
}

void BlockBuilder::closeKeyOrder() {
    // Ascending slot order at a key is implied; any other write order is recorded.
    if (!m_keyInOrder && !m_keyTimes.empty())
        m_orders.push_back(KeyOrder{std::uint32_t(m_keyTimes.size() - 1), m_slotsAtKey});
    m_slotsAtKey.clear();
    m_lastSlotAtKey = -1;
    m_keyInOrder = true;
}

void BlockBuilder::encodeKeys(awf::Bytes& raw) const {
    awf::ByteWriter out(raw);
    out.varint(m_keyTimes.size());
    SimTime time = m_keyTimes.empty() ? 0 : m_keyTimes.front();
    out.svarint(time);
    for (std::size_t i = 0; i < m_keyTimes.size(); ++i) {
        std::uint64_t step = std::uint64_t(m_keyTimes[i]) - std::uint64_t(time);
        time = m_keyTimes[i];
        out.varint(step << 1 | (m_keyDeltas[i] != 0 ? 1 : 0));
        if (m_keyDeltas[i] != 0)
            out.svarint(m_keyDeltas[i]);
    }
    out.varint(m_orders.size());
    std::uint32_t key = 0;
    for (const KeyOrder& order : m_orders) {
        out.varint(order.key - key);
        key = order.key;
        out.varint(order.slots.size());
        for (int slot : order.slots)
            out.varint(std::uint64_t(slot));
    }
}

void BlockBuilder::encodeSection(const Slot& s, awf::Bytes& raw) const {
    raw.push_back(s.hasValue ? 1 : 0);
    awf::ByteWriter out(raw);
    out.varint(s.eventsBefore);
    out.svarint(s.lastTime);
    if (s.hasValue)
        raw.insert(raw.end(), s.current.begin(), s.current.end());
    raw.insert(raw.end(), s.keyDiffs.begin(), s.keyDiffs.end());
    packValues(s.values, raw);
}

void BlockBuilder::placeSections(awf::Bytes& data, std::vector<Placed>& placed,
                                 std::vector<std::pair<std::uint64_t, std::uint64_t>>& groups) {
    // Sections in slot order. Small ones are gathered into groups of a few KiB: big enough to
    // compress well, small enough that reading a few neighbouring signals decodes little.
    awf::Bytes group;
    awf::Bytes raw;
    auto closeGroup = [&] {
        if (group.empty())
            return;
        std::uint64_t offset = data.size();
        awf::appendBlob(data, group, m_level);
        groups.emplace_back(offset, data.size() - offset);
        group.clear();
    };
    for (std::size_t i = 0; i < m_slots.size(); ++i) {
        const Slot& s = m_slots[i];
        if (!s.hasValue && s.count == 0)
            continue;
        raw.clear();
        encodeSection(s, raw);
        if (raw.size() < kSmallSectionSize) {
            placed.push_back({int(i), false, groups.size(), group.size(), raw.size()});
            group.insert(group.end(), raw.begin(), raw.end());
            if (group.size() >= kSectionGroupSize)
                closeGroup();
        } else {
            std::uint64_t offset = data.size();
            awf::appendBlob(data, raw, m_level);
            placed.push_back({int(i), true, 0, offset, data.size() - offset});
        }
    }
    closeGroup();
}

void BlockBuilder::encodeDirectory(
    std::uint64_t keysSize, const std::vector<Placed>& placed,
    const std::vector<std::pair<std::uint64_t, std::uint64_t>>& groups, awf::Bytes& raw) const {
    awf::ByteWriter dir(raw);
    dir.varint(0); // the key table opens the data area
    dir.varint(keysSize);
    dir.varint(groups.size());
    for (const auto& [offset, size] : groups) {
        dir.varint(offset);
        dir.varint(size);
    }
    dir.varint(placed.size());
    for (const Placed& p : placed) {
        const Slot& s = m_slots[std::size_t(p.slot)];
        dir.u32(std::uint32_t(p.slot));
        dir.u32(s.valueSize);
        dir.u32(s.count);
        dir.u32(p.own ? 0x80000000u : std::uint32_t(p.group));
        dir.u32(std::uint32_t(p.offset));
        dir.u32(std::uint32_t(p.size));
    }
}

void BlockBuilder::finish(awf::Bytes& chunk) {
    closeKeyOrder();
    std::sort(m_touched.begin(), m_touched.end());
    awf::Bytes data; // the data area: key table, then section groups and own sections
    awf::Bytes raw;
    encodeKeys(raw);
    awf::appendBlob(data, raw, m_level);
    std::uint64_t keysSize = data.size();
    std::vector<Placed> placed;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> groups;
    placeSections(data, placed, groups);
    raw.clear();
    encodeDirectory(keysSize, placed, groups, raw);

    chunk.resize(awf::kChunkHeaderSize);
    awf::appendBlob(chunk, raw, m_level);
    auto directorySize = std::uint32_t(chunk.size() - awf::kChunkHeaderSize);
    chunk.insert(chunk.end(), data.begin(), data.end());

    awf::ChunkHeader header;
    header.tag = awf::kTagBlock;
    header.directorySize = directorySize;
    header.payloadSize = chunk.size() - awf::kChunkHeaderSize;
    header.firstTime = m_keyTimes.empty() ? 0 : m_keyTimes.front();
    header.lastTime = m_keyTimes.empty() ? 0 : m_keyTimes.back();
    header.eventCount = m_events;
    header.payloadCrc = awf::crc32(chunk.data() + awf::kChunkHeaderSize, header.payloadSize);
    awf::encodeChunkHeader(header, chunk.data());
    resetBlock();
}

void BlockBuilder::resetBlock() {
    for (int slot : m_touched) {
        Slot& s = m_slots[std::size_t(slot)];
        s.current.assign(s.values.end() - s.valueSize, s.values.end());
        s.hasValue = true;
        s.eventsBefore += s.count;
        s.lastTime = m_keyTimes[s.lastKey];
        s.count = 0;
        s.keyDiffs.clear();
        s.values.clear();
        // Keep buffers for busy signals, but do not let a once-busy signal hold memory forever.
        if (s.values.capacity() > 65536)
            awf::Bytes().swap(s.values);
        if (s.keyDiffs.capacity() > 65536)
            awf::Bytes().swap(s.keyDiffs);
    }
    m_touched.clear();
    m_keyTimes.clear();
    m_keyDeltas.clear();
    m_orders.clear();
    m_slotsAtKey.clear();
    m_lastSlotAtKey = -1;
    m_keyInOrder = true;
    m_rawBytes = 0;
    m_events = 0;
}

} // namespace evstream
