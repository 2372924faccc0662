#include "storage/vcd/KVcdReader.h"

#include "storage/KFileException.h"
#include "storage/evstream/IEventsStream.h"
#include "storage/vcd/KVcdScanner.h"

#include <array>
#include <cctype>
#include <charconv>
#include <cstring>
#include <limits>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

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
std::uint8_t extensionOf(std::uint8_t first) {
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

} // namespace

KVcdReader::KVcdReader(std::string fileName, std::size_t chunkSize)
    : m_fileName(std::move(fileName)), m_chunkSize(chunkSize) {}

KVcdReader::KVcdReader(std::string name, std::string_view contents, std::size_t chunkSize)
    : m_fileName(std::move(name)), m_chunkSize(chunkSize), m_contents(contents), m_inMemory(true) {}

KVcdReader::~KVcdReader() = default;

KVcdImportSummary KVcdReader::importInto(evstream::IEventsStreamWrite& sink,
                                         const Progress& progress) {
    m_scanner = m_inMemory ? std::make_unique<KVcdScanner>(m_fileName, m_contents, m_chunkSize)
                           : std::make_unique<KVcdScanner>(m_fileName, m_chunkSize);
    m_sink = &sink;
    m_header = std::make_unique<KVcdHeader>(*m_scanner);
    m_header->parse();
    m_variables = std::move(m_header->variables());
    m_slots = std::move(m_header->slots());
    m_multiplier = m_header->multiplier();
    m_divisor = m_header->divisor();
    m_summary.timescale = m_header->timescale();
    declare(sink);
    parseBody(sink, progress);
    m_summary.bytesRead = m_scanner->fileSize();
    if (progress)
        progress(m_scanner->fileSize(), m_scanner->fileSize());
    return m_summary;
}

void KVcdReader::fail(std::string_view what) const {
    m_scanner->fail(what);
}

void KVcdReader::failRecord(std::string_view record, std::string_view what) const {
    if (m_scanner->isOnUnterminatedLastLine(record))
        throw TruncatedTail{};
    fail(what);
}

void KVcdReader::failWrite(std::string_view call) const {
    throw KFileException::generic(m_sink->GetFileName(),
                                  "writing failed (" + std::string(call) + ")");
}

void KVcdReader::declare(evstream::IEventsStreamWrite& sink) {
    check(sink.BeginDeclarations(), "BeginDeclarations");
    SignalHandle next = 0;
    std::uint32_t largest = 8;
    for (Variable& variable : m_variables) {
        if (variable.skipped) {
            ++m_summary.skippedVariables;
            continue;
        }
        Slot& slot = m_slots[static_cast<std::size_t>(variable.slot)];
        evstream::SignalInfo info;
        info.name = variable.name;
        info.mode = 6; // a signal of the design: VCD does not tell ports apart
        if (slot.handle == kNoSignal)
            slot.handle = next;
        else
            info.sameEventsAs = slot.handle;
        check(sink.DeclareScalar(next, info), "DeclareScalar");
        ++next;
        largest = std::max({largest, slot.size, slot.width}); // digits are converted there too
    }
    check(sink.EndDeclarations(), "EndDeclarations");
    SignalHandle handle = 0;
    for (const Variable& variable : m_variables) {
        if (variable.skipped)
            continue;
        check(sink.SetTypeInfoString(handle++, variable.type.typeInfoString()),
              "SetTypeInfoString");
    }
    m_summary.signals = next;
    // Codes of skipped variables still parse, but have no handle: mark them with size 0.
    std::uint32_t offset = 0;
    for (Slot& slot : m_slots) {
        slot.offset = offset;
        offset += slot.size;
        if (slot.handle != kNoSignal)
            ++m_summary.identifierCodes;
    }
    m_values.assign(offset, 0);
    m_scratch.assign(std::size_t{largest} + kBinaryStep, 0); // room for the last step's store
}

// ---- value changes ----

