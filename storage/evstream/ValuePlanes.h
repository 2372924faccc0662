#pragma once

// Logic values as bit planes, for the block encoder: a value of one byte per bit (logic
// ordinals) becomes its low bits and its high bits, each packed one bit per byte. Chaining two
// values (bytewise XOR biased by 0x02, see BlockLayout.h) is then a XOR of their low planes and the
// complement of the XOR of their high planes, 64 bytes of a value at a time, and a section packed
// as bits or as two planes is those words put one after the other at the values' bit widths.

#include "storage/KCpuFeatures.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
// Processors with AVX-512 pack a value of up to 64 bytes in a few instructions; the encoder
// picks that code when the processor it runs on has it.
#define TESSEL_PLANES_AVX512 1
#endif

namespace evstream {

// What packPlanes() found in a value: kNotPlanes when a byte is 4 or more (not U, X, 0 or 1:
// the planes do not hold it), kNotBits when a byte's high bit is clear (not logic 0 or 1).
inline constexpr unsigned kNotBits = 1;
inline constexpr unsigned kNotPlanes = 2;

// Bytes of each plane of a value of `size` bytes, and its 64-bit words.
inline std::size_t planeBytes(std::size_t size) {
    return (size + 7) / 8;
}
inline std::size_t planeWords(std::size_t size) {
    return (size + 63) / 64;
}
// Bytes the packed planes of a value take: the low plane, then the high plane.
inline std::size_t packedPlanesSize(std::size_t size) {
    return 2 * planeBytes(size);
}
// Bytes a packer may write after them (whole-word stores), and a reader read.
inline constexpr std::size_t kPlanesSlack = 8;

// Word `i` of a plane of `size`-bit values, the bits past the value clear.
inline std::uint64_t planeWord(const std::uint8_t* plane, std::size_t i, std::size_t size) {
    std::uint64_t w;
    std::memcpy(&w, plane + 8 * i, 8);
    const std::size_t left = size - 64 * i;
    return left >= 64 ? w : w & ((std::uint64_t(1) << left) - 1);
}

// Appends bits to a byte buffer with room for them, least significant first, a word at a time.
class PlaneWriter {
public:
    explicit PlaneWriter(std::uint8_t* out) : m_out(out) {}
    // Puts the low `n` bits of `bits` (0 to 64; the bits above them clear).
    void put(std::uint64_t bits, unsigned n) {
        m_word |= bits << m_used;
        m_used += n;
        if (m_used >= 64) {
            std::memcpy(m_out, &m_word, 8);
            m_out += 8;
            m_used -= 64;
            // The bits of `bits` that did not fit (none when it started a word).
            m_word = m_used == 0 ? 0 : bits >> (n - m_used);
        }
    }
    // Writes the last incomplete word's bytes, no more.
    void finish() { std::memcpy(m_out, &m_word, (m_used + 7) / 8); }

private:
    std::uint8_t* m_out;
    std::uint64_t m_word = 0;
    unsigned m_used = 0;
};

#if defined(__SSE2__)
// The low and high bits of 16 to 64 bytes: the 16-byte pieces before the last, then the last
// 16 bytes, whose bits overlapping the ones before are the same bits. `any` ORs every byte in.
[[gnu::always_inline]] inline void planeWordBits(const std::uint8_t* value, std::size_t n,
                                                 std::uint64_t& low, std::uint64_t& high,
                                                 __m128i& any) {
    const std::size_t lastAt = n - 16;
    __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(value + lastAt));
    any = _mm_or_si128(any, x);
    low = std::uint64_t(unsigned(_mm_movemask_epi8(_mm_slli_epi16(x, 7)))) << lastAt;
    high = std::uint64_t(unsigned(_mm_movemask_epi8(_mm_slli_epi16(x, 6)))) << lastAt;
    auto piece = [&](std::size_t at) {
        x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(value + at));
        any = _mm_or_si128(any, x);
        low |= std::uint64_t(unsigned(_mm_movemask_epi8(_mm_slli_epi16(x, 7)))) << at;
        high |= std::uint64_t(unsigned(_mm_movemask_epi8(_mm_slli_epi16(x, 6)))) << at;
    };
    switch ((n - 1) / 16) {
    case 3:
        piece(32);
        [[fallthrough]];
    case 2:
        piece(16);
        [[fallthrough]];
    case 1:
        piece(0);
        break;
    default:
        break;
    }
}

inline unsigned planeFlags(__m128i any, std::uint64_t missingHigh) {
    const __m128i wrong = _mm_and_si128(any, _mm_set1_epi8(std::int8_t(0xFC)));
    return (_mm_movemask_epi8(_mm_cmpeq_epi8(wrong, _mm_setzero_si128())) != 0xFFFF ? kNotPlanes
                                                                                    : 0) |
           (missingHigh != 0 ? kNotBits : 0);
}

inline std::uint64_t lowBitsMask(std::size_t n) {
    return n >= 64 ? ~std::uint64_t(0) : (std::uint64_t(1) << n) - 1;
}

// packPlanes() of a value of 16 to 64 bytes (one word per plane), most buses.
[[gnu::always_inline]] inline unsigned packPlanesWord(const std::uint8_t* value, std::size_t size,
                                                      std::uint8_t* out) {
    std::uint64_t low, high;
    __m128i any = _mm_setzero_si128();
    planeWordBits(value, size, low, high, any);
    std::memcpy(out, &low, 8);
    std::memcpy(out + planeBytes(size), &high, 8);
    return planeFlags(any, ~high & lowBitsMask(size));
}
#endif

