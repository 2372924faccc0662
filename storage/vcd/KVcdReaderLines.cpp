// The line parser of the VCD importer: the value changes of complete lines, taken straight
// from the scanner's buffer. The usual lines hold one record each ("b0101 CODE", "1CODE",
// "#123"): their ends are found 64 bytes at a time first, so that each line is parsed on its
// own and the processor can overlap several, without one line's length holding up the next.
// Other lines go record by record; what neither takes goes through the token path.

#include "storage/KCpuFeatures.h"
#include "storage/evstream/FileStreamWrite.h"
#include "storage/evstream/IEventsStream.h"
#include "storage/vcd/KVcdDigits.h"
#include "storage/vcd/KVcdReader.h"
#include "storage/vcd/KVcdScanner.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

using namespace vcddigits;

namespace {

// Bytes whose line ends are found in one go: a line parser that stops early wastes at most
// this much of the search.
constexpr std::size_t kWindow = 4096;

// One bit per line break among the 64 bytes at `at`.
std::uint64_t lineBreaks(const char* at) {
#if defined(__SSE2__)
    __m128i newline = _mm_set1_epi8('\n');
    auto breaks = [&](int k) -> std::uint64_t {
        __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 16 * k));
        return static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, newline)));
    };
    return breaks(0) | breaks(1) << 16 | breaks(2) << 32 | breaks(3) << 48;
#else
    std::uint64_t mask = 0;
    for (int i = 0; i < 64; ++i)
        mask |= std::uint64_t{at[i] == '\n'} << i;
    return mask;
#endif
}

#if defined(TESSEL_VCD_AVX512)
// lineBreaks() of the first `left` bytes only.
[[gnu::target(TESSEL_VCD_AVX512_TARGET)]] inline std::uint64_t lineBreaksAvx512(const char* at,
                                                                                std::size_t left) {
    std::uint64_t mask = _mm512_cmpeq_epi8_mask(_mm512_loadu_si512(at), _mm512_set1_epi8('\n'));
    return _bzhi_u64(mask, static_cast<unsigned>(std::min<std::size_t>(left, 64)));
}

[[gnu::target(TESSEL_VCD_AVX2_TARGET)]] inline std::uint64_t lineBreaksAvx2(const char* at,
                                                                            std::size_t left) {
    __m256i newline = _mm256_set1_epi8('\n');
    std::uint64_t mask = equalBytesAvx2(at, newline) | equalBytesAvx2(at + 32, newline) << 32;
    return _bzhi_u64(mask, static_cast<unsigned>(std::min<std::size_t>(left, 64)));
}

// findLineEnds() for processors with AVX-512 VBMI2: the offsets of a 64-byte step's line breaks
// are compressed out of a table of offsets in one step and stored sixteen at a time; `out`
// needs room for 64 more than can be found.
[[gnu::target(TESSEL_VCD_AVX512_TARGET ",avx512vbmi2"), gnu::noinline]] std::size_t
findLineEndsVbmi2(const char* from, const char* to, std::uint32_t* out) {
    alignas(64) static constexpr std::uint8_t kOffsets[64] = {
        0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21,
        22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41, 42, 43,
        44, 45, 46, 47, 48, 49, 50, 51, 52, 53, 54, 55, 56, 57, 58, 59, 60, 61, 62, 63};
    const __m512i offsets = _mm512_load_si512(kOffsets);
    std::size_t count = 0;
    for (std::size_t at = 0; from + at < to; at += 64) {
        const std::uint64_t mask =
            lineBreaksAvx512(from + at, static_cast<std::size_t>(to - (from + at)));
        alignas(64) std::uint8_t found[64];
        _mm512_store_si512(found, _mm512_maskz_compress_epi8(mask, offsets));
        const __m512i step = _mm512_set1_epi32(static_cast<int>(at));
        const auto n = static_cast<std::size_t>(__builtin_popcountll(mask));
        // Usually once: more than sixteen lines in 64 bytes are short scalar records only.
        std::size_t k = 0;
        do {
            const __m128i sixteen = _mm_load_si128(reinterpret_cast<const __m128i*>(found + k));
            _mm512_storeu_si512(
                out + count + k,
                _mm512_add_epi32(_mm512_maskz_cvtepu8_epi32(0xFFFF, sixteen), step));
            k += 16;
        } while (k < n);
        count += n;
    }
    return count;
}
#endif

