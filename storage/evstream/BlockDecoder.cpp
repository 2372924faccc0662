// Decoding of event blocks: directory, key table and per-slot sections, each checked against
// the sizes it claims.
#include "storage/evstream/BlockLayout.h"

#include <algorithm>
#include <bit>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

static_assert(std::endian::native == std::endian::little,
              "value packing reads little-endian words");

namespace evstream {

namespace {

constexpr std::uint64_t kLowBits = 0x0101010101010101ull;

std::uint64_t load64(const std::uint8_t* p) {
    std::uint64_t w;
    std::memcpy(&w, p, 8);
    return w; // the packings below are defined on little-endian words
}

// Whether every byte is 2 or 3 (bits), every byte is below 4 (crumbs), every byte is below 16
// (nibbles).
ValuePacking classify(const awf::Bytes& values) {
    std::uint64_t notBits = 0, high = 0;
    std::size_t n = values.size(), i = 0;
#if defined(__SSE2__)
    {
        __m128i notBits16 = _mm_setzero_si128(), high16 = _mm_setzero_si128();
        const __m128i notLow = _mm_set1_epi8(std::int8_t(0xFE)), two = _mm_set1_epi8(2);
        for (; i + 16 <= n; i += 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&values[i]));
            notBits16 = _mm_or_si128(notBits16, _mm_xor_si128(_mm_and_si128(v, notLow), two));
            high16 = _mm_or_si128(high16, v);
        }
        const __m128i both = _mm_unpacklo_epi64(notBits16, high16);
        const __m128i upper = _mm_unpackhi_epi64(notBits16, high16);
        alignas(16) std::uint64_t lanes[2];
        _mm_store_si128(reinterpret_cast<__m128i*>(lanes), _mm_or_si128(both, upper));
        notBits = lanes[0];
        high = lanes[1];
    }
#endif
    for (; i + 8 <= n; i += 8) {
        std::uint64_t w = load64(values.data() + i);
        notBits |= (w & ~kLowBits) ^ (2 * kLowBits);
        high |= w;
    }
    for (; i < n; ++i) {
        notBits |= (values[i] & 0xFE) ^ 2;
        high |= values[i];
    }
    if (n == 0 || (high & (0xF0 * kLowBits)) != 0)
        return ValuePacking::Raw;
    if (notBits == 0)
        return ValuePacking::Bits;
    return (high & (0x0C * kLowBits)) == 0 ? ValuePacking::Crumbs : ValuePacking::Nibbles;
}

#if defined(__SSE2__)
// One bit of each of 16 bytes (bit 7 - shift), first byte lowest.
std::uint16_t lowBits16(const std::uint8_t* p, int shift) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    return std::uint16_t(_mm_movemask_epi8(_mm_slli_epi16(v, shift)));
}
#endif

struct BitExpansion {
    std::uint64_t bytes[256];
    BitExpansion() {
        for (unsigned b = 0; b < 256; ++b) {
            std::uint64_t w = 0;
            for (unsigned i = 0; i < 8; ++i)
                w |= std::uint64_t(2 | ((b >> i) & 1)) << (8 * i);
            bytes[b] = w;
        }
    }
};

} // namespace