// Packs `value` (`size` bytes) into `out`: its low plane, then its high plane, each
// planeBytes(size) bytes; up to kPlanesSlack bytes after them may be overwritten. Returns the
// kNot... flags.
inline unsigned packPlanes(const std::uint8_t* value, std::size_t size, std::uint8_t* out) {
#if defined(__SSE2__)
    __m128i any = _mm_setzero_si128();
    std::uint64_t low, high;
    if (size < 16) {
        // A copy padded with logic 0.
        alignas(16) std::uint8_t padded[16];
        std::memset(padded, 2, 16);
        std::memcpy(padded, value, size);
        planeWordBits(padded, 16, low, high, any);
        low &= lowBitsMask(size);
        high &= lowBitsMask(size);
        std::memcpy(out, &low, 8);
        std::memcpy(out + planeBytes(size), &high, 8);
        return planeFlags(any, ~high & lowBitsMask(size));
    }
    // One plane after the other: the low plane's last word store runs into the high plane.
    std::uint64_t missingHigh = 0;
    for (int plane = 0; plane < 2; ++plane) {
        std::uint8_t* o = out + std::size_t(plane) * planeBytes(size);
        for (std::size_t w = 0; w < planeWords(size); ++w) {
            const std::size_t n = std::min<std::size_t>(64, size - 64 * w);
            if (n >= 16) {
                planeWordBits(value + 64 * w, n, low, high, any);
            } else {
                // The 16 bytes ending there: the first of them belong to the word before.
                const __m128i x =
                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(value + 64 * w + n - 16));
                any = _mm_or_si128(any, x);
                low = unsigned(_mm_movemask_epi8(_mm_slli_epi16(x, 7))) >> (16 - n);
                high = unsigned(_mm_movemask_epi8(_mm_slli_epi16(x, 6))) >> (16 - n);
            }
            missingHigh |= ~high & lowBitsMask(n);
            std::memcpy(o + 8 * w, plane == 0 ? &low : &high, 8);
        }
    }
    return planeFlags(any, missingHigh);
#else
    // One plane after the other: the low plane's last word store runs into the high plane.
    unsigned flags = 0;
    for (int plane = 0; plane < 2; ++plane) {
        std::uint8_t* o = out + plane * planeBytes(size);
        for (std::size_t w = 0; w < planeWords(size); ++w) {
            const std::size_t n = std::min<std::size_t>(64, size - 64 * w);
            std::uint64_t bits = 0;
            for (std::size_t k = 0; k < n; ++k) {
                const std::uint8_t b = value[64 * w + k];
                flags |= b >= 4 ? kNotPlanes : 0;
                flags |= (b & 2) == 0 ? kNotBits : 0;
                bits |= std::uint64_t((b >> plane) & 1) << k;
            }
            std::memcpy(o + 8 * w, &bits, 8);
        }
    }
    return flags;
#endif
}

// The bytes of packed planes: U X 0 1 are the ordinals 0 to 3, the high bit and the low bit.
inline void unpackPlanes(const std::uint8_t* planes, std::size_t size, std::uint8_t* value) {
    // Eight bits to eight bytes of 0 or 1 each.
    static constexpr auto spread = [] {
        std::array<std::uint64_t, 256> t{};
        for (unsigned b = 0; b < 256; ++b)
            for (unsigned i = 0; i < 8; ++i)
                t[b] |= std::uint64_t((b >> i) & 1) << (8 * i);
        return t;
    }();
    const std::uint8_t* high = planes + planeBytes(size);
    std::size_t k = 0;
    for (; k + 8 <= size; k += 8) {
        const std::uint64_t w = spread[planes[k / 8]] | spread[high[k / 8]] << 1;
        std::memcpy(value + k, &w, 8);
    }
    for (; k < size; ++k)
        value[k] =
            std::uint8_t(((planes[k / 8] >> (k % 8)) & 1) | ((high[k / 8] >> (k % 8)) & 1) << 1);
}

// packPlanes() as the block encoder's sort calls it for each wide value.
struct PlanePacker {
    [[gnu::always_inline]] static unsigned pack(const std::uint8_t* value, std::size_t size,
                                                std::uint8_t* out) {
#if defined(__SSE2__)
        if (size >= 16 && size <= 64)
            return packPlanesWord(value, size, out);
#endif
        return packPlanes(value, size, out);
    }
};

// Makes hasAvx512() false while it is set, so that tests run the portable packer on processors
// with AVX-512 too (the encoder asks once per block).
inline std::atomic<bool>& planesPortableOnly() {
    static std::atomic<bool> on = false;
    return on;
}

#if defined(TESSEL_PLANES_AVX512)
inline bool hasAvx512() {
    return KCpuFeatures::avx512bw() && !planesPortableOnly().load(std::memory_order_relaxed);
}

// A value of up to 64 bytes in one masked load: the bytes past it are neither read nor packed.
struct PlanePackerAvx512 {
    [[gnu::target("avx512f,avx512bw,bmi2")]] static unsigned
    pack(const std::uint8_t* value, std::size_t size, std::uint8_t* out) {
        if (size > 64)
            return packPlanes(value, size, out);
        const std::uint64_t valid = _bzhi_u64(~std::uint64_t(0), unsigned(size));
        const __m512i x = _mm512_maskz_loadu_epi8(valid, value);
        const std::uint64_t low = _mm512_test_epi8_mask(x, _mm512_set1_epi8(1));
        const std::uint64_t high = _mm512_test_epi8_mask(x, _mm512_set1_epi8(2));
        const std::uint64_t wrong = _mm512_test_epi8_mask(x, _mm512_set1_epi8(std::int8_t(0xFC)));
        std::memcpy(out, &low, 8);
        std::memcpy(out + planeBytes(size), &high, 8);
        return (wrong != 0 ? kNotPlanes : 0) | ((~high & valid) != 0 ? kNotBits : 0);
    }
};
#endif

} // namespace evstream