// The builtin is a library call on the baseline x86-64 target.
std::size_t countBits(std::uint64_t x) {
    x -= (x >> 1) & 0x5555555555555555ull;
    x = (x & 0x3333333333333333ull) + ((x >> 2) & 0x3333333333333333ull);
    x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0Full;
    return static_cast<std::size_t>((x * 0x0101010101010101ull) >> 56);
}

// Writes the offsets from `from` of the line breaks in [from, to) to `out` and returns how many.
// Eight are written per 64 bytes whether there are that many or not, so that the number of
// lines (which varies) costs no branch; `out` needs room for 64 more than can be found (eight
// here, findLineEndsVbmi2() stores sixteen at a time).
// Narrowed only in tests, which compare the builds.
std::atomic<KVcdReader::Simd> simdLimit{KVcdReader::Simd::Avx512Vbmi2};

bool vbmi2Allowed() {
    return simdLimit.load(std::memory_order_relaxed) == KVcdReader::Simd::Avx512Vbmi2 &&
           KCpuFeatures::avx512vbmi2();
}

template <KVcdReader::Simd kSimd>
std::size_t findLineEnds(const char* from, const char* to, std::uint32_t* out) {
#if defined(TESSEL_VCD_AVX512)
    if (kSimd == KVcdReader::Simd::Avx512 && vbmi2Allowed())
        return findLineEndsVbmi2(from, to, out);
#endif
    std::size_t count = 0;
    for (std::size_t at = 0; from + at < to; at += 64) {
        std::uint64_t mask;
        std::size_t found;
#if defined(TESSEL_VCD_AVX512)
        if constexpr (kSimd != KVcdReader::Simd::Sse2) {
            auto left = static_cast<std::size_t>(to - (from + at));
            mask = kSimd == KVcdReader::Simd::Avx512 ? lineBreaksAvx512(from + at, left)
                                                     : lineBreaksAvx2(from + at, left);
            found = static_cast<std::size_t>(__builtin_popcountll(mask));
        } else
#endif
        {
            mask = lineBreaks(from + at);
            auto left = static_cast<std::size_t>(to - (from + at));
            if (left < 64)
                mask &= (std::uint64_t{1} << left) - 1;
            found = countBits(mask);
        }
        std::uint32_t* slot = out + count;
        for (int k = 0; k < 8; ++k) {
            // The top bit keeps the count defined once the mask is empty.
            slot[k] = static_cast<std::uint32_t>(at) +
                      static_cast<std::uint32_t>(__builtin_ctzll(mask | (std::uint64_t{1} << 63)));
            mask &= mask - 1;
        }
        for (std::size_t k = 8; k < found; ++k) {
            slot[k] =
                static_cast<std::uint32_t>(at) + static_cast<std::uint32_t>(__builtin_ctzll(mask));
            mask &= mask - 1;
        }
        count += found;
    }
    return count;
}

} // namespace

void KVcdReader::setSimdLimit(Simd limit) {
    simdLimit.store(limit, std::memory_order_relaxed);
}

// Writes the slot's current value, unless it only repeats the value already written. The first
// value of a logic variable always differs from its initial 0xFF bytes, so a logic value that
// did not change was written before, maybe by the fast parsers, which leave the flag alone;
// integers and reals need the flag.
[[gnu::always_inline]] inline void KVcdReader::publish(Slot& slot, bool changed) {
    bool logic = slot.kind == KVcdType::Kind::Logic || slot.kind == KVcdType::Kind::LogicVector;
    if (!changed && (logic || slot.hasValue)) {
        ++m_summary.repeatedValues;
        return;
    }
    if (m_timePending)
        flushTime();
    slot.hasValue = true;
    check(m_sink->WriteValue(slot.handle, m_values.data() + slot.offset, slot.size), "WriteValue");
    ++m_summary.events;
}

