#include "storage/vcd/KVcdReader.h"

#include "storage/KFileException.h"
#include "storage/evstream/IEventsStream.h"
#include "storage/vcd/KVcdScanner.h"

#include <array>
#include <cctype>
#include <charconv>
#include <cstring>
#include <limits>

namespace {

// Widths beyond these are hostile or broken files, not designs.
constexpr std::uint32_t kMaxWidth = 1u << 20;
constexpr std::uint64_t kMaxValueBytes = 256u << 20;
constexpr int kShortCodeLength = 3;
constexpr std::int32_t kShortCodeCount = 95 * 95 * 95 + 95 * 95 + 95;
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

std::string quoted(std::string_view text) {
    constexpr std::size_t kMaxShown = 40;
    bool cut = text.size() > kMaxShown;
    std::string out;
    out += '\'';
    out += text.substr(0, kMaxShown);
    out += cut ? "...'" : "'";
    return out;
}

// Index of a short identifier code in the direct table, -1 when it is longer or not printable.
std::int32_t shortCodeIndex(std::string_view code) {
    if (code.empty() || code.size() > kShortCodeLength)
        return -1;
    std::int32_t index = 0;
    for (char c : code) {
        auto u = static_cast<unsigned char>(c);
        if (u < 33 || u > 126)
            return -1;
        index = index * 95 + static_cast<std::int32_t>(u - 32);
    }
    return index;
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
    m_shortCodes.assign(static_cast<std::size_t>(kShortCodeCount), 0);
    parseHeader();
    declare(sink);
    parseBody(sink, progress);
    m_summary.bytesRead = m_scanner->fileSize();
    if (progress)
        progress(m_scanner->fileSize(), m_scanner->fileSize());
    return m_summary;
}

void KVcdReader::fail(std::string_view what) const {
    throw KFileException(KFileException::Cause::BadFormat, m_fileName,
                         "line " + std::to_string(m_scanner->line()) + ": " + std::string(what));
}

void KVcdReader::failRecord(std::string_view record, std::string_view what) const {
    if (m_scanner->isOnUnterminatedLastLine(record))
        throw TruncatedTail{};
    fail(what);
}

void KVcdReader::check(bool ok, std::string_view call) const {
    if (!ok)
        throw KFileException::generic(m_sink->GetFileName(),
                                      "writing failed (" + std::string(call) + ")");
}

// ---- header ----

void KVcdReader::parseHeader() {
    for (bool first = true;; first = false) {
        std::string_view token = m_scanner->next();
        if (token.empty()) {
            if (first)
                fail("the file is empty or has no header; expected VCD declarations "
                     "($timescale, $scope, $var) and $enddefinitions");
            fail("the file ends inside the header; expected $enddefinitions");
        }
        if (token == "$enddefinitions") {
            expectEnd(token);
            return;
        }
        if (token == "$scope") {
            std::string_view kind = m_scanner->next();
            std::string_view name = m_scanner->next();
            if (kind.empty() || kind == "$end")
                fail("$scope without a kind and name; expected '$scope module NAME $end'");
            if (name == "$end") {
                m_scopes.emplace_back();
                continue;
            }
            m_scopes.emplace_back(name);
            expectEnd("$scope");
        } else if (token == "$upscope") {
            if (m_scopes.empty())
                fail("$upscope without an open $scope");
            m_scopes.pop_back();
            expectEnd(token);
        } else if (token == "$var") {
            parseVar();
        } else if (token == "$timescale") {
            parseTimescale();
        } else if (token[0] == '$') {
            skipToEnd(token); // $date, $version, $comment and extensions carry nothing we keep
        } else {
            fail("unexpected " + quoted(token) +
                 " in the header; expected a declaration keyword such as $var or "
                 "$enddefinitions");
        }
    }
}

void KVcdReader::skipToEnd(std::string_view keyword) {
    std::string name(keyword);
    for (;;) {
        std::string_view token = m_scanner->next();
        if (token.empty())
            fail("the file ends inside " + name + "; expected $end");
        if (token == "$end")
            return;
    }
}

void KVcdReader::expectEnd(std::string_view keyword) {
    std::string name(keyword);
    std::string_view token = m_scanner->next();
    if (token != "$end")
        fail("expected $end after " + name + ", found " +
             (token.empty() ? std::string("the end of the file") : quoted(token)));
}

void KVcdReader::parseTimescale() {
    std::string text;
    for (;;) {
        std::string_view token = m_scanner->next();
        if (token.empty())
            fail("the file ends inside $timescale; expected $end");
        if (token == "$end")
            break;
        if (!text.empty() && std::isdigit(static_cast<unsigned char>(text.back())) == 0)
            text += ' ';
        text += token;
    }
    std::int64_t number = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    std::string_view unit(end, static_cast<std::size_t>(text.data() + text.size() - end));
    while (!unit.empty() && unit.front() == ' ')
        unit.remove_prefix(1);
    static constexpr std::array<std::pair<std::string_view, int>, 8> kUnits{{{"s", 12},
                                                                             {"ms", 9},
                                                                             {"us", 6},
                                                                             {"ns", 3},
                                                                             {"ps", 0},
                                                                             {"fs", -3},
                                                                             {"as", -6},
                                                                             {"zs", -9}}};
    int exponent = 99;
    for (auto [name, value] : kUnits)
        if (unit == name)
            exponent = value;
    if (error != std::errc() || (number != 1 && number != 10 && number != 100) || exponent == 99)
        fail("bad $timescale " + quoted(text) +
             "; expected 1, 10 or 100 followed by s, ms, us, "
             "ns, ps or fs");
    exponent += number == 100 ? 2 : (number == 10 ? 1 : 0);
    m_multiplier = 1;
    m_divisor = 1;
    for (int i = 0; i < exponent; ++i)
        m_multiplier *= 10;
    for (int i = exponent; i < 0; ++i)
        m_divisor *= 10;
    m_summary.timescale = std::to_string(number) + " " + std::string(unit);
}

void KVcdReader::parseVar() {
    std::string_view kind = m_scanner->next();
    std::string kindText(kind);
    std::string_view widthText = m_scanner->next();
    std::uint64_t width = 0;
    auto [end, error] =
        std::from_chars(widthText.data(), widthText.data() + widthText.size(), width);
    if (error != std::errc() || end != widthText.data() + widthText.size() || width == 0)
        fail("bad width " + quoted(widthText) +
             " in $var; expected '$var TYPE WIDTH CODE NAME $end'");
    if (width > kMaxWidth)
        fail("variable width " + std::string(widthText) + " is too large (at most " +
             std::to_string(kMaxWidth) + " bits)");
    std::string code(m_scanner->next());
    if (code.empty() || code == "$end")
        fail("$var without an identifier code; expected '$var TYPE WIDTH CODE NAME $end'");
    std::vector<std::string> parts;
    for (;;) {
        std::string_view token = m_scanner->next();
        if (token.empty())
            fail("the file ends inside $var; expected $end");
        if (token == "$end")
            break;
        parts.emplace_back(token);
    }
    if (parts.empty())
        fail("$var without a name; expected '$var TYPE WIDTH CODE NAME $end'");
    // A range is a last part "[7:0]" or a suffix of the name; a bit select "[3]" stays in it.
    std::string range;
    if (parts.size() > 1 && parts.back().front() == '[') {
        range = parts.back();
        parts.pop_back();
    }
    std::string name = parts[0];
    for (std::size_t i = 1; i < parts.size(); ++i)
        name += parts[i];
    std::size_t open = name.rfind('[');
    if (range.empty() && open != std::string::npos && open > 0 && name.back() == ']' &&
        name.find(':', open) != std::string::npos) {
        range = name.substr(open);
        name.resize(open);
    }
    if (!range.empty() && range.find(':') == std::string::npos) {
        name += range; // a bit select names one bit of a wider net
        range.clear();
    }

    Variable variable;
    for (const std::string& scope : m_scopes)
        variable.name += scope + "/";
    variable.name += name;
    if (kind == "real" || kind == "realtime" || kind == "shortreal") {
        variable.type = KVcdType::real();
    } else if (kind == "string") {
        variable.skipped = true;
    } else if (kind == "integer" && width == 32 && (range.empty() || range == "[31:0]")) {
        variable.type = KVcdType::integer();
    } else if (!range.empty()) {
        std::int64_t left = 0;
        std::int64_t right = 0;
        std::size_t colon = range.find(':');
        auto first = std::from_chars(range.data() + 1, range.data() + colon, left);
        auto second = std::from_chars(range.data() + colon + 1, range.data() + range.size(), right);
        if (first.ec != std::errc() || first.ptr != range.data() + colon ||
            second.ec != std::errc() || second.ptr + 1 != range.data() + range.size() ||
            range.back() != ']')
            fail("bad range " + quoted(range) + " of " + quoted(name) + "; expected [MSB:LSB]");
        std::uint64_t span =
            static_cast<std::uint64_t>(left >= right ? left - right : right - left);
        if (span + 1 != width)
            fail("range " + range + " of " + quoted(name) + " has " + std::to_string(span + 1) +
                 " bits but the variable is declared with " + std::to_string(width));
        variable.type = KVcdType::logicVector(left, right);
    } else if (width == 1) {
        variable.type = KVcdType::logic();
    } else {
        variable.type = KVcdType::logicVector(static_cast<std::int64_t>(width) - 1, 0);
    }
    variable.slot = slotFor(code, variable);
    m_variables.push_back(std::move(variable));
}

int KVcdReader::slotFor(std::string_view code, const Variable& variable) {
    int existing = lookup(code);
    if (existing >= 0) {
        const Slot& slot = m_slots[static_cast<std::size_t>(existing)];
        bool sameShape = variable.skipped ? slot.skipped
                                          : (!slot.skipped && slot.kind == variable.type.kind() &&
                                             slot.size == variable.type.valueSize());
        if (!sameShape)
            fail("identifier code " + quoted(code) + " is shared by " +
                 quoted(m_variables[static_cast<std::size_t>(slot.firstVariable)].name) + " and " +
                 quoted(variable.name) + ", which differ in type or width");
        return existing;
    }
    Slot slot;
    slot.kind = variable.type.kind();
    slot.width = variable.type.width();
    slot.size = variable.skipped ? 0 : variable.type.valueSize();
    slot.firstVariable = static_cast<int>(m_variables.size());
    slot.skipped = variable.skipped;
    m_valueBytes += slot.size;
    if (m_valueBytes > kMaxValueBytes)
        fail("the variables' total width is too large to import");
    int index = static_cast<int>(m_slots.size());
    m_slots.push_back(std::move(slot));
    if (std::int32_t shortIndex = shortCodeIndex(code); shortIndex >= 0)
        m_shortCodes[static_cast<std::size_t>(shortIndex)] = index + 1;
    else
        m_longCodes.emplace(std::string(code), index);
    return index;
}

int KVcdReader::lookup(std::string_view code) const {
    if (std::int32_t shortIndex = shortCodeIndex(code); shortIndex >= 0)
        return m_shortCodes[static_cast<std::size_t>(shortIndex)] - 1;
    if (m_longCodes.empty())
        return -1;
    auto found = m_longCodes.find(std::string(code));
    return found == m_longCodes.end() ? -1 : found->second;
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
        largest = std::max(largest, slot.size);
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
    m_scratch.assign(largest, 0);
}

// ---- value changes ----

void KVcdReader::parseBody(evstream::IEventsStreamWrite& sink, const Progress& progress) {
    KVcdScanner& scanner = *m_scanner;
    std::uint32_t records = 0;
    try {
        for (;;) {
            std::string_view token = scanner.next();
            if (token.empty())
                break;
            if ((++records & 0xFFFFF) == 0 && progress)
                progress(scanner.fileOffset(), scanner.fileSize());
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
                    failRecord(value, "value " + quoted(value) +
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
                    skipToEnd(token);
                else if (token != "$dumpvars" && token != "$dumpall" && token != "$dumpon" &&
                         token != "$dumpoff" && token != "$end")
                    fail("unexpected " + quoted(token) +
                         " among the value changes; expected "
                         "$dumpvars, $dumpall, $dumpon, $dumpoff, $end or $comment");
                break;
            default:
                onScalar(token);
                break;
            }
        }
    } catch (const TruncatedTail&) {
        m_summary.truncatedLastLine = true;
    }
    // The last timestamp ends the recording even when nothing changes there.
    if (m_timePending && (!m_timeWritten || m_time > m_writtenTime))
        check(sink.SetTime(m_time), "SetTime");
    m_summary.endTime = m_time;
}

void KVcdReader::onTimestamp(std::string_view token) {
    std::uint64_t raw = 0;
    auto [end, error] = std::from_chars(token.data() + 1, token.data() + token.size(), raw);
    if (error != std::errc() || end != token.data() + token.size() || token.size() == 1)
        failRecord(token, "bad timestamp " + quoted(token) +
                              "; expected '#' followed by a whole number of time units");
    if (raw < m_rawTime)
        failRecord(token, "time goes backwards: " + quoted(token) + " after #" +
                              std::to_string(m_rawTime) + "; expected ascending timestamps");
    if (raw == m_rawTime && (m_timeWritten || m_timePending))
        return;
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
            failRecord(token,
                       "timestamp " + quoted(token) +
                           " is beyond the largest time that can be stored (about 106 days)");
        time = static_cast<SimTime>(product);
    }
    m_rawTime = raw;
    m_time = time;
    m_timePending = true;
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
void KVcdReader::publish(Slot& slot, bool changed) {
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
    int index = lookup(code);
    if (index < 0)
        failRecord(record, "identifier code " + quoted(code) +
                               " was never declared; expected a code given by a $var");
    return index;
}

void KVcdReader::onScalar(std::string_view token) {
    std::uint8_t value = kLogic[static_cast<unsigned char>(token[0])];
    if (value == kBad)
        failRecord(token, "unexpected " + quoted(token) +
                              "; expected a value change (0, 1, x, z, U, X, Z, W, L, H, -, b, "
                              "r, s), a timestamp (#) or a keyword");
    if (token.size() == 1)
        failRecord(token, "value " + quoted(token) +
                              " without an identifier code; expected the code right after it");
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
        failRecord(value, "empty vector value for " + quoted(code) + "; expected b and digits");
    if (digits.size() > slot.width && slot.kind != KVcdType::Kind::Real) {
        // Leading zeros beyond the width are harmless padding; anything else does not fit.
        std::size_t extra = digits.size() - slot.width;
        if (digits.find_first_not_of('0') < extra)
            failRecord(value, "value " + quoted(value) + " has " + std::to_string(digits.size()) +
                                  " digits but " + quoted(code) + " is " +
                                  std::to_string(slot.width) + " bits wide");
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
        failRecord(value, "binary value " + quoted(value) + " for the real variable " +
                              quoted(code) + "; expected r and a number");
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
        failRecord(record, "bad digit in " + quoted(record) +
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
            failRecord(record, "bad digit in " + quoted(record) + "; expected 0, 1, x or z");
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
        failRecord(value, "real value " + quoted(value) + " for " + quoted(code) +
                              ", which is not a real variable; expected b and digits");
    double number = 0;
    std::string_view text = value.substr(1);
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        failRecord(value, "bad real value " + quoted(value) + "; expected r and a number");
    std::memcpy(m_scratch.data(), &number, 8);
    commit(slot, m_scratch.data());
}
