// Reading one value of a block without decoding it: the key table walked only up to the time
// asked for, and one slot's value taken from its packed section.
//
// A value in force at event k is the XOR of the first k+1 chained values, biased by 0x02 when k is
// odd (see BlockLayout.h). Packing maps bytes to bits independently of one another, so that XOR
// can be taken over the packed rows directly: a bit-packed 64-bit vector costs one word per event
// instead of unpacking and unchaining 64 bytes, and a single bit costs the parity of a prefix.
#include "storage/evstream/BlockLayout.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <memory>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace evstream {

namespace {

constexpr std::uint64_t kLowBits = 0x0101010101010101ull;

// Reads a varint at `p`; false when the bytes end first or it is longer than 64 bits.
bool readVarint(const std::uint8_t*& p, const std::uint8_t* end, std::uint64_t& value) {
    if (p < end && *p < 0x80) {
        value = *p++;
        return true;
    }
    value = 0;
    for (unsigned shift = 0; p < end && shift < 64; shift += 7) {
        const std::uint8_t byte = *p++;
        value |= std::uint64_t(byte & 0x7F) << shift;
        if ((byte & 0x80) == 0)
            return true;
    }
    return false;
}

// Moves past `n` varints by counting their last bytes, eight at a time; null when the bytes end
// first.
const std::uint8_t* skipVarints(const std::uint8_t* p, const std::uint8_t* end, std::uint64_t n) {
    if (n == 0)
        return p;
    while (end - p >= 8) {
        std::uint64_t w;
        std::memcpy(&w, p, 8);
        std::uint64_t stops = ~w & (0x80 * kLowBits);
        // The number of last bytes: a sum of the bytes' flags, without a popcount instruction
        // (not in the baseline instruction set).
        const std::uint64_t c = ((stops >> 7) * kLowBits) >> 56;
        if (c < n) {
            n -= c;
            p += 8;
            continue;
        }
        for (; n > 1; --n)
            stops &= stops - 1;
        return p + std::countr_zero(stops) / 8 + 1;
    }
    for (; p < end; ++p)
        if (*p < 0x80 && --n == 0)
            return p + 1;
    return nullptr;
}

// The sum of eight bytes below 0x80.
std::uint64_t stepSum(std::uint64_t w) {
#if defined(__SSE2__)
    return std::uint64_t(
        _mm_cvtsi128_si32(_mm_sad_epu8(_mm_cvtsi64_si128(std::int64_t(w)), _mm_setzero_si128())));
#else
    w = (w & 0x00FF00FF00FF00FFull) + ((w >> 8) & 0x00FF00FF00FF00FFull);
    return (w * 0x0001000100010001ull) >> 48;
#endif
}

// Up to eight bytes from `at`, the bytes past `size` read as zero.
std::uint64_t loadWord(const std::uint8_t* base, std::size_t size, std::size_t at) {
    std::uint64_t w = 0;
    if (at + 8 <= size)
        std::memcpy(&w, base + at, 8);
    else if (at < size)
        std::memcpy(&w, base + at, size - at);
    return w;
}

// The XOR of the first `rows` rows of `rowBits` bits each of the bit stream at `base`, least
// significant bit first, into `acc` ((rowBits + 63) / 64 words, zero on entry). The caller has
// checked that the rows lie within `size` bytes.
void xorRows(const std::uint8_t* base, std::size_t size, std::uint64_t rowBits, std::uint64_t rows,
             std::uint64_t* acc) {
    const std::uint64_t bits = rows * rowBits;
    if (64 % rowBits == 0) {
        // Rows never straddle a word: XOR the words, then fold them down to one row.
        std::uint64_t x = 0;
        const std::size_t words = std::size_t(bits / 64);
        for (std::size_t w = 0; w < words; ++w) {
            std::uint64_t v;
            std::memcpy(&v, base + 8 * w, 8);
            x ^= v;
        }
        if (const unsigned tail = unsigned(bits % 64); tail != 0)
            x ^= loadWord(base, size, 8 * words) & ((std::uint64_t(1) << tail) - 1);
        for (std::uint64_t width = 64; width > rowBits; width /= 2)
            x ^= x >> (width / 2);
        acc[0] = rowBits == 64 ? x : x & ((std::uint64_t(1) << rowBits) - 1);
        return;
    }
    if (rowBits % 8 == 0) {
        const std::size_t rowBytes = std::size_t(rowBits / 8);
        auto* out = reinterpret_cast<std::uint8_t*>(acc);
        for (std::uint64_t r = 0; r < rows; ++r) {
            const std::uint8_t* row = base + r * rowBytes;
            std::size_t j = 0;
            for (; j + 8 <= rowBytes; j += 8) {
                std::uint64_t a, v;
                std::memcpy(&a, out + j, 8);
                std::memcpy(&v, row + j, 8);
                a ^= v;
                std::memcpy(out + j, &a, 8);
            }
            for (; j < rowBytes; ++j)
                out[j] ^= row[j];
        }
        return;
    }
    // Rows at any bit offset: 32 bits at a time, each read with one word load.
    for (std::uint64_t r = 0; r < rows; ++r) {
        const std::uint64_t start = r * rowBits;
        for (std::uint64_t c = 0; c < rowBits; c += 32) {
            const std::uint64_t bit = start + c;
            const unsigned width = unsigned(std::min<std::uint64_t>(32, rowBits - c));
            const std::uint64_t v = (loadWord(base, size, std::size_t(bit / 8)) >> (bit % 8)) &
                                    ((std::uint64_t(1) << width) - 1);
            acc[c / 64] ^= v << (c % 64);
        }
    }
}

bool bitAt(const std::uint64_t* acc, std::size_t i) {
    return ((acc[i / 64] >> (i % 64)) & 1) != 0;
}

} // namespace