// publish() for a logic variable taken by the fast parsers, without touching its slot.
[[gnu::always_inline]] inline void KVcdReader::publishCode(const ShortCode& code,
                                                           std::uint32_t size, bool changed) {
    if (!changed) {
        ++m_summary.repeatedValues;
        return;
    }
    if (m_timePending)
        flushTime();
    check(m_sink->WriteValue(code.handle, m_values.data() + code.offset, size), "WriteValue");
    ++m_summary.events;
}

// publishCode() of the value the wide parsers also stored at valueRoom().
[[gnu::always_inline]] inline void KVcdReader::publishStored(const ShortCode& code,
                                                             std::uint32_t size, bool changed) {
    if (changed && m_fileSink != nullptr) {
        if (m_timePending)
            flushTime();
        auto stored = m_fileSink->addStoredValue(code.handle, size);
        if (stored == evstream::FileStreamWrite::Stored::Added) {
            ++m_summary.events;
            return;
        }
        check(stored != evstream::FileStreamWrite::Stored::Failed, "WriteValue");
    }
    publishCode(code, size, changed); // refused: the usual write from the current value
}

[[gnu::always_inline]] inline std::uint8_t* KVcdReader::valueRoom() {
    return m_fileSink != nullptr ? m_fileSink->nextValueRoom() : m_spareRoom;
}

void KVcdReader::commit(Slot& slot, const std::uint8_t* bytes) {
    std::uint8_t* current = m_values.data() + slot.offset;
    bool changed;
    if (slot.size == 1) {
        changed = *current != *bytes;
        *current = *bytes;
    } else {
        changed = std::memcmp(current, bytes, slot.size) != 0;
        if (changed)
            std::memcpy(current, bytes, slot.size);
    }
    publish(slot, changed);
}

void KVcdReader::publishFromTokens(Slot& slot, bool changed) {
    publish(slot, changed);
}

// The slot of a code of `length` characters (one to three) given by the low bytes of `word`,
// -1 when they are not code characters or the code was never declared.
[[gnu::always_inline]] inline KVcdReader::ShortCode
KVcdReader::shortCode(std::uint32_t word, std::size_t length) const {
    constexpr std::uint32_t kOnes = 0x01010101u;
    std::uint32_t used = (1u << (length * 8)) - 1u;
    // The bytes after the code made '!' so that every byte must be a code character.
    std::uint32_t all = (word & used) | (kOnes * '!' & ~used);
    std::uint32_t below = (all - kOnes * 0x21) & ~all;
    std::uint32_t above = all | (all + kOnes);
    if (((below | above) & (kOnes * 0x80)) != 0)
        return {};
    // Each character minus 32, first one least significant: no branch on the length.
    std::uint32_t code = (word & used) - (0x202020u & used);
    return lookupShort((code & 0xFF) + 95 * ((code >> 8) & 0xFF) + 95 * 95 * (code >> 16));
}

// The slot of the identifier code that fills [p, end), -1 when those are not code characters
// or the code was never declared.
[[gnu::always_inline]] inline int KVcdReader::lineCode(const char* p, const char* end) const {
    auto length = static_cast<std::size_t>(end - p);
    if (length - 1 < static_cast<std::size_t>(KVcdHeader::kShortCodeLength)) {
        std::uint32_t word;
        std::memcpy(&word, p, 4);
        return shortCode(word, length).slot;
    }
    if (length == 0 ||
        !std::all_of(p, end, [](char c) { return static_cast<unsigned char>(c) - 33u <= 93u; }))
        return -1;
    return m_header->lookup({p, length});
}

