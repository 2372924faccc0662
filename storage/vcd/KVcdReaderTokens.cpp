// The token path of the VCD importer: records the line parser leaves alone (keywords, records
// spread over lines, unusual values, bad input) and every message about bad input.

#include "storage/KFileException.h"
#include "storage/vcd/KVcdDigits.h"
#include "storage/vcd/KVcdReader.h"
#include "storage/vcd/KVcdScanner.h"

#include <charconv>
#include <cstring>

using namespace vcddigits;

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
        publishFromTokens(slot, convertLogic(slot, digits, value));
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