void packValues(const awf::Bytes& values, awf::Bytes& out) {
    const ValuePacking packing = classify(values);
    std::size_t n = values.size();
    if (packing == ValuePacking::Bits) {
        // Logic 0 and 1 (ordinals 2 and 3) differ in their low bit only; a multiplication
        // gathers the low bits of eight bytes into one.
        out.push_back(std::uint8_t(ValuePacking::Bits));
        std::size_t start = out.size(), i = 0;
        out.resize(start + (n + 7) / 8, 0);
#if defined(__SSE2__)
        for (; i + 16 <= n; i += 16) {
            const auto bits = lowBits16(values.data() + i, 7);
            std::memcpy(out.data() + start + i / 8, &bits, 2);
        }
#endif
        for (; i + 8 <= n; i += 8)
            out[start + i / 8] = std::uint8_t(
                ((load64(values.data() + i) & kLowBits) * 0x0102040810204080ull) >> 56);
        for (; i < n; ++i)
            out[start + i / 8] |= std::uint8_t((values[i] & 1) << (i % 8));
    } else if (packing == ValuePacking::Crumbs) {
        // Logic values with X or U among 0 and 1 (ordinals below 4): two bit planes, the low
        // bits and then the high bits. The high plane is all ones but where a value is unknown,
        // which compresses to almost nothing; interleaved pairs would not.
        out.push_back(std::uint8_t(ValuePacking::Crumbs));
        const std::size_t start = out.size(), plane = (n + 7) / 8;
        out.resize(start + 2 * plane, 0);
        std::size_t i = 0;
#if defined(__SSE2__)
        for (; i + 16 <= n; i += 16) {
            const auto low = lowBits16(values.data() + i, 7);
            const auto high = lowBits16(values.data() + i, 6);
            std::memcpy(out.data() + start + i / 8, &low, 2);
            std::memcpy(out.data() + start + plane + i / 8, &high, 2);
        }
#endif
        for (; i + 8 <= n; i += 8) {
            const std::uint64_t w = load64(values.data() + i);
            out[start + i / 8] = std::uint8_t(((w & kLowBits) * 0x0102040810204080ull) >> 56);
            out[start + plane + i / 8] =
                std::uint8_t((((w >> 1) & kLowBits) * 0x0102040810204080ull) >> 56);
        }
        for (; i < n; ++i) {
            out[start + i / 8] |= std::uint8_t((values[i] & 1) << (i % 8));
            out[start + plane + i / 8] |= std::uint8_t(((values[i] >> 1) & 1) << (i % 8));
        }
    } else if (packing == ValuePacking::Nibbles) {
        out.push_back(std::uint8_t(ValuePacking::Nibbles));
        std::size_t start = out.size();
        out.resize(start + (n + 1) / 2, 0);
        std::size_t i = 0;
        // Eight bytes below 16 fold into four: pairs, then pairs of pairs, then the two halves.
        for (; i + 8 <= n; i += 8) {
            std::uint64_t w = load64(values.data() + i);
            w = (w | w >> 4) & 0x00FF00FF00FF00FFull;
            w = (w | w >> 8) & 0x0000FFFF0000FFFFull;
            w = (w | w >> 16) & 0xFFFFFFFFull;
            std::uint8_t* o = out.data() + start + i / 2;
            for (int b = 0; b < 4; ++b)
                o[b] = std::uint8_t(w >> (8 * b));
        }
        for (; i < n; ++i)
            out[start + i / 2] |= std::uint8_t(values[i] << (4 * (i % 2)));
    } else {
        out.push_back(std::uint8_t(ValuePacking::Raw));
        out.insert(out.end(), values.begin(), values.end());
    }
}

namespace {

// x ^= a ^ 0x02 over `size` bytes, eight at a time. The 0x02 keeps logic 0 and 1 (ordinals 2 and
// 3) in their byte class: an unchanged bit chains to 2, a changed one to 3, so bit packing holds.
void xorInto(std::uint8_t* x, const std::uint8_t* a, std::size_t size) {
    std::size_t j = 0;
    for (; j + 8 <= size; j += 8) {
        std::uint64_t w = load64(x + j) ^ load64(a + j) ^ (2 * kLowBits);
        std::memcpy(x + j, &w, 8);
    }
    for (; j < size; ++j)
        x[j] = std::uint8_t(x[j] ^ a[j] ^ 2);
}

} // namespace

void chainValues(const std::uint8_t* milestone, std::span<const std::uint8_t> values,
                 std::size_t valueSize, awf::Bytes& out) {
    const std::size_t first = milestone != nullptr ? valueSize : 0;
    out.resize(first + values.size());
    std::uint8_t* o = out.data();
    if (milestone != nullptr && valueSize > 0)
        std::memcpy(o, milestone, valueSize);
    if (values.empty() || valueSize == 0)
        return;
    const std::uint8_t* v = values.data();
    if (milestone != nullptr) {
        for (std::size_t j = 0; j < valueSize; ++j)
            o[valueSize + j] = std::uint8_t(v[j] ^ milestone[j] ^ 2);
    } else {
        std::memcpy(o, v, valueSize);
    }
    // Every later byte against the byte one value before it: one pass, eight bytes at a time.
    o += first + valueSize;
    const std::size_t n = values.size() - valueSize;
    std::size_t j = 0;
    for (; j + 8 <= n; j += 8) {
        const std::uint64_t w = load64(v + valueSize + j) ^ load64(v + j) ^ (2 * kLowBits);
        std::memcpy(o + j, &w, 8);
    }
    for (; j < n; ++j)
        o[j] = std::uint8_t(v[valueSize + j] ^ v[j] ^ 2);
}

void unchainValues(awf::Bytes& values, std::size_t valueSize) {
    std::size_t count = valueSize == 0 ? 0 : values.size() / valueSize;
    std::uint8_t* v = values.data();
    for (std::size_t i = 1; i < count; ++i)
        xorInto(v + i * valueSize, v + (i - 1) * valueSize, valueSize);
}