// "b0101 CODE" filling the line [p, end): true when taken, false (nothing changed) for anything
// but binary digits as many as the variable is wide and a short code. The code is found from
// the line's end, so that looking it up does not wait for the digits to be counted.
template <KVcdReader::Simd kSimd>
[[gnu::always_inline]] inline bool KVcdReader::lineVector(const char* p, const char* end) {
    if (end - p < 4)
        return false;
    constexpr std::uint32_t kOnes = 0x01010101u;
    std::uint32_t tail;
    std::memcpy(&tail, end - 4, 4);
    // Exactly the blanks among the last four bytes, the code after the last one.
    std::uint32_t x = tail ^ (kOnes * ' ');
    std::uint32_t blanks = ~(((x & (kOnes * 0x7F)) + kOnes * 0x7F) | x | (kOnes * 0x7F));
    if (blanks == 0)
        return false;
    auto at = static_cast<unsigned>(31 - __builtin_clz(blanks)) >> 3;
    std::size_t length = 3 - at;
    if (length == 0)
        return false;
    ShortCode code = shortCode(tail >> (8 * (at + 1)), length);
    if (code.slot < 0)
        return false;
    auto n = static_cast<std::size_t>(end - p) - 2 - length;
    noteWidth(n);
    if (code.vectorWidth != n)
        return false;
    Replaced replaced;
#if defined(TESSEL_VCD_AVX512)
    if (kSimd != Simd::Sse2 && n - 1 < 64) {
        replaced = kSimd == Simd::Avx512
                       ? replaceBinaryAvx512(p + 1, m_values.data() + code.offset, n, valueRoom())
                       : replaceBinaryAvx2(p + 1, m_values.data() + code.offset, n, valueRoom());
        if (replaced == Replaced::NotBinary)
            return false;
        publishStored(code, code.vectorWidth, replaced == Replaced::Changed);
        return true;
    }
#endif
    replaced = replaceBinary(p + 1, m_values.data() + code.offset, n);
    if (replaced == Replaced::NotBinary)
        return false;
    publishCode(code, code.vectorWidth, replaced == Replaced::Changed);
    return true;
}

// "1CODE" filling the line [p, end).
[[gnu::always_inline]] inline bool KVcdReader::lineScalar(const char* p, const char* end) {
    std::uint8_t value = kLogic[static_cast<unsigned char>(*p)];
    if (value == kBad)
        return false;
    int index = lineCode(p + 1, end);
    if (index < 0)
        return false;
    Slot& slot = m_slots[static_cast<std::size_t>(index)];
    if (slot.handle == kNoSignal)
        return true;
    if (slot.kind != KVcdType::Kind::Logic)
        return false;
    std::uint8_t& current = m_values[slot.offset];
    bool changed = current != value;
    current = value;
    publish(slot, changed);
    return true;
}

// "#123" filling the line [p, end).
[[gnu::always_inline]] inline bool KVcdReader::lineTimestamp(const char* p, const char* end) {
    auto length = static_cast<std::size_t>(end - p - 1);
    // Nineteen digits never overflow; longer numbers go the careful way.
    if (length - 1 >= 19)
        return false;
    std::uint64_t raw = 0;
    for (const char* q = p + 1; q < end; ++q) {
        auto digit = static_cast<unsigned>(*q - '0');
        if (digit >= 10)
            return false;
        raw = raw * 10 + digit;
    }
    return applyTimestamp(raw) == TimeError::None;
}

// Takes the complete lines in [p, end) until one holds a record that only the token path
// takes, and hands the position back to the scanner; true when it took them all.
//
// Two parsers share the work. The record parser branches on what it reads, which costs nothing
// where the records are alike; bus values whose digit counts vary from one to the next defeat
// the branch predictor there, and the line parser takes them without such branches, but costs
// more where the records are alike. The digit counts of the last few hundred vectors choose.
bool KVcdReader::fastRecords(const char* p, const char* end) {
#if defined(TESSEL_VCD_AVX512)
    Simd limit = simdLimit.load(std::memory_order_relaxed);
    if (limit >= Simd::Avx512 && KCpuFeatures::avx512bw())
        return fastRecordsAvx512(p, end);
    if (limit >= Simd::Avx2 && KCpuFeatures::avx2())
        return fastRecordsAvx2(p, end);
#endif
    return fastRecordsWith<Simd::Sse2>(p, end);
}

