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
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
// The line parser has builds for processors with AVX2 and with AVX-512BW, chosen when it runs
// (KVcdReaderLines.cpp); every such processor has the bit instructions named with them too.
#define TESSEL_VCD_AVX512 1
#define TESSEL_VCD_AVX512_TARGET "avx512f,avx512bw,bmi,bmi2,popcnt"
#define TESSEL_VCD_AVX2_TARGET "avx2,bmi,bmi2,popcnt"
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

// Bytes readable beyond a complete line for the line parser's 64-byte loads and
// replaceBinary(): the scanner keeps that much slack after its data, the value pool after its
// last value.
constexpr std::size_t kReadAhead = 80;

enum class Replaced { NotBinary, Same, Changed };

// Makes the `n` digits at `digits` (n > 0) the ordinals at `current` when they are all 0 or 1,
// and says whether any of them changed; changes nothing when they are not. Whole sixteen-byte
// steps are stored: the bytes of the last step beyond n are scratch, so `current` needs room up
// to the next multiple of sixteen, and kReadAhead readable bytes beyond that.
// `kWithoutBranches`: up to 64 digits in four steps whatever their number, for mixed widths;
// otherwise sixteen at a time, which costs less where the widths repeat.
template <bool kWithoutBranches = true>
inline Replaced replaceBinary(const char* digits, std::uint8_t* current, std::size_t n) {
#if defined(__SSE2__)
    __m128i low = _mm_set1_epi8(1);
    __m128i zero = _mm_set1_epi8(kZero);
    auto load = [](const void* at) { return _mm_loadu_si128(static_cast<const __m128i*>(at)); };
    auto mask = [](__m128i a, __m128i b) {
        return std::uint64_t{static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(a, b)))};
    };
    auto store = [&](__m128i now, std::size_t at) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(current + at), now);
    };
    __m128i ascii = _mm_set1_epi8('1');
    if (kWithoutBranches && n <= 64) {
        // Four steps whatever n: the steps beyond the last one needed store the last one's
        // place, before it stores its own bytes there last.
        __m128i bytes[4] = {load(digits), load(digits + 16), load(digits + 32), load(digits + 48)};
        std::uint64_t binary = 0;
        std::uint64_t equal = 0;
        __m128i now[4];
        for (int k = 0; k < 4; ++k) {
            binary |= mask(_mm_or_si128(bytes[k], low), ascii) << (16 * k);
            now[k] = _mm_or_si128(_mm_and_si128(bytes[k], low), zero);
            equal |= mask(load(current + 16 * k), now[k]) << (16 * k);
        }
        std::uint64_t used = ~std::uint64_t{0} >> (64 - n);
        if ((~binary & used) != 0)
            return Replaced::NotBinary;
        std::size_t last = (n - 1) / 16;
        auto place = [last](std::size_t k) { // min(k, last), without a branch
            std::size_t before = std::size_t{0} - static_cast<std::size_t>(k < last);
            return (last ^ ((k ^ last) & before)) * 16;
        };
        store(now[3], last * 16);
        store(now[2], place(2));
        store(now[1], place(1));
        store(now[0], 0);
        return (~equal & used) != 0 ? Replaced::Changed : Replaced::Same;
    }
    for (std::size_t i = 0; i < n; i += 16) {
        std::uint64_t binary = mask(_mm_or_si128(load(digits + i), low), ascii);
        std::uint64_t used = n - i >= 16 ? 0xFFFFu : (1u << (n - i)) - 1u;
        if ((~binary & used) != 0)
            return Replaced::NotBinary;
    }
    std::uint64_t differ = 0;
    for (std::size_t i = 0; i < n; i += 16) {
        __m128i now = _mm_or_si128(_mm_and_si128(load(digits + i), low), zero);
        std::uint64_t used = n - i >= 16 ? 0xFFFFu : (1u << (n - i)) - 1u;
        differ |= ~mask(load(current + i), now) & used; // the last step counts up to n only
        store(now, i);
    }
    return differ != 0 ? Replaced::Changed : Replaced::Same;
#else
    for (std::size_t i = 0; i < n; ++i)
        if ((digits[i] | 1) != '1')
            return Replaced::NotBinary;
    bool changed = false;
    for (std::size_t i = 0; i < n; ++i) {
        auto now = static_cast<std::uint8_t>((digits[i] & 1) | kZero);
        changed |= current[i] != now;
        current[i] = now;
    }
    return changed ? Replaced::Changed : Replaced::Same;
#endif
}

