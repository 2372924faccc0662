#include "storage/evstream/BlockEncoder.h"

#include <algorithm>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace evstream {

namespace {

using Group = std::pair<std::uint64_t, std::uint64_t>; // offset and stored size in the data area

// out = value ^ previous ^ 0x02 bytewise: one chained value (see chainValues()).
void chainValue(std::uint8_t* out, const std::uint8_t* value, const std::uint8_t* previous,
                std::size_t size) {
    std::size_t j = 0;
#if defined(__SSE2__)
    if (size >= 16) {
        const __m128i bias = _mm_set1_epi8(2);
        auto chain16 = [&](std::size_t at) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(value + at));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(previous + at));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + at),
                             _mm_xor_si128(_mm_xor_si128(a, b), bias));
        };
        for (; j + 16 <= size; j += 16)
            chain16(j);
        if (j < size) // the last 16 bytes again, overlapping: no byte loop for odd widths
            chain16(size - 16);
        return;
    }
#endif
    for (; j + 8 <= size; j += 8) {
        std::uint64_t a, b;
        std::memcpy(&a, value + j, 8);
        std::memcpy(&b, previous + j, 8);
        const std::uint64_t w = a ^ b ^ 0x0202020202020202ull;
        std::memcpy(out + j, &w, 8);
    }
    for (; j < size; ++j)
        out[j] = std::uint8_t(value[j] ^ previous[j] ^ 2);
}

} // namespace

void BlockEncoder::closeKeyOrder(std::uint32_t key) {
    // Ascending slot order at a key is implied; any other write order is recorded.
    if (!m_keyInOrder)
        m_orders.push_back(KeyOrder{key, m_slotsAtKey});
    m_slotsAtKey.clear();
    m_keyInOrder = true;
}

// The write order at each key where it is not ascending slot order.
void BlockEncoder::noteKeyOrders(const BlockContent& c) {
    m_orders.clear();
    m_slotsAtKey.clear();
    m_keyInOrder = true;
    std::uint32_t key = 0;
    int lastSlot = -1;
    for (const BlockContent::Record& r : c.usedRecords()) {
        const auto slot = int(r.slot);
        if (r.key != key) {
            closeKeyOrder(key);
            key = r.key;
            lastSlot = -1;
        }
        if (slot <= lastSlot)
            m_keyInOrder = false;
        lastSlot = slot;
        m_slotsAtKey.push_back(slot);
    }
    if (c.recordCount > 0)
        closeKeyOrder(key);
}

// The sort's pass over the records, with the packing of wide values `Packer` makes.
template <class Packer>
void BlockEncoder::sortRecords(const BlockContent& c, std::uint8_t* keys, std::uint8_t* values,
                               Cursor* cursors) {
    const std::uint32_t* const sizes = c.valueSizes.data();
    const std::uint8_t* value = c.log.get();
    for (const BlockContent::Record& r : c.usedRecords()) {
        const std::uint32_t slot32 = r.slot, key32 = r.key;
        Cursor& cursor = cursors[slot32];
        std::uint32_t step = key32 - cursor.lastKey;
        cursor.lastKey = key32;
        std::uint8_t* k = keys + cursor.keysEnd;
        while (step >= 0x80) {
            *k++ = std::uint8_t(step | 0x80);
            step >>= 7;
        }
        *k++ = std::uint8_t(step);
        cursor.keysEnd = std::uint32_t(k - keys);
        const std::uint32_t size = sizes[slot32];
        if (size == 1) {
            values[cursor.valuesEnd++] = *value;
        } else if (size <= kCopiedValueSize) {
            std::memcpy(values + cursor.valuesEnd, value, size);
            cursor.valuesEnd += size;
        } else {
            cursor.planeFlags |= Packer::pack(value, size, values + cursor.valuesEnd);
            cursor.valuesEnd += std::uint32_t(storedSize(size));
        }
        value += size;
    }
}

