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
        auto step = std::uint64_t(m_keyTimes[i] - time);
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
    if (s.hasValue)
        raw.insert(raw.end(), s.current.begin(), s.current.end());
    raw.insert(raw.end(), s.keyDiffs.begin(), s.keyDiffs.end());
    packValues(s.values, raw);
}

void BlockBuilder::finish(awf::Bytes& chunk) {
    closeKeyOrder();
    awf::Bytes data;   // the data area: keys, small sections, own sections
    awf::Bytes dirRaw; // the directory
    awf::Bytes raw;
    awf::ByteWriter dir(dirRaw);

    encodeKeys(raw);
    std::uint64_t keysOffset = data.size();
    awf::appendBlob(data, raw, m_level);
    std::uint64_t keysSize = data.size() - keysOffset;

    // Sections in slot order; the small ones are gathered into one blob.
    std::sort(m_touched.begin(), m_touched.end());
    awf::Bytes small;
    awf::Bytes ownBlobs;
    struct Placed {
        int slot;
        bool own;
        std::uint64_t offset, size;
    };
    std::vector<Placed> placed;
    for (std::size_t i = 0; i < m_slots.size(); ++i) {
        const Slot& s = m_slots[i];
        if (!s.hasValue && s.count == 0)
            continue;
        raw.clear();
        encodeSection(s, raw);
        if (raw.size() < kSmallSectionSize) {
            placed.push_back({int(i), false, small.size(), raw.size()});
            small.insert(small.end(), raw.begin(), raw.end());
        } else {
            std::uint64_t offset = ownBlobs.size();
            awf::appendBlob(ownBlobs, raw, m_level);
            placed.push_back({int(i), true, offset, ownBlobs.size() - offset});
        }
    }
    std::uint64_t smallOffset = data.size();
    if (!small.empty())
        awf::appendBlob(data, small, m_level);
    std::uint64_t smallSize = data.size() - smallOffset;
    std::uint64_t ownBase = data.size();
    data.insert(data.end(), ownBlobs.begin(), ownBlobs.end());

    dir.varint(keysOffset);
    dir.varint(keysSize);
    dir.varint(smallOffset);
    dir.varint(smallSize);
    dir.varint(placed.size());
    int previous = -1;
    for (const Placed& p : placed) {
        const Slot& s = m_slots[std::size_t(p.slot)];
        dir.varint(std::uint64_t(p.slot - previous - 1));
        previous = p.slot;
        dir.varint(s.valueSize);
        dir.varint(s.count);
        dir.varint(s.eventsBefore);
        dir.svarint(s.lastTime);
        std::uint64_t offset = p.own ? ownBase + p.offset : p.offset;
        dir.varint(offset << 1 | (p.own ? 1 : 0));
        dir.varint(p.size);
    }

    awf::Bytes payload;
    awf::appendBlob(payload, dirRaw, m_level);
    auto directorySize = std::uint32_t(payload.size());
    payload.insert(payload.end(), data.begin(), data.end());

    awf::ChunkHeader header;
    header.tag = awf::kTagBlock;
    header.directorySize = directorySize;
    header.payloadSize = payload.size();
    header.firstTime = m_keyTimes.empty() ? 0 : m_keyTimes.front();
    header.lastTime = m_keyTimes.empty() ? 0 : m_keyTimes.back();
    header.eventCount = m_events;
    header.payloadCrc = awf::crc32(payload.data(), payload.size());
    chunk.resize(awf::kChunkHeaderSize);
    awf::encodeChunkHeader(header, chunk.data());
    chunk.insert(chunk.end(), payload.begin(), payload.end());
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