#if defined(TESSEL_VCD_AVX512)
// replaceBinary() for 1 to 64 digits in one step: the compare and the store are masked to
// the n digits, so nothing past the value is written and no step depends on n. One digit of
// another state repeated n times (all x, all U) is taken as well: buses not yet driven.
// The new value is also stored at `copy` (64 bytes, those past n scratch), unless it is not
// binary: the writer's log, which then need not load back what was just stored at `current`
// (a masked store does not forward its bytes to later loads).
[[gnu::target(TESSEL_VCD_AVX512_TARGET)]] inline Replaced
replaceBinaryAvx512(const char* digits, std::uint8_t* current, std::size_t n, std::uint8_t* copy) {
    const __mmask64 used = _bzhi_u64(~std::uint64_t{0}, static_cast<unsigned>(n));
    const __m512i low = _mm512_set1_epi8(1);
    // kReadAhead readable bytes follow both the digits and the current value.
    const __m512i bytes = _mm512_loadu_si512(digits);
    const __mmask64 binary =
        _mm512_mask_cmpeq_epi8_mask(used, _mm512_or_si512(bytes, low), _mm512_set1_epi8('1'));
    __m512i now = _mm512_or_si512(_mm512_and_si512(bytes, low), _mm512_set1_epi8(kZero));
    if (binary != used) [[unlikely]] {
        const std::uint8_t state = kLogic[static_cast<unsigned char>(digits[0])];
        const __mmask64 same =
            _mm512_mask_cmpeq_epi8_mask(used, bytes, _mm512_set1_epi8(digits[0]));
        if (state == kBad || same != used)
            return Replaced::NotBinary;
        now = _mm512_set1_epi8(static_cast<char>(state));
    }
    const __mmask64 differ = _mm512_mask_cmpneq_epi8_mask(used, _mm512_loadu_si512(current), now);
    _mm512_mask_storeu_epi8(current, used, now);
    _mm512_storeu_si512(copy, now);
    return differ != 0 ? Replaced::Changed : Replaced::Same;
}

// The same in two 32-byte halves. Without byte-masked stores, the 64 bytes at `current` are
// written whole, those past n with what they held: `current` needs 64 writable bytes, which
// the value pool's kReadAhead bytes after its last value give. Blended stores do not forward
// their bytes to later loads either: the new value goes to `copy` as well.
[[gnu::target(TESSEL_VCD_AVX2_TARGET)]] inline std::uint64_t equalBytesAvx2(const void* at,
                                                                            __m256i value) {
    __m256i bytes = _mm256_loadu_si256(static_cast<const __m256i*>(at));
    return static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(bytes, value)));
}

[[gnu::target(TESSEL_VCD_AVX2_TARGET)]] inline Replaced
replaceBinaryAvx2(const char* digits, std::uint8_t* current, std::size_t n, std::uint8_t* copy) {
    const std::uint64_t used = _bzhi_u64(~std::uint64_t{0}, static_cast<unsigned>(n));
    const __m256i low = _mm256_set1_epi8(1);
    const __m256i ascii = _mm256_set1_epi8('1');
    const __m256i zero = _mm256_set1_epi8(kZero);
    const __m256i bytes0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(digits));
    const __m256i bytes1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(digits + 32));
    const std::uint64_t binary =
        std::uint64_t{static_cast<std::uint32_t>(
            _mm256_movemask_epi8(_mm256_cmpeq_epi8(_mm256_or_si256(bytes0, low), ascii)))} |
        std::uint64_t{static_cast<std::uint32_t>(
            _mm256_movemask_epi8(_mm256_cmpeq_epi8(_mm256_or_si256(bytes1, low), ascii)))}
            << 32;
    __m256i now0 = _mm256_or_si256(_mm256_and_si256(bytes0, low), zero);
    __m256i now1 = _mm256_or_si256(_mm256_and_si256(bytes1, low), zero);
    if ((binary & used) != used) [[unlikely]] {
        const std::uint8_t state = kLogic[static_cast<unsigned char>(digits[0])];
        const __m256i first = _mm256_set1_epi8(digits[0]);
        const std::uint64_t same =
            equalBytesAvx2(digits, first) | equalBytesAvx2(digits + 32, first) << 32;
        if (state == kBad || (same & used) != used)
            return Replaced::NotBinary;
        now0 = now1 = _mm256_set1_epi8(static_cast<char>(state));
    }
    const std::uint64_t equal = equalBytesAvx2(current, now0) | equalBytesAvx2(current + 32, now1)
                                                                    << 32;
    // Byte k of the value is new where k < n: the index compared with n, in each half.
    const __m256i index =
        _mm256_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20,
                         21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31);
    const __m256i count = _mm256_set1_epi8(static_cast<char>(n));
    const __m256i take0 = _mm256_cmpgt_epi8(count, index);
    const __m256i take1 = _mm256_cmpgt_epi8(count, _mm256_add_epi8(index, _mm256_set1_epi8(32)));
    auto* out = reinterpret_cast<__m256i*>(current);
    _mm256_storeu_si256(out, _mm256_blendv_epi8(_mm256_loadu_si256(out), now0, take0));
    _mm256_storeu_si256(out + 1, _mm256_blendv_epi8(_mm256_loadu_si256(out + 1), now1, take1));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(copy), now0);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(copy + 32), now1);
    return (~equal & used) != 0 ? Replaced::Changed : Replaced::Same;
}
#endif

} // namespace vcddigits