#if defined(TESSEL_PLANES_AVX512)
// The same with the wide values packed by AVX-512, every call inlined into this function, whose
// instruction set allows it.
[[gnu::target("avx512f,avx512bw,bmi2"), gnu::flatten]] void
BlockEncoder::sortRecordsAvx512(const BlockContent& c, std::uint8_t* keys, std::uint8_t* values,
                                Cursor* cursors) {
    sortRecords<PlanePackerAvx512>(c, keys, values, cursors);
}
#endif

// A counting sort of the block's log into per-slot stretches: the builder counted each slot's
// events, so one pass copies key steps and values to their slot's stretch. Growing a buffer per
// slot instead cost three cache misses per event on wide designs.
void BlockEncoder::sortEvents(const BlockContent& c) {
    if (m_slots.size() < c.valueSizes.size()) {
        m_slots.resize(c.valueSizes.size());
        m_cursors.resize(c.valueSizes.size());
    }
    m_orders.clear();
    if (c.keepKeyOrder)
        noteKeyOrders(c);
    const std::uint32_t* const sizes = c.valueSizes.data();
    Cursor* const cursors = m_cursors.data();
    m_touched.assign(c.touched.begin(), c.touched.end());

    // A key step takes at most five bytes (a varint of 32 bits).
    std::size_t keyBytes = 0, valueBytes = 0;
    for (int slot : m_touched) {
        Slot& s = m_slots[std::size_t(slot)];
        Cursor& cursor = cursors[slot];
        s.valueSize = sizes[slot];
        s.count = c.counts[std::size_t(slot)];
        s.keysStart = std::uint32_t(keyBytes);
        s.valuesStart = std::uint32_t(valueBytes);
        cursor.lastKey = 0;
        cursor.keysEnd = s.keysStart;
        cursor.valuesEnd = s.valuesStart;
        cursor.planeFlags = 0;
        keyBytes += 5 * std::size_t(s.count);
        valueBytes += std::size_t(s.count) * storedSize(s.valueSize) +
                      (s.valueSize > kCopiedValueSize ? kPlanesSlack : 0);
    }
    if (m_keysCapacity < keyBytes) {
        m_keysCapacity = keyBytes + keyBytes / 4;
        m_keys = std::make_unique_for_overwrite<std::uint8_t[]>(m_keysCapacity);
    }
    if (m_valuesCapacity < valueBytes) {
        m_valuesCapacity = valueBytes + valueBytes / 4;
        m_values = std::make_unique_for_overwrite<std::uint8_t[]>(m_valuesCapacity);
    }

#if defined(TESSEL_PLANES_AVX512)
    if (hasAvx512())
        sortRecordsAvx512(c, m_keys.get(), m_values.get(), cursors);
    else
#endif
        sortRecords<PlanePacker>(c, m_keys.get(), m_values.get(), cursors);
    std::size_t offsets = 0;
    for (int slot : m_touched) {
        Slot& s = m_slots[std::size_t(slot)];
        s.keysEnd = cursors[slot].keysEnd;
        s.lastKey = cursors[slot].lastKey;
        s.planeFlags = cursors[slot].planeFlags;
        // A milestone the planes do not hold makes the section from the log as well, so its
        // offsets are needed (they would be left from an earlier block otherwise).
        if (s.valueSize > kCopiedValueSize && s.hasValue && (s.planeFlags & kNotPlanes) == 0) {
            m_milestonePlanes.resize(packedPlanesSize(s.valueSize) + kPlanesSlack);
            s.planeFlags |=
                PlanePacker::pack(s.current.data(), s.valueSize, m_milestonePlanes.data()) &
                kNotPlanes;
        }
        if ((s.planeFlags & kNotPlanes) != 0) {
            s.offsetsStart = std::uint32_t(offsets);
            offsets += s.count;
        }
    }
    if (offsets > 0)
        noteLogOffsets(c, offsets);
}

