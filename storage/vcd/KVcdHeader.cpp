#include "storage/vcd/KVcdHeader.h"

#include "storage/vcd/KVcdScanner.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>

namespace {

// A scope or variable name as one level of a signal's path. A '/' in it (an escaped Verilog
// identifier may hold one) would split the level in two, or leave an empty name that no VCD
// export can write: it becomes '_'.
std::string pathLevel(std::string_view name) {
    std::string level(name);
    std::replace(level.begin(), level.end(), '/', '_');
    return level;
}

// Widths beyond these are hostile or broken files, not designs.
constexpr std::uint32_t kMaxWidth = 1u << 20;
constexpr std::uint64_t kMaxValueBytes = 256u << 20;
constexpr std::size_t kMaxVariables = 4u << 20;

} // namespace

KVcdHeader::KVcdHeader(KVcdScanner& scanner) : m_scanner(scanner) {}

void KVcdHeader::parse() {
    for (bool first = true;; first = false) {
        std::string_view token = m_scanner.next();
        if (token.empty()) {
            if (first)
                m_scanner.fail("the file is empty or has no header; expected VCD declarations "
                               "($timescale, $scope, $var) and $enddefinitions");
            m_scanner.fail("the file ends inside the header; expected $enddefinitions");
        }
        if (token == "$enddefinitions") {
            expectEnd(token);
            return;
        }
        if (token == "$scope") {
            std::string_view kindToken = m_scanner.next();
            bool noKind = kindToken.empty() || kindToken == "$end";
            std::string_view name = m_scanner.next();
            if (noKind)
                m_scanner.fail(
                    "$scope without a kind and name; expected '$scope module NAME $end'");
            if (name == "$end") {
                m_scopes.emplace_back();
                continue;
            }
            m_scopes.push_back(pathLevel(name));
            expectEnd("$scope");
        } else if (token == "$upscope") {
            if (m_scopes.empty())
                m_scanner.fail("$upscope without an open $scope");
            m_scopes.pop_back();
            expectEnd(token);
        } else if (token == "$var") {
            parseVar();
        } else if (token == "$timescale") {
            parseTimescale();
        } else if (token[0] == '$') {
            skipToEnd(token); // $date, $version, $comment and extensions carry nothing we keep
        } else {
            m_scanner.fail("unexpected " + KVcdScanner::quoted(token) +
                           " in the header; expected a declaration keyword such as $var or "
                           "$enddefinitions");
        }
    }
}
void KVcdHeader::skipToEnd(std::string_view keyword) {
    std::string name(keyword);
    for (;;) {
        std::string_view token = m_scanner.next();
        if (token.empty())
            m_scanner.fail("the file ends inside " + name + "; expected $end");
        if (token == "$end")
            return;
    }
}
void KVcdHeader::expectEnd(std::string_view keyword) {
    std::string name(keyword);
    std::string_view token = m_scanner.next();
    if (token != "$end")
        m_scanner.fail(
            "expected $end after " + name + ", found " +
            (token.empty() ? std::string("the end of the file") : KVcdScanner::quoted(token)));
}
void KVcdHeader::parseTimescale() {
    std::string text;
    for (;;) {
        std::string_view token = m_scanner.next();
        if (token.empty())
            m_scanner.fail("the file ends inside $timescale; expected $end");
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
        m_scanner.fail("bad $timescale " + KVcdScanner::quoted(text) +
                       "; expected 1, 10 or 100 followed by s, ms, us, "
                       "ns, ps or fs");
    exponent += number == 100 ? 2 : (number == 10 ? 1 : 0);
    m_multiplier = 1;
    m_divisor = 1;
    for (int i = 0; i < exponent; ++i)
        m_multiplier *= 10;
    for (int i = exponent; i < 0; ++i)
        m_divisor *= 10;
    m_timescale = std::to_string(number) + " " + std::string(unit);
}
void KVcdHeader::parseVar() {
    // Copied: a token's view does not survive the next call of next().
    std::string kind(m_scanner.next());
    std::string_view widthText = m_scanner.next();
    std::uint64_t width = 0;
    auto [end, error] =
        std::from_chars(widthText.data(), widthText.data() + widthText.size(), width);
    if (error != std::errc() || end != widthText.data() + widthText.size() || width == 0)
        m_scanner.fail("bad width " + KVcdScanner::quoted(widthText) +
                       " in $var; expected '$var TYPE WIDTH CODE NAME $end'");
    if (width > kMaxWidth)
        m_scanner.fail("variable width " + std::string(widthText) + " is too large (at most " +
                       std::to_string(kMaxWidth) + " bits)");
    std::string code(m_scanner.next());
    if (code.empty() || code == "$end")
        m_scanner.fail(
            "$var without an identifier code; expected '$var TYPE WIDTH CODE NAME $end'");
    std::vector<std::string> parts;
    for (;;) {
        std::string_view token = m_scanner.next();
        if (token.empty())
            m_scanner.fail("the file ends inside $var; expected $end");
        if (token == "$end")
            break;
        parts.emplace_back(token);
    }
    if (parts.empty())
        m_scanner.fail("$var without a name; expected '$var TYPE WIDTH CODE NAME $end'");
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

    if (m_variables.size() >= kMaxVariables)
        m_scanner.fail("more than " + std::to_string(kMaxVariables) +
                       " variables; this importer stops there");
    Variable variable;
    for (const std::string& scope : m_scopes)
        variable.name += scope + "/";
    variable.name += pathLevel(name);
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
            m_scanner.fail("bad range " + KVcdScanner::quoted(range) + " of " +
                           KVcdScanner::quoted(name) + "; expected [MSB:LSB]");
        std::uint64_t span =
            static_cast<std::uint64_t>(left >= right ? left - right : right - left);
        if (span + 1 != width)
            m_scanner.fail("range " + range + " of " + KVcdScanner::quoted(name) + " has " +
                           std::to_string(span + 1) + " bits but the variable is declared with " +
                           std::to_string(width));
        variable.type = KVcdType::logicVector(left, right);
    } else if (width == 1) {
        variable.type = KVcdType::logic();
    } else {
        variable.type = KVcdType::logicVector(static_cast<std::int64_t>(width) - 1, 0);
    }
    variable.slot = slotFor(code, variable);
    m_variables.push_back(std::move(variable));
}
int KVcdHeader::slotFor(std::string_view code, const Variable& variable) {
    int existing = lookup(code);
    if (existing >= 0) {
        const Slot& slot = m_slots[static_cast<std::size_t>(existing)];
        bool sameShape = variable.skipped ? slot.skipped
                                          : (!slot.skipped && slot.kind == variable.type.kind() &&
                                             slot.size == variable.type.valueSize());
        if (!sameShape)
            m_scanner.fail("identifier code " + KVcdScanner::quoted(code) + " is shared by " +
                           KVcdScanner::quoted(
                               m_variables[static_cast<std::size_t>(slot.firstVariable)].name) +
                           " and " + KVcdScanner::quoted(variable.name) +
                           ", which differ in type or width");
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
        m_scanner.fail("the variables' total width is too large to import");
    int index = static_cast<int>(m_slots.size());
    m_slots.push_back(std::move(slot));
    std::int32_t shortIndex = shortCodeIndex(code);
    if (shortIndex < 0) {
        m_longCodes.emplace(std::string(code), index);
        return index;
    }
    // The table grows to the largest code in use: small files stay small.
    auto at = static_cast<std::size_t>(shortIndex);
    if (at >= m_shortCodes.size())
        m_shortCodes.resize(at + 1, 0);
    m_shortCodes[at] = index + 1;
    return index;
}

int KVcdHeader::lookupLong(std::string_view code) const {
    if (m_longCodes.empty())
        return -1;
    auto found = m_longCodes.find(code);
    return found == m_longCodes.end() ? -1 : found->second;
}
