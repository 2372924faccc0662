#include "storage/vcd/KVcdReader.h"

#include "storage/KFileException.h"
#include "storage/evstream/FileStreamWrite.h"
#include "storage/evstream/IEventsStream.h"
#include "storage/vcd/KVcdDigits.h"
#include "storage/vcd/KVcdScanner.h"

#include <charconv>
#include <cstring>
#include <limits>

using namespace vcddigits;

KVcdReader::KVcdReader(std::string fileName, std::size_t chunkSize)
    : m_fileName(std::move(fileName)), m_chunkSize(chunkSize) {}

KVcdReader::KVcdReader(std::string name, std::string_view contents, std::size_t chunkSize)
    : m_fileName(std::move(name)), m_chunkSize(chunkSize), m_contents(contents), m_inMemory(true) {}

KVcdReader::~KVcdReader() = default;

KVcdImportSummary KVcdReader::importInto(evstream::IEventsStreamWrite& sink,
                                         const Progress& progress) {
    m_scanner = m_inMemory ? std::make_unique<KVcdScanner>(m_fileName, m_contents, m_chunkSize)
                           : std::make_unique<KVcdScanner>(m_fileName, m_chunkSize);
    if (m_readAhead)
        m_scanner->startReadAhead();
    m_sink = &sink;
    m_fileSink = dynamic_cast<evstream::FileStreamWrite*>(&sink);
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
    // Vectors start at a multiple of sixteen bytes and get room up to the next one:
    // replaceBinary() stores whole sixteen-byte steps, which cost more across cache lines.
    std::uint32_t offset = 0;
    for (Slot& slot : m_slots) {
        bool vector = slot.kind == KVcdType::Kind::LogicVector;
        if (vector)
            offset = (offset + 15) & ~15u;
        slot.offset = offset;
        offset += vector ? (slot.size + 15) & ~15u : slot.size;
        if (slot.handle != kNoSignal)
            ++m_summary.identifierCodes;
    }
    m_values.assign(offset + kReadAhead, 0);
    m_scratch.assign(std::size_t{largest} + kBinaryStep, 0); // room for the last step's store
    // No std_logic ordinal is 0xFF: the first value of a logic variable is always a change.
    for (const Slot& slot : m_slots)
        if (slot.kind == KVcdType::Kind::Logic || slot.kind == KVcdType::Kind::LogicVector)
            std::memset(m_values.data() + slot.offset, 0xFF, slot.size);
    m_shortCodeLimit = m_header->shortCodeLimit();
    m_shortCodes.assign(m_shortCodeLimit, ShortCode{});
    for (std::uint32_t i = 0; i < m_shortCodeLimit; ++i)
        m_shortCodes[i] = entryOf(m_header->lookupShort(i));
}

KVcdReader::ShortCode KVcdReader::entryOf(int index) const {
    if (index < 0)
        return {};
    const Slot& slot = m_slots[static_cast<std::size_t>(index)];
    std::uint32_t width = kNotVector;
    if (slot.handle != kNoSignal && slot.kind == KVcdType::Kind::LogicVector)
        width = slot.width;
    else if (slot.handle != kNoSignal && slot.kind == KVcdType::Kind::Logic)
        width = kScalar;
    return {index, slot.offset, width, slot.handle};
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
            if (!lines.empty() && fastRecords(lines.data(), lines.data() + lines.size()))
                continue;
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
