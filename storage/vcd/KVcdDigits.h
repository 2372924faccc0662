#pragma once

// The characters of VCD values as std_logic ordinals (U X 0 1 Z W L H - = 0..8), shared by the
// importer's two parsing paths.

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vcddigits {

constexpr std::uint8_t kBad = 0xFF;
constexpr int kZero = 2;
constexpr int kOne = 3;

// VCD value characters (either case) to std_logic ordinals U X 0 1 Z W L H - = 0..8.
constexpr std::array<std::uint8_t, 256> makeLogicTable() {
    std::array<std::uint8_t, 256> table{};
    for (auto& entry : table)
        entry = kBad;
    const char* upper = "UX01ZWLH-";
    const char* lower = "ux01zwlh-";
    for (std::uint8_t i = 0; i < 9; ++i) {
        table[static_cast<unsigned char>(upper[i])] = i;
        table[static_cast<unsigned char>(lower[i])] = i;
    }
    return table;
}
constexpr std::array<std::uint8_t, 256> kLogic = makeLogicTable();

// What pads a value given with fewer digits than the variable's width: 0 for 1 (and L for H),
// the digit itself for x, z and the others.
inline std::uint8_t extensionOf(std::uint8_t first) {
    if (first == kOne)
        return kZero;
    if (first == 7) // H
        return 6;   // L
    return first;
}

// Digits converted per step by convertBinary(); the scratch value has that much room beyond the
// widest variable, and the scanner at least that many readable bytes beyond its lines.
constexpr std::size_t kBinaryStep = 16;

// Converts the next kBinaryStep characters at `digits` to ordinals at `out` and returns how many
// of them, from the first, are 0 or 1: the bytes after those are not to be used.
inline std::size_t convertBinary(const char* digits, std::uint8_t* out) {
#if defined(__SSE2__)
    __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(digits));
    __m128i low = _mm_set1_epi8(1);
    __m128i binary = _mm_cmpeq_epi8(_mm_or_si128(bytes, low), _mm_set1_epi8('1'));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                     _mm_or_si128(_mm_and_si128(bytes, low), _mm_set1_epi8(kZero)));
    auto other = static_cast<unsigned>(~_mm_movemask_epi8(binary)) & 0xFFFFu;
    return other == 0 ? kBinaryStep : static_cast<std::size_t>(__builtin_ctz(other));
#else
    constexpr std::uint64_t kOnes = 0x0101010101010101ull;
    for (std::size_t i = 0; i < kBinaryStep; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, digits + i, 8);
        std::uint64_t converted = (word & kOnes) | (kOnes * kZero);
        std::memcpy(out + i, &converted, 8);
        // Bytes other than '0' and '1' keep a bit in 0x31 ^ (word | 0x01): flag each such byte.
        std::uint64_t other = (word | kOnes) ^ (kOnes * '1');
        other = ((other & ~(kOnes * 0x80)) + ~(kOnes * 0x80)) | other;
        other &= kOnes * 0x80;
        if (other != 0)
            return i + static_cast<std::size_t>(__builtin_ctzll(other) >> 3);
    }
    return kBinaryStep;
#endif
}

// Bytes readable beyond a complete line for binaryDigits() and replaceBinary(): the scanner
// keeps that much slack after its data, the value pool after its last value.
constexpr std::size_t kReadAhead = 96;

#if defined(__SSE2__)
// One bit per character of the sixteen at `at` that is 0 or 1.
inline unsigned binaryMask(const char* at) {
    __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    __m128i binary = _mm_cmpeq_epi8(_mm_or_si128(bytes, _mm_set1_epi8(1)), _mm_set1_epi8('1'));
    return static_cast<unsigned>(_mm_movemask_epi8(binary));
}
#else
inline unsigned binaryMask(const char* at) {
    unsigned mask = 0;
    for (int i = 0; i < 16; ++i)
        mask |= static_cast<unsigned>((at[i] | 1) == '1') << i;
    return mask;
}
#endif