bool unpackValues(awf::ByteReader& in, std::size_t size, awf::Bytes& out, std::size_t limit) {
    static const BitExpansion expansion;
    auto packing = ValuePacking(in.u8());
    // Only the first `limit` bytes are unpacked; the reader still moves past all `size`.
    const std::size_t total = size;
    size = std::min(size, limit);
    out.resize(size);
    if (packing == ValuePacking::Bits) {
        auto packed = in.bytes((total + 7) / 8);
        if (in.failed())
            return false;
        std::size_t i = 0;
        for (; i + 8 <= size; i += 8)
            std::memcpy(out.data() + i, &expansion.bytes[packed[i / 8]], 8);
        for (; i < size; ++i)
            out[i] = std::uint8_t(2 | ((packed[i / 8] >> (i % 8)) & 1));
    } else if (packing == ValuePacking::Crumbs) {
        const std::size_t plane = (total + 7) / 8;
        auto packed = in.bytes(2 * plane);
        if (in.failed())
            return false;
        std::size_t i = 0;
        for (; i + 8 <= size; i += 8) {
            const std::uint64_t low = expansion.bytes[packed[i / 8]] ^ (2 * kLowBits);
            const std::uint64_t high = expansion.bytes[packed[plane + i / 8]] ^ (2 * kLowBits);
            const std::uint64_t w = low | high << 1;
            std::memcpy(out.data() + i, &w, 8);
        }
        for (; i < size; ++i)
            out[i] = std::uint8_t(((packed[i / 8] >> (i % 8)) & 1) |
                                  ((packed[plane + i / 8] >> (i % 8)) & 1) << 1);
    } else if (packing == ValuePacking::Nibbles) {
        auto packed = in.bytes((total + 1) / 2);
        if (in.failed())
            return false;
        for (std::size_t i = 0; i < size; ++i)
            out[i] = std::uint8_t((packed[i / 2] >> (4 * (i % 2))) & 0x0F);
    } else if (packing == ValuePacking::Raw) {
        auto raw = in.bytes(total);
        if (in.failed())
            return false;
        if (size > 0)
            std::memcpy(out.data(), raw.data(), size);
    } else {
        return false;
    }
    return !in.failed();
}

std::string decodeKeys(std::span<const std::uint8_t> raw, BlockKeys& keys) {
    awf::ByteReader in(raw);
    std::uint64_t count = in.count(1);
    keys.times.resize(count);
    keys.deltas.resize(count);
    SimTime time = in.svarint();
    for (std::uint64_t i = 0; i < count; ++i) {
        std::uint64_t code = in.varint();
        // Steps are unsigned; a sum that wraps past the largest time is damage.
        SimTime next = SimTime(std::uint64_t(time) + (code >> 1));
        if (next < time)
            return "block key table is damaged";
        time = next;
        keys.times[i] = time;
        keys.deltas[i] = (code & 1) ? DeltaCycle(in.svarint()) : 0;
    }
    std::uint64_t orderCount = in.count(2);
    keys.orders.clear();
    std::uint64_t key = 0;
    for (std::uint64_t i = 0; i < orderCount && !in.failed(); ++i) {
        KeyOrder order;
        key += in.varint();
        if (key >= count)
            return "block key table is damaged";
        order.key = std::uint32_t(key);
        std::uint64_t n = in.count(1);
        for (std::uint64_t j = 0; j < n; ++j)
            order.slots.push_back(int(std::min<std::uint64_t>(in.varint(), INT32_MAX)));
        keys.orders.push_back(std::move(order));
    }
    if (in.failed() || !in.atEnd())
        return "block key table is damaged";
    return {};
}

std::string decodeSection(std::span<const std::uint8_t> raw, const DirectoryEntry& entry,
                          const BlockKeys& keys, SlotEvents& ev) {
    awf::ByteReader in(raw);
    ev.valueSize = entry.valueSize;
    const std::uint8_t flags = in.u8();
    if ((flags & ~kSectionMilestone) != 0)
        return "signal section is damaged";
    ev.hasMilestone = (flags & kSectionMilestone) != 0;
    ev.eventsBefore = in.varint();
    const std::uint64_t gap = in.varint();
    const SimTime first = keys.times.empty() ? 0 : keys.times.front();
    ev.previousTime = gap == 0 ? kNoTime : SimTime(std::uint64_t(first) - (gap - 1));
    if (gap != 0 && ev.previousTime > first)
        return "signal section is damaged";
    if (entry.eventCount > in.remaining())
        return "signal section is damaged";
    ev.keys.resize(entry.eventCount);
    ev.times.resize(entry.eventCount);
    std::uint64_t key = 0;
    for (std::uint32_t i = 0; i < entry.eventCount; ++i) {
        key += in.varint();
        if (key >= keys.times.size())
            return "signal section refers past the block's key table";
        ev.keys[i] = std::uint32_t(key);
        ev.times[i] = keys.times[key];
    }
    const std::uint64_t valueCount = std::uint64_t(entry.eventCount) + (ev.hasMilestone ? 1 : 0);
    const std::uint64_t valueBytes = valueCount * entry.valueSize;
    if (in.failed() || valueBytes > 8 * std::uint64_t(in.remaining()) + 8)
        return "signal section is damaged";
    if (!unpackValues(in, std::size_t(valueBytes), ev.values) || !in.atEnd())
        return "signal section values are damaged";
    unchainValues(ev.values, ev.valueSize);
    if (ev.hasMilestone) {
        ev.milestone.assign(ev.values.begin(), ev.values.begin() + entry.valueSize);
        ev.values.erase(ev.values.begin(), ev.values.begin() + entry.valueSize);
    }
    return {};
}

} // namespace evstream