std::string keysAtOrBefore(std::span<const std::uint8_t> raw, SimTime time, KeyBound& bound) {
    const std::uint8_t* p = raw.data();
    const std::uint8_t* end = p + raw.size();
    std::uint64_t count = 0, first = 0;
    if (!readVarint(p, end, count) || count > raw.size() || !readVarint(p, end, first))
        return "block key table is damaged";
    bound.count = count;
    bound.firstTime = awf::unzigzag(first);
    SimTime t = bound.firstTime;
    for (std::uint64_t i = 0; i < count; ++i) {
        std::uint64_t code = 0, delta = 0;
        if (!readVarint(p, end, code))
            return "block key table is damaged";
        const SimTime next = SimTime(std::uint64_t(t) + (code >> 1));
        if (next < t)
            return "block key table is damaged";
        t = next;
        if (t > time) {
            bound.atOrBefore = i;
            return {};
        }
        if ((code & 1) != 0 && !readVarint(p, end, delta))
            return "block key table is damaged";
    }
    bound.atOrBefore = count;
    return {};
}

std::string sectionValueAt(std::span<const std::uint8_t> raw, const DirectoryEntry& entry,
                           const KeyBound& keys, awf::Bytes& value, bool& found) {
    found = false;
    const std::uint8_t* p = raw.data();
    const std::uint8_t* end = p + raw.size();
    if (p == end || (*p & ~kSectionMilestone) != 0)
        return "signal section is damaged";
    const bool hasMilestone = (*p++ & kSectionMilestone) != 0;
    std::uint64_t ignored = 0;
    if (!readVarint(p, end, ignored) || !readVarint(p, end, ignored) || // before, previous gap
        entry.eventCount > std::uint64_t(end - p))
        return "signal section is damaged";
    // Events at or before the time: keys ascend, so the first later one ends them and the key
    // steps after it are only skipped.
    std::uint64_t key = 0, upTo = 0;
    // Eight one-byte steps at a time while all of them stay before the bound.
    while (entry.eventCount - upTo >= 8 && end - p >= 8) {
        std::uint64_t w;
        std::memcpy(&w, p, 8);
        if ((w & (0x80 * kLowBits)) != 0)
            break;
        const std::uint64_t sum = stepSum(w);
        if (key + sum >= keys.atOrBefore)
            break;
        key += sum;
        upTo += 8;
        p += 8;
    }
    for (; upTo < entry.eventCount; ++upTo) {
        std::uint64_t step = 0;
        if (!readVarint(p, end, step))
            return "signal section is damaged";
        key += step;
        if (key >= keys.count || key < step)
            return "signal section refers past the block's key table";
        if (key >= keys.atOrBefore) {
            p = skipVarints(p, end, entry.eventCount - upTo - 1);
            if (p == nullptr)
                return "signal section is damaged";
            break;
        }
    }
    const std::uint64_t valueSize = entry.valueSize;
    if (valueSize == 0)
        return "signal section is damaged";
    const std::uint64_t total =
        (std::uint64_t(entry.eventCount) + (hasMilestone ? 1 : 0)) * valueSize;
    if (p == end || total > 8 * std::uint64_t(end - p) + 8)
        return "signal section is damaged";
    const auto packing = ValuePacking(*p++);
    const std::uint64_t packedSize = packing == ValuePacking::Bits      ? (total + 7) / 8
                                     : packing == ValuePacking::Crumbs  ? 2 * ((total + 7) / 8)
                                     : packing == ValuePacking::Nibbles ? (total + 1) / 2
                                     : packing == ValuePacking::Raw     ? total
                                                                        : UINT64_MAX;
    if (packedSize != std::uint64_t(end - p))
        return "signal section values are damaged";
    const std::uint64_t rows = upTo + (hasMilestone ? 1 : 0);
    if (rows == 0)
        return {};

    const std::uint64_t rowBits = packing == ValuePacking::Nibbles ? 4 * valueSize
                                  : packing == ValuePacking::Raw   ? 8 * valueSize
                                                                   : valueSize;
    const std::size_t words = std::size_t((rowBits + 63) / 64);
    // Most values fit in a few words; the rest (long records) get them from the heap.
    // Only the words used are cleared: clearing the whole array cost more than the XOR of a
    // single bit's rows.
    std::array<std::uint64_t, 16> local;
    std::unique_ptr<std::uint64_t[]> heap;
    std::uint64_t* acc = local.data();
    if (2 * words > local.size()) {
        heap = std::make_unique_for_overwrite<std::uint64_t[]>(2 * words);
        acc = heap.get();
    }
    std::fill_n(acc, 2 * words, 0);
    const std::size_t size = std::size_t(packedSize);
    xorRows(p, packing == ValuePacking::Crumbs ? size / 2 : size, rowBits, rows, acc);
    value.resize(std::size_t(valueSize));
    // Every chaining step after the first value added the 0x02 bias once.
    const std::uint8_t bias = (rows - 1) % 2 != 0 ? 0x02 : 0x00;
    if (packing == ValuePacking::Bits) {
        // Bit-packed bytes are 2 or 3, and the biases cancel out: the value is 2 | bit.
        for (std::size_t i = 0; i < value.size(); ++i)
            value[i] = std::uint8_t(2 | (bitAt(acc, i) ? 1 : 0));
    } else if (packing == ValuePacking::Crumbs) {
        const std::size_t plane = size / 2;
        xorRows(p + plane, plane, rowBits, rows, acc + words);
        for (std::size_t i = 0; i < value.size(); ++i)
            value[i] =
                std::uint8_t(((bitAt(acc, i) ? 1 : 0) | (bitAt(acc + words, i) ? 2 : 0)) ^ bias);
    } else if (packing == ValuePacking::Nibbles) {
        for (std::size_t i = 0; i < value.size(); ++i)
            value[i] = std::uint8_t(((acc[i / 16] >> (4 * (i % 16))) & 0x0F) ^ bias);
    } else {
        std::memcpy(value.data(), acc, value.size());
        for (std::uint8_t& b : value)
            b ^= bias;
    }
    found = true;
    return {};
}

} // namespace evstream