#if defined(TESSEL_VCD_AVX512)
// Everything it calls is inlined, so that the wide instructions are allowed there too.
[[gnu::target(TESSEL_VCD_AVX512_TARGET), gnu::flatten]] bool
KVcdReader::fastRecordsAvx512(const char* p, const char* end) {
    return fastRecordsWith<Simd::Avx512>(p, end);
}

// records() stays a call of its own in the wide build too: inlined, it cost the bit-heavy files.
[[gnu::target(TESSEL_VCD_AVX512_TARGET), gnu::flatten, gnu::noinline]] const char*
KVcdReader::recordsAvx512(const char* p, const char* limit, std::int64_t& line) {
    return records<Simd::Avx512>(p, limit, line);
}

[[gnu::target(TESSEL_VCD_AVX2_TARGET), gnu::flatten]] bool
KVcdReader::fastRecordsAvx2(const char* p, const char* end) {
    return fastRecordsWith<Simd::Avx2>(p, end);
}

[[gnu::target(TESSEL_VCD_AVX2_TARGET), gnu::flatten, gnu::noinline]] const char*
KVcdReader::recordsAvx2(const char* p, const char* limit, std::int64_t& line) {
    return records<Simd::Avx2>(p, limit, line);
}
#endif

template <KVcdReader::Simd kSimd>
[[gnu::always_inline]] inline const char* KVcdReader::recordsOf(const char* p, const char* limit,
                                                                std::int64_t& line) {
#if defined(TESSEL_VCD_AVX512)
    if constexpr (kSimd == Simd::Avx512)
        return recordsAvx512(p, limit, line);
    if constexpr (kSimd == Simd::Avx2)
        return recordsAvx2(p, limit, line);
#endif
    return records<Simd::Sse2>(p, limit, line);
}

template <KVcdReader::Simd kSimd> bool KVcdReader::fastRecordsWith(const char* p, const char* end) {
    std::int64_t line = m_scanner->currentLine();
    m_lineEnds.resize(kWindow + 64);
    while (p < end) {
        if (m_vectors >= 256) {
            m_lineMode = m_widthChanges * 4 > m_vectors;
            m_vectors = 0;
            m_widthChanges = 0;
        }
        const char* limit = p + std::min(kWindow, static_cast<std::size_t>(end - p));
        p = m_lineMode ? lineWindow<kSimd>(p, limit, end, line) : recordsOf<kSimd>(p, limit, line);
        if (p == nullptr)
            return false;
    }
    m_scanner->resumeAt(p, line);
    return true;
}

// Takes the lines that end in [p, limit) (at least one, however long), counting them into
// `line`; returns where it got to, or null when it stopped at a record for the token path.
template <KVcdReader::Simd kSimd>
const char* KVcdReader::lineWindow(const char* p, const char* limit, const char* end,
                                   std::int64_t& line) {
    std::size_t count = findLineEnds<kSimd>(p, limit, m_lineEnds.data());
    if (count == 0) { // a line longer than the window
        const void* lineEnd = std::memchr(limit, '\n', static_cast<std::size_t>(end - limit));
        return recordsOf<kSimd>(p, static_cast<const char*>(lineEnd) + 1, line);
    }
    const char* base = p;
    for (std::size_t i = 0; i < count; ++i) {
        const char* lineEnd = base + m_lineEnds[i];
        char c = *p;
        bool taken = lineEnd > p && (c == 'b'   ? lineVector<kSimd>(p, lineEnd)
                                     : c == '#' ? lineTimestamp(p, lineEnd)
                                                : lineScalar(p, lineEnd));
        if (taken)
            ++line;
        else if (recordsOf<kSimd>(p, lineEnd + 1, line) == nullptr)
            return nullptr;
        p = lineEnd + 1;
    }
    return p;
}

