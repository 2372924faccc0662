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

} // namespace vcddigits