void KVcdReader::parseBody(evstream::IEventsStreamWrite& sink, const Progress& progress) {
    KVcdScanner& scanner = *m_scanner;
    std::uint64_t reported = scanner.refills();
    try {
        for (;;) {
            std::string_view lines = scanner.lines();
            if (progress && scanner.refills() != reported) {
                reported = scanner.refills();
                progress(scanner.fileOffset(), scanner.fileSize());
            }
            if (!lines.empty()) {
                const char* end = lines.data() + lines.size();
                if (fastRecords(lines.data(), end) == end)
                    continue;
            }
            if (!tokenRecord())
                break;
        }
    } catch (const TruncatedTail&) {
        m_summary.truncatedLastLine = true;
    }
    // The last timestamp ends the recording even when nothing changes there.
    if (m_timePending && (!m_timeWritten || m_time > m_writtenTime))
        check(sink.SetTime(m_time), "SetTime");
    m_summary.endTime = m_time;
}

// The slot of the identifier code at p, which moves past it; -1 (p undefined) when the code is
// not followed by a blank or was never declared. Codes of one to three characters, nearly all
// of them, are read unrolled and found in the direct table.
[[gnu::always_inline]] inline int KVcdReader::fastCode(const char*& p) const {
    auto isCode = [](unsigned u) { return u - 33u <= 93u; };
    const char* start = p;
    unsigned u = static_cast<unsigned char>(p[0]);
    if (!isCode(u))
        return -1;
    std::uint32_t index = u - 32u;
    u = static_cast<unsigned char>(p[1]);
    if (isCode(u)) {
        index = index * 95 + (u - 32u);
        u = static_cast<unsigned char>(p[2]);
        if (isCode(u)) {
            index = index * 95 + (u - 32u);
            u = static_cast<unsigned char>(p[3]);
            if (isCode(u)) {
                p += 4;
                while (isCode(static_cast<unsigned char>(*p)))
                    ++p;
                if (!KVcdScanner::isSpace(*p))
                    return -1;
                return m_header->lookup({start, static_cast<std::size_t>(p - start)});
            }
            p += 3;
        } else {
            p += 2;
        }
    } else {
        p += 1;
    }
    return KVcdScanner::isSpace(static_cast<char>(u)) ? m_header->lookupShort(index) : -1;
}

[[gnu::always_inline]] inline const char* KVcdReader::fastScalar(const char* p) {
    std::uint8_t value = kLogic[static_cast<unsigned char>(*p)];
    if (value == kBad)
        return nullptr;
    const char* q = p + 1;
    int index = fastCode(q);
    if (index < 0)
        return nullptr;
    Slot& slot = m_slots[static_cast<std::size_t>(index)];
    if (slot.kind != KVcdType::Kind::Logic || slot.handle == kNoSignal)
        return slot.handle == kNoSignal ? q : nullptr;
    std::uint8_t& current = m_values[slot.offset];
    bool changed = current != value;
    current = value;
    publish(slot, changed);
    return q;
}

// Takes records from complete lines until `end` or a record it leaves to tokenRecord(); hands
// the position back to the scanner and returns it.
const char* KVcdReader::fastRecords(const char* p, const char* end) {
    std::int64_t line = m_scanner->currentLine();
    while (p < end) {
        char c = *p;
        if (KVcdScanner::isSpace(c)) {
            line += (c == '\n');
            ++p;
            continue;
        }
        const char* next = c == 'b' || c == 'B' ? fastVector(p)
                           : c == '#'           ? fastTimestamp(p)
                                                : fastScalar(p);
        if (next == nullptr)
            break;
        p = next;
    }
    m_scanner->resumeAt(p, line);
    return p;
}