// Takes the records that start in [p, limit) one by one, whatever the blanks between them,
// counting lines into `line`; returns where it got to (the end of the last record), or null
// when it stopped at a record it leaves to tokenRecord(), having handed that position back to
// the scanner.
template <KVcdReader::Simd kSimd>
const char* KVcdReader::records(const char* p, const char* limit, std::int64_t& line) {
    while (p < limit) {
        char c = *p;
        if (KVcdScanner::isSpace(c)) {
            line += (c == '\n');
            ++p;
            continue;
        }
        // The usual bus record is taken here, inline; fastVector() is a call with a frame to
        // set up, which costs about a sixth of such a record.
        const char* next = nullptr;
        if (c == 'b' || c == 'B') {
            next = repeatedWidth<kSimd>(p);
            if (next == nullptr)
                next = fastVector(p);
        } else {
            next = c == '#' ? fastTimestamp(p) : fastScalar(p);
        }
        if (next == nullptr) {
            m_scanner->resumeAt(p, line);
            return nullptr;
        }
        // Nearly every record ends its line: a branch the predictor follows.
        if (*next == '\n') {
            ++line;
            ++next;
        }
        p = next;
    }
    return p;
}

// The slot of the identifier code at p, which moves past it; slot -1 (p undefined) when the code
// is not followed by a blank or was never declared. Codes of one to three characters, nearly all
// of them, are read unrolled and found in the direct table.
[[gnu::always_inline]] inline KVcdReader::ShortCode KVcdReader::fastCode(const char*& p) const {
    auto isCode = [](unsigned u) { return u - 33u <= 93u; };
    const char* start = p;
    unsigned u = static_cast<unsigned char>(p[0]);
    if (!isCode(u))
        return {};
    std::uint32_t index = u - 32u;
    u = static_cast<unsigned char>(p[1]);
    if (isCode(u)) {
        index += 95 * (u - 32u);
        u = static_cast<unsigned char>(p[2]);
        if (isCode(u)) {
            index += 95 * 95 * (u - 32u);
            u = static_cast<unsigned char>(p[3]);
            if (isCode(u)) {
                p += 4;
                while (isCode(static_cast<unsigned char>(*p)))
                    ++p;
                if (!KVcdScanner::isSpace(*p))
                    return {};
                return entryOf(m_header->lookup({start, static_cast<std::size_t>(p - start)}));
            }
            p += 3;
        } else {
            p += 2;
        }
    } else {
        p += 1;
    }
    return KVcdScanner::isSpace(static_cast<char>(u)) ? lookupShort(index) : ShortCode{};
}

[[gnu::always_inline]] inline const char* KVcdReader::fastScalar(const char* p) {
    std::uint8_t value = kLogic[static_cast<unsigned char>(*p)];
    if (value == kBad)
        return nullptr;
    const char* q = p + 1;
    ShortCode code = fastCode(q);
    if (code.slot < 0)
        return nullptr;
    if (code.vectorWidth != kScalar) // a skipped string's code is taken, anything else is not
        return code.handle == kNoSignal ? q : nullptr;
    std::uint8_t& current = m_values[code.offset];
    bool changed = current != value;
    current = value;
    publishCode(code, 1, changed);
    return q;
}