// Where the values of the slots whose sections the planes do not hold (a Z or a weak value
// in a bus) lie in the log: one more pass over the records, only in blocks that have such slots.
void BlockEncoder::noteLogOffsets(const BlockContent& c, std::size_t count) {
    m_logOffsets.resize(count);
    m_offsetsEnd.resize(m_slots.size());
    for (int slot : m_touched)
        m_offsetsEnd[std::size_t(slot)] = m_slots[std::size_t(slot)].offsetsStart;
    const std::uint32_t* const sizes = c.valueSizes.data();
    std::uint32_t offset = 0;
    for (const BlockContent::Record& r : c.usedRecords()) {
        if ((m_slots[r.slot].planeFlags & kNotPlanes) != 0)
            m_logOffsets[m_offsetsEnd[r.slot]++] = offset;
        offset += sizes[r.slot];
    }
}

void BlockEncoder::encodeKeys(const BlockContent& c, awf::Bytes& raw) const {
    awf::ByteWriter out(raw);
    out.varint(c.keyTimes.size());
    SimTime time = c.keyTimes.empty() ? 0 : c.keyTimes.front();
    out.svarint(time);
    for (std::size_t i = 0; i < c.keyTimes.size(); ++i) {
        std::uint64_t step = std::uint64_t(c.keyTimes[i]) - std::uint64_t(time);
        time = c.keyTimes[i];
        out.varint(step << 1 | (c.keyDeltas[i] != 0 ? 1 : 0));
        if (c.keyDeltas[i] != 0)
            out.svarint(c.keyDeltas[i]);
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

void BlockEncoder::encodeSection(const Slot& s, SimTime blockStart, const std::uint8_t* log,
                                 awf::Bytes& raw) {
    raw.push_back(s.hasValue ? kSectionMilestone : 0);
    awf::ByteWriter out(raw);
    out.varint(s.eventsBefore);
    // The last earlier event lies at or before the block's start: a small gap, not a time.
    out.varint(s.lastTime == kNoTime ? 0
                                     : std::uint64_t(blockStart) - std::uint64_t(s.lastTime) + 1);
    raw.insert(raw.end(), m_keys.get() + s.keysStart, m_keys.get() + s.keysEnd);
    // The milestone is packed and chained with the values: it is the first one's predecessor.
    const std::uint8_t* milestone = s.hasValue ? s.current.data() : nullptr;
    if (s.valueSize <= kCopiedValueSize) {
        const std::span<const std::uint8_t> values(m_values.get() + s.valuesStart,
                                                   std::size_t(s.count) * s.valueSize);
        chainValues(milestone, values, s.valueSize, m_chained);
    } else {
        if (packPlanesSection(milestone, s, raw))
            return;
        chainInPlace(milestone, s, log);
    }
    packValues(m_chained, raw);
}

// Chains and packs from the planes the sort made: what packValues() makes of chainValues()'s
// output when every value is logic 0 or 1 (bits: the chained high plane is all ones, and is not
// stored) or U, X, 0 or 1 (two planes, for buses now and then unknown). Chaining two values is
// a XOR of their low planes and the complement of the XOR of their high planes. False, with
// `raw` as it was, when a value holds other bytes.
bool BlockEncoder::packPlanesSection(const std::uint8_t* milestone, const Slot& s,
                                     awf::Bytes& raw) {
    const std::size_t size = s.valueSize, words = planeWords(size), bytes = planeBytes(size);
    unsigned flags = s.planeFlags;
    if (milestone != nullptr) {
        m_milestonePlanes.resize(packedPlanesSize(size) + kPlanesSlack);
        flags |= PlanePacker::pack(milestone, size, m_milestonePlanes.data());
    }
    if ((flags & kNotPlanes) != 0)
        return false;
    const bool crumbs = (flags & kNotBits) != 0;
    const std::size_t start = raw.size();
    const std::size_t bits = (std::size_t(s.count) + (milestone != nullptr ? 1 : 0)) * size;
    const std::size_t plane = (bits + 7) / 8;
    raw.resize(start + 1 + (crumbs ? 2 : 1) * plane);
    raw[start] = std::uint8_t(crumbs ? ValuePacking::Crumbs : ValuePacking::Bits);
    PlaneWriter low(raw.data() + start + 1), high(raw.data() + start + 1 + plane);
    const unsigned lastBits = unsigned(size - 64 * (words - 1));
    const std::uint64_t lastMask =
        lastBits == 64 ? ~std::uint64_t(0) : (std::uint64_t(1) << lastBits) - 1;
    // `planes` as they are (the first value) or chained to `previous`.
    auto put = [&](const std::uint8_t* planes, const std::uint8_t* previous) {
        for (std::size_t i = 0; i < words; ++i) {
            const bool last = i + 1 == words;
            const unsigned n = last ? lastBits : 64;
            std::uint64_t l = planeWord(planes, i, size), h = planeWord(planes + bytes, i, size);
            if (previous != nullptr) {
                l ^= planeWord(previous, i, size);
                h = ~(h ^ planeWord(previous + bytes, i, size)) &
                    (last ? lastMask : ~std::uint64_t(0));
            }
            low.put(l, n);
            if (crumbs)
                high.put(h, n);
        }
    };
    const std::uint8_t* previous = nullptr;
    if (milestone != nullptr) {
        put(m_milestonePlanes.data(), nullptr);
        previous = m_milestonePlanes.data();
    }
    const std::size_t stride = storedSize(s.valueSize);
    const std::uint8_t* planes = m_values.get() + s.valuesStart;
    if (words == 1) {
        // Most buses: the previous value's planes stay in registers.
        std::uint64_t l0 = previous != nullptr ? planeWord(previous, 0, size) : 0;
        std::uint64_t h0 = previous != nullptr ? planeWord(previous + bytes, 0, size) : 0;
        std::size_t i = 0;
        if (previous == nullptr && s.count > 0) {
            l0 = planeWord(planes, 0, size);
            h0 = planeWord(planes + bytes, 0, size);
            low.put(l0, lastBits);
            if (crumbs)
                high.put(h0, lastBits);
            i = 1;
            planes += stride;
        }
        for (; i < s.count; ++i, planes += stride) {
            // The bits past the value are masked off where they would count.
            std::uint64_t l, h;
            std::memcpy(&l, planes, 8);
            l &= lastMask;
            low.put(l ^ l0, lastBits);
            l0 = l;
            if (crumbs) {
                std::memcpy(&h, planes + bytes, 8);
                high.put(~(h ^ h0) & lastMask, lastBits);
                h0 = h;
            }
        }
    } else {
        for (std::size_t i = 0; i < s.count; ++i, planes += stride) {
            put(planes, previous);
            previous = planes;
        }
    }
    low.finish();
    if (crumbs)
        high.finish();
    return true;
}

const std::uint8_t* BlockEncoder::valueInLog(const Slot& s, std::size_t i,
                                             const std::uint8_t* log) const {
    return log + m_logOffsets[s.offsetsStart + i];
}

// chainValues() over values read where the log holds them.
void BlockEncoder::chainInPlace(const std::uint8_t* milestone, const Slot& s,
                                const std::uint8_t* log) {
    const std::size_t size = s.valueSize;
    const std::size_t first = milestone != nullptr ? size : 0;
    m_chained.resize(first + std::size_t(s.count) * size);
    std::uint8_t* o = m_chained.data();
    if (milestone != nullptr)
        std::memcpy(o, milestone, size);
    const std::uint8_t* previous = milestone;
    for (std::size_t i = 0; i < s.count; ++i, o += size) {
        const std::uint8_t* v = valueInLog(s, i, log);
        if (previous == nullptr)
            std::memcpy(o + first, v, size);
        else
            chainValue(o + first, v, previous, size);
        previous = v;
    }
}

void BlockEncoder::encode(const BlockContent& c, awf::Bytes& chunk) {
    sortEvents(c);
    // The data area: key table, then section groups and own sections. The buffers are kept from
    // block to block.
    awf::Bytes& data = m_data;
    awf::Bytes& raw = m_raw;
    awf::Bytes& group = m_group;
    data.clear();
    raw.clear();
    group.clear();
    encodeKeys(c, raw);
    awf::appendBlob(data, raw, m_level);
    std::uint64_t keysSize = data.size();

    // Sections in slot order. Small ones are gathered into groups of a few KiB: big enough to
    // compress well, small enough that reading a few neighbouring signals decodes little.
    std::vector<DirectoryPlacement> placed;
    std::vector<Group> groups;
    std::vector<std::uint32_t> valueSizes, counts;
    auto closeGroup = [&] {
        if (group.empty())
            return;
        std::uint64_t offset = data.size();
        awf::appendBlob(data, group, m_level);
        groups.emplace_back(offset, data.size() - offset);
        group.clear();
    };
    std::size_t slotCount = std::min(m_slots.size(), c.valueSizes.size());
    for (std::size_t i = 0; i < slotCount; ++i) {
        const Slot& s = m_slots[i];
        if (!s.hasValue && s.count == 0)
            continue;
        // Encoded straight after the group's sections; a large one moves to a blob of its own.
        std::size_t start = group.size();
        encodeSection(s, c.keyTimes.empty() ? 0 : c.keyTimes.front(), c.log.get(), group);
        std::size_t size = group.size() - start;
        valueSizes.push_back(s.valueSize);
        counts.push_back(s.count);
        if (size < kSmallSectionSize) {
            placed.push_back({int(i), false, groups.size(), start, size});
            if (group.size() >= kSectionGroupSize)
                closeGroup();
        } else {
            std::uint64_t offset = data.size();
            awf::appendBlob(data, std::span(group.data() + start, size), m_level);
            group.resize(start);
            placed.push_back({int(i), true, 0, offset, data.size() - offset});
        }
    }
    closeGroup();
    raw.clear();
    encodeDirectory(keysSize, groups, placed, valueSizes, counts, raw);

    chunk.resize(awf::kChunkHeaderSize);
    // Stored as it is: the first read of a block then decodes nothing to find a signal, and the
    // bit-packed records are smaller than the fixed-width ones were compressed.
    awf::appendBlob(chunk, raw, awf::kStoreOnly);
    auto directorySize = std::uint32_t(chunk.size() - awf::kChunkHeaderSize);
    chunk.insert(chunk.end(), data.begin(), data.end());

    awf::ChunkHeader header;
    header.tag = awf::kTagBlock;
    header.directorySize = directorySize;
    header.payloadSize = chunk.size() - awf::kChunkHeaderSize;
    header.firstTime = c.keyTimes.empty() ? 0 : c.keyTimes.front();
    header.lastTime = c.keyTimes.empty() ? 0 : c.keyTimes.back();
    header.eventCount = c.events;
    header.payloadCrc = awf::crc32(chunk.data() + awf::kChunkHeaderSize, header.payloadSize);
    awf::encodeChunkHeader(header, chunk.data());
    endBlock(c);
}

void BlockEncoder::endBlock(const BlockContent& c) {
    for (int slot : m_touched) {
        Slot& s = m_slots[std::size_t(slot)];
        const std::uint8_t* last =
            m_values.get() + s.valuesStart + std::size_t(s.count - 1) * storedSize(s.valueSize);
        if (s.valueSize <= kCopiedValueSize) {
            s.current.assign(last, last + s.valueSize);
        } else if ((s.planeFlags & kNotPlanes) != 0) {
            last = valueInLog(s, s.count - 1, c.log.get());
            s.current.assign(last, last + s.valueSize);
        } else {
            s.current.resize(s.valueSize);
            unpackPlanes(last, s.valueSize, s.current.data());
        }
        s.hasValue = true;
        s.planeFlags = 0; // a block without its events has only the milestone's
        s.eventsBefore += s.count;
        s.lastTime = c.keyTimes[s.lastKey];
        s.count = 0;
        s.keysStart = s.keysEnd = s.valuesStart = 0;
        m_cursors[std::size_t(slot)] = Cursor{};
    }
    m_touched.clear();
}

} // namespace evstream