// "b0101 CODE" on one line: the digits are converted eight at a time (all 0 and 1, the common
// case) into the scratch value before the code says whose they are.
const char* KVcdReader::fastVector(const char* p) {
    const char* digits = p + 1;
    const char* q = digits;
    std::uint8_t* out = m_scratch.data();
    std::size_t room = m_scratch.size() - kBinaryStep;
    std::size_t n = 0;
    for (;;) {
        std::size_t run = convertBinary(q, out + n);
        n += run;
        q += run;
        if (n > room)
            return nullptr; // longer than any variable: the token path says what is wrong
        if (run == kBinaryStep)
            continue;
        std::uint8_t v = kLogic[static_cast<unsigned char>(*q)];
        if (v == kBad)
            break;
        if (n == room)
            return nullptr;
        out[n++] = v;
        ++q;
    }
    if (n == 0 || (*q != ' ' && *q != '\t'))
        return nullptr;
    std::string_view record(p, static_cast<std::size_t>(q - p));
    while (*q == ' ' || *q == '\t')
        ++q;
    int index = fastCode(q);
    if (index < 0)
        return nullptr;
    Slot& slot = m_slots[static_cast<std::size_t>(index)];
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

// One record through the scanner's tokens; false at the end of the input.
bool KVcdReader::tokenRecord() {
    KVcdScanner& scanner = *m_scanner;
    std::string_view token = scanner.next();
    if (token.empty())
        return false;
    switch (token[0]) {
    case '#':
        onTimestamp(token);
        break;
    case 'b':
    case 'B':
    case 'r':
    case 'R':
    case 's':
    case 'S': {
        std::string_view code = scanner.next();
        std::string_view value = scanner.previous();
        if (code.empty())
            failRecord(value, "value " + KVcdScanner::quoted(value) +
                                  " without an identifier code; expected 'b0101 CODE'");
        if (value[0] == 'b' || value[0] == 'B')
            onVector(value, code);
        else if (value[0] == 'r' || value[0] == 'R')
            onReal(value, code);
        else
            lookupOrFail(code, value); // strings have no stored type: checked, skipped
        break;
    }
    case '$':
        if (token == "$comment")
            m_header->skipToEnd(token);
        else if (token != "$dumpvars" && token != "$dumpall" && token != "$dumpon" &&
                 token != "$dumpoff" && token != "$end")
            fail("unexpected " + KVcdScanner::quoted(token) +
                 " among the value changes; expected "
                 "$dumpvars, $dumpall, $dumpon, $dumpoff, $end or $comment");
        break;
    default:
        onScalar(token);
        break;
    }
    return true;
}

void KVcdReader::onTimestamp(std::string_view token) {
    std::uint64_t raw = 0;
    auto [end, error] = std::from_chars(token.data() + 1, token.data() + token.size(), raw);
    if (error != std::errc() || end != token.data() + token.size() || token.size() == 1)
        failRecord(token, "bad timestamp " + KVcdScanner::quoted(token) +
                              "; expected '#' followed by a whole number of time units");
    switch (applyTimestamp(raw)) {
    case TimeError::None:
        return;
    case TimeError::Backwards:
        failRecord(token, "time goes backwards: " + KVcdScanner::quoted(token) + " after #" +
                              std::to_string(m_rawTime) + "; expected ascending timestamps");
    case TimeError::TooLate:
        failRecord(token, "timestamp " + KVcdScanner::quoted(token) +
                              " is beyond the largest time that can be stored (about 106 days)");
    }
}

// Makes `raw` the current timestamp; changes nothing when it cannot be.
KVcdReader::TimeError KVcdReader::applyTimestamp(std::uint64_t raw) {
    if (raw < m_rawTime)
        return TimeError::Backwards;
    if (raw == m_rawTime && (m_timeWritten || m_timePending))
        return TimeError::None;
    SimTime time = 0;
    if (m_divisor > 1) {
        auto divisor = static_cast<std::uint64_t>(m_divisor);
        std::uint64_t rounded = raw / divisor + (raw % divisor >= (divisor + 1) / 2 ? 1 : 0);
        if (raw % divisor != 0)
            ++m_summary.roundedTimes;
        time = static_cast<SimTime>(rounded);
    } else {
        std::uint64_t product = 0;
        if (__builtin_mul_overflow(raw, static_cast<std::uint64_t>(m_multiplier), &product) ||
            product > static_cast<std::uint64_t>(std::numeric_limits<SimTime>::max()))
            return TimeError::TooLate;
        time = static_cast<SimTime>(product);
    }
    m_rawTime = raw;
    m_time = time;
    m_timePending = true;
    return TimeError::None;
}

// Writes the pending timestamp just before its first change, so that timestamps without
// changes cost nothing; two timestamps that round to the same picosecond become deltas.
void KVcdReader::flushTime() {
    if (!m_timeWritten || m_time != m_writtenTime) {
        check(m_sink->SetTime(m_time), "SetTime");
        m_delta = 0;
    } else if (m_rawTime != m_writtenRaw) {
        check(m_sink->SetDelta(++m_delta), "SetDelta");
    }
    m_timeWritten = true;
    m_writtenTime = m_time;
    m_writtenRaw = m_rawTime;
    m_timePending = false;
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

// Writes the slot's current value, unless it only repeats the value already written.
inline void KVcdReader::publish(Slot& slot, bool changed) {
    if (slot.hasValue && !changed) {
        ++m_summary.repeatedValues;
        return;
    }
    if (m_timePending)
        flushTime();
    slot.hasValue = true;
    check(m_sink->WriteValue(slot.handle, m_values.data() + slot.offset, slot.size), "WriteValue");
    ++m_summary.events;
}

int KVcdReader::lookupOrFail(std::string_view code, std::string_view record) {
    int index = m_header->lookup(code);
    if (index < 0) [[unlikely]]
        failUndeclared(code, record);
    return index;
}

void KVcdReader::failUndeclared(std::string_view code, std::string_view record) const {
    failRecord(record, "identifier code " + KVcdScanner::quoted(code) +
                           " was never declared; expected a code given by a $var");
}

void KVcdReader::failScalar(std::string_view token) const {
    if (token.size() == 1 && kLogic[static_cast<unsigned char>(token[0])] != kBad)
        failRecord(token, "value " + KVcdScanner::quoted(token) +
                              " without an identifier code; expected the code right after it");
    failRecord(token, "unexpected " + KVcdScanner::quoted(token) +
                          "; expected a value change (0, 1, x, z, U, X, Z, W, L, H, -, b, "
                          "r, s), a timestamp (#) or a keyword");
}

void KVcdReader::onScalar(std::string_view token) {
    std::uint8_t value = kLogic[static_cast<unsigned char>(token[0])];
    if (value == kBad || token.size() == 1) [[unlikely]]
        failScalar(token);
    Slot& slot = m_slots[static_cast<std::size_t>(lookupOrFail(token.substr(1), token))];
    if (slot.handle == kNoSignal)
        return;
    if (slot.kind == KVcdType::Kind::Logic) {
        commit(slot, &value);
        return;
    }
    onVector(token, token.substr(1)); // a one-digit change of a wider variable
}

void KVcdReader::onVector(std::string_view value, std::string_view code) {
    Slot& slot = m_slots[static_cast<std::size_t>(lookupOrFail(code, value))];
    if (slot.handle == kNoSignal)
        return;
    std::string_view digits =
        value[0] == 'b' || value[0] == 'B' ? value.substr(1) : value.substr(0, 1);
    if (digits.empty())
        failRecord(value, "empty vector value for " + KVcdScanner::quoted(code) +
                              "; expected b and digits");
    if (digits.size() > slot.width && slot.kind != KVcdType::Kind::Real) {
        // Leading zeros beyond the width are harmless padding; anything else does not fit.
        std::size_t extra = digits.size() - slot.width;
        if (digits.find_first_not_of('0') < extra)
            failRecord(value, "value " + KVcdScanner::quoted(value) + " has " +
                                  std::to_string(digits.size()) + " digits but " +
                                  KVcdScanner::quoted(code) + " is " + std::to_string(slot.width) +
                                  " bits wide");
        digits.remove_prefix(extra);
    }
    switch (slot.kind) {
    case KVcdType::Kind::Logic:
    case KVcdType::Kind::LogicVector:
        publish(slot, convertLogic(slot, digits, value));
        break;
    case KVcdType::Kind::Integer:
        convertInteger(digits, value);
        commit(slot, m_scratch.data());
        break;
    case KVcdType::Kind::Real:
        failRecord(value, "binary value " + KVcdScanner::quoted(value) + " for the real variable " +
                              KVcdScanner::quoted(code) + "; expected r and a number");
    }
}

// Converts straight into the slot's current value, noting whether any element changed, so a
// bus costs one pass over its digits (a bad digit ends the import, so the half-written value
// is never used).
bool KVcdReader::convertLogic(const Slot& slot, std::string_view digits, std::string_view record) {
    std::uint8_t* out = m_values.data() + slot.offset;
    std::size_t pad = slot.width - digits.size();
    std::uint8_t first = kLogic[static_cast<unsigned char>(digits[0])];
    std::uint64_t changed = 0;
    if (pad > 0 && first != kBad) {
        std::uint8_t extension = extensionOf(first);
        for (std::size_t i = 0; i < pad; ++i) {
            changed |= out[i] ^ extension;
            out[i] = extension;
        }
    }
    out += pad;
    std::uint8_t bad = 0;
    std::size_t i = 0;
    // Eight digits at a time while they are all 0 or 1 (ordinals 2 and 3), the common case.
    constexpr std::uint64_t kOnes = 0x0101010101010101ull;
    for (; i + 8 <= digits.size(); i += 8) {
        std::uint64_t word;
        std::memcpy(&word, digits.data() + i, 8);
        if ((word | kOnes) != kOnes * '1')
            break;
        word = (word & kOnes) | (kOnes * kZero);
        std::uint64_t old;
        std::memcpy(&old, out + i, 8);
        changed |= old ^ word;
        std::memcpy(out + i, &word, 8);
    }
    for (; i < digits.size(); ++i) {
        std::uint8_t v = kLogic[static_cast<unsigned char>(digits[i])];
        bad |= static_cast<std::uint8_t>(v == kBad);
        changed |= out[i] ^ v;
        out[i] = v;
    }
    if (bad != 0)
        failRecord(record, "bad digit in " + KVcdScanner::quoted(record) +
                               "; expected 0, 1, x, z, U, X, Z, W, L, H or -");
    return changed != 0;
}

// An integer with X or Z bits has no integer value: it is stored as the type's left bound
// (-2147483648) and counted in the summary.
void KVcdReader::convertInteger(std::string_view digits, std::string_view record) {
    std::uint32_t bits = 0;
    bool unknown = false;
    for (char c : digits) {
        std::uint8_t v = kLogic[static_cast<unsigned char>(c)];
        if (v == kBad)
            failRecord(record,
                       "bad digit in " + KVcdScanner::quoted(record) + "; expected 0, 1, x or z");
        bool one = v == kOne || v == 7;
        unknown |= !(one || v == kZero || v == 6);
        bits = (bits << 1) | (one ? 1u : 0u);
    }
    if (unknown) {
        ++m_summary.unknownIntegers;
        bits = 0x80000000u;
    }
    std::memcpy(m_scratch.data(), &bits, 4); // little-endian int32 on every target we build
}

void KVcdReader::onReal(std::string_view value, std::string_view code) {
    Slot& slot = m_slots[static_cast<std::size_t>(lookupOrFail(code, value))];
    if (slot.handle == kNoSignal)
        return;
    if (slot.kind != KVcdType::Kind::Real)
        failRecord(value, "real value " + KVcdScanner::quoted(value) + " for " +
                              KVcdScanner::quoted(code) +
                              ", which is not a real variable; expected b and digits");
    double number = 0;
    std::string_view text = value.substr(1);
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        failRecord(value,
                   "bad real value " + KVcdScanner::quoted(value) + "; expected r and a number");
    std::memcpy(m_scratch.data(), &number, 8);
    commit(slot, m_scratch.data());
}