// "b0101 CODE" with as many digits as the vector before, all 0 and 1, and a variable that wide:
// the usual record where this parser runs. It is taken on that guess, which the branch
// predictor follows, and converted straight into the current value; null (nothing changed)
// when the guess is wrong.
template <KVcdReader::Simd kSimd>
[[gnu::always_inline]] inline const char* KVcdReader::repeatedWidth(const char* p) {
    std::size_t n = m_lastWidth;
    const char* digits = p + 1;
    if (n - 1 >= 64 || digits[n] != ' ')
        return nullptr;
    const char* q = digits + n + 1;
    ShortCode code = fastCode(q);
    if (code.slot < 0 || code.vectorWidth != n)
        return nullptr;
    Replaced replaced;
#if defined(TESSEL_VCD_AVX512)
    if constexpr (kSimd != Simd::Sse2) {
        replaced = kSimd == Simd::Avx512
                       ? replaceBinaryAvx512(digits, m_values.data() + code.offset, n, valueRoom())
                       : replaceBinaryAvx2(digits, m_values.data() + code.offset, n, valueRoom());
        if (replaced == Replaced::NotBinary)
            return nullptr;
        ++m_vectors;
        publishStored(code, code.vectorWidth, replaced == Replaced::Changed);
        return q;
    }
#endif
    replaced = replaceBinary<false>(digits, m_values.data() + code.offset, n);
    if (replaced == Replaced::NotBinary)
        return nullptr;
    ++m_vectors;
    publishCode(code, code.vectorWidth, replaced == Replaced::Changed);
    return q;
}

// "b0101 CODE" on one line: the digits are converted sixteen at a time (all 0 and 1, the common
// case) into the scratch value before the code says whose they are.
// Kept a call in the wide build as well, for the reason above.
[[gnu::noinline]] const char* KVcdReader::fastVector(const char* p) {
    const char* digits = p + 1;
    const char* q = digits;
    std::uint8_t* out = m_scratch.data();
    std::size_t room = m_scratch.size() - kBinaryStep;
    std::size_t n = 0;
    for (std::size_t run = kBinaryStep; run == kBinaryStep;) {
        run = convertBinary(q, out + n);
        n += run;
        q += run;
        if (n > room)
            return nullptr; // longer than any variable: the token path says what is wrong
    }
    // From the first other digit (x, z, ...) on, one at a time: such values are rare.
    for (std::uint8_t v; (v = kLogic[static_cast<unsigned char>(*q)]) != kBad; ++q) {
        if (n == room)
            return nullptr;
        out[n++] = v;
    }
    noteWidth(n);
    if (n == 0 || (*q != ' ' && *q != '\t'))
        return nullptr;
    std::string_view record(p, static_cast<std::size_t>(q - p));
    while (*q == ' ' || *q == '\t')
        ++q;
    ShortCode code = fastCode(q);
    if (code.slot < 0)
        return nullptr;
    Slot& slot = m_slots[static_cast<std::size_t>(code.slot)];
    if (slot.handle == kNoSignal)
        return q;
    if (n > slot.width)
        return nullptr;
    std::string_view value(digits, n);
    switch (slot.kind) {
    case KVcdType::Kind::Logic:
    case KVcdType::Kind::LogicVector:
        if (n < slot.width) {
            publish(slot, convertLogic(slot, value, record));
        } else {
            std::uint8_t* current = m_values.data() + slot.offset;
            std::uint64_t changed = 0;
            std::size_t i = 0;
            for (; i + 8 <= n; i += 8) {
                std::uint64_t was;
                std::uint64_t now;
                std::memcpy(&was, current + i, 8);
                std::memcpy(&now, out + i, 8);
                changed |= was ^ now;
                std::memcpy(current + i, &now, 8);
            }
            for (; i < n; ++i) {
                changed |= current[i] ^ out[i];
                current[i] = out[i];
            }
            publish(slot, changed != 0);
        }
        return q;
    case KVcdType::Kind::Integer:
        convertInteger(value, record);
        commit(slot, m_scratch.data());
        return q;
    case KVcdType::Kind::Real:
        break;
    }
    return nullptr;
}

const char* KVcdReader::fastTimestamp(const char* p) {
    const char* q = p + 1;
    std::uint64_t raw = 0;
    // Nineteen digits never overflow; longer numbers go the careful way.
    for (int n = 0; static_cast<unsigned>(*q - '0') < 10; ++n, ++q) {
        if (n == 19)
            return nullptr;
        raw = raw * 10 + static_cast<unsigned>(*q - '0');
    }
    if (q == p + 1 || !KVcdScanner::isSpace(*q) || applyTimestamp(raw) != TimeError::None)
        return nullptr;
    return q;
}