// How many characters at `digits` are 0 or 1. The first 80 are looked at in one step without a
// branch on their count, so that bus values of mixed widths up to 64 digits do not upset the
// branch predictor; longer runs go on sixteen at a time.
inline std::size_t binaryDigits(const char* digits) {
    std::uint64_t low = binaryMask(digits) | std::uint64_t{binaryMask(digits + 16)} << 16 |
                        std::uint64_t{binaryMask(digits + 32)} << 32 |
                        std::uint64_t{binaryMask(digits + 48)} << 48;
    std::uint64_t other = ~low;
    std::uint64_t otherHigh = (~binaryMask(digits + 64) & 0xFFFFu) | 0x10000u;
    // Arithmetic rather than a condition, which the compiler would make a branch.
    std::uint64_t allLow = std::uint64_t{0} - static_cast<std::uint64_t>(other == 0);
    std::size_t n =
        (allLow & 64) + static_cast<std::size_t>(__builtin_ctzll(other | (otherHigh & allLow)));
    if (n == 80) [[unlikely]] {
        for (unsigned mask; (mask = binaryMask(digits + n)) == 0xFFFFu;)
            n += 16;
        n += static_cast<std::size_t>(__builtin_ctz(~binaryMask(digits + n)));
    }
    return n;
}

// Makes the `n` binary digits at `digits` (all 0 or 1, n > 0) the ordinals at `current` and
// says whether any of them changed. Whole sixteen-byte steps are stored: the bytes of the last
// step beyond n are scratch, so `current` needs room up to the next multiple of sixteen, and
// kReadAhead readable bytes beyond that.
inline bool replaceBinary(const char* digits, std::uint8_t* current, std::size_t n) {
#if defined(__SSE2__)
    __m128i low = _mm_set1_epi8(1);
    __m128i zero = _mm_set1_epi8(kZero);
    auto convert = [&](std::size_t at) {
        __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(digits + at));
        return _mm_or_si128(_mm_and_si128(bytes, low), zero);
    };
    auto same = [&](__m128i now, std::size_t at) {
        __m128i was = _mm_loadu_si128(reinterpret_cast<const __m128i*>(current + at));
        return std::uint64_t{static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(was, now)))};
    };
    auto store = [&](__m128i now, std::size_t at) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(current + at), now);
    };
    if (n <= 64) {
        // Four steps whatever n: the steps beyond the last one needed store the last one's
        // place, before it stores its own bytes there last.
        __m128i now[4] = {convert(0), convert(16), convert(32), convert(48)};
        std::uint64_t equal = same(now[0], 0) | same(now[1], 16) << 16 | same(now[2], 32) << 32 |
                              same(now[3], 48) << 48;
        std::size_t last = (n - 1) / 16;
        auto place = [last](std::size_t k) { // min(k, last), without a branch
            std::size_t before = std::size_t{0} - static_cast<std::size_t>(k < last);
            return (last ^ ((k ^ last) & before)) * 16;
        };
        store(now[3], last * 16);
        store(now[2], place(2));
        store(now[1], place(1));
        store(now[0], 0);
        std::uint64_t used = ~std::uint64_t{0} >> (64 - n);
        return (~equal & used) != 0;
    }
    std::uint64_t differ = 0;
    std::size_t i = 0;
    for (; i + 16 < n; i += 16) {
        __m128i now = convert(i);
        differ |= ~same(now, i) & 0xFFFFu;
        store(now, i);
    }
    __m128i now = convert(i);
    differ |= ~same(now, i) & ((1u << (n - i)) - 1u); // the last step counts up to n only
    store(now, i);
    return differ != 0;
#else
    bool changed = false;
    for (std::size_t i = 0; i < n; ++i) {
        auto now = static_cast<std::uint8_t>((digits[i] & 1) | kZero);
        changed |= current[i] != now;
        current[i] = now;
    }
    return changed;
#endif
}

} // namespace vcddigits
