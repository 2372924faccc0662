#include "storage/vcd/KVcdType.h"

#include <charconv>
#include <limits>

namespace {

constexpr std::string_view kStdLogicLiterals = "c9 UX01ZWLH-";
constexpr std::string_view kBitLiterals = "c2 01";

// Reads "#<length>#<text>" from the front of `text`.
std::optional<std::string_view> takeName(std::string_view& text) {
    if (text.empty() || text[0] != '#')
        return std::nullopt;
    std::size_t hash = text.find('#', 1);
    if (hash == std::string_view::npos)
        return std::nullopt;
    std::size_t length = 0;
    auto [end, error] = std::from_chars(text.data() + 1, text.data() + hash, length);
    if (error != std::errc() || end != text.data() + hash || length > text.size() - hash - 1)
        return std::nullopt;
    std::string_view name = text.substr(hash + 1, length);
    text.remove_prefix(hash + 1 + length);
    return name;
}

// Reads "(<left>d<right>)" or "(<left>t<right>)" of integers.
bool takeIntRange(std::string_view& text, std::int64_t& left, std::int64_t& right) {
    if (text.empty() || text[0] != '(')
        return false;
    const char* p = text.data() + 1;
    const char* end = text.data() + text.size();
    auto first = std::from_chars(p, end, left);
    if (first.ec != std::errc() || first.ptr == end || (*first.ptr != 'd' && *first.ptr != 't'))
        return false;
    auto second = std::from_chars(first.ptr + 1, end, right);
    if (second.ec != std::errc() || second.ptr == end || *second.ptr != ')')
        return false;
    text.remove_prefix(static_cast<std::size_t>(second.ptr + 1 - text.data()));
    return true;
}

// A logic enumeration: 0 not logic, 9 std_logic-like, 2 bit-like.
int logicStates(std::string_view text) {
    if (text.empty() || text[0] != 'e')
        return 0;
    text.remove_prefix(1);
    if (!takeName(text))
        return 0;
    if (text == kStdLogicLiterals)
        return 9;
    if (text == kBitLiterals)
        return 2;
    return 0;
}

std::string nameField(std::string_view name) {
    // Built by appending: GCC 12 at -O3 warns falsely (-Wrestrict) on chains of operator+.
    std::string out;
    out += '#';
    out += std::to_string(name.size());
    out += '#';
    out += name;
    return out;
}

} // namespace

KVcdType KVcdType::logicVector(std::int64_t left, std::int64_t right) {
    KVcdType type(Kind::LogicVector);
    type.m_left = left;
    type.m_right = right;
    return type;
}

std::optional<KVcdType> KVcdType::fromTypeInfoString(std::string_view text) {
    if (text.empty())
        return std::nullopt;
    if (int states = logicStates(text); states != 0) {
        KVcdType type(Kind::Logic);
        type.m_twoState = states == 2;
        return type;
    }
    char tag = text[0];
    text.remove_prefix(1);
    if (!takeName(text))
        return std::nullopt;
    std::int64_t left = 0;
    std::int64_t right = 0;
    if (tag == 'a') {
        if (text.empty() || text[0] != '1')
            return std::nullopt;
        text.remove_prefix(1);
        int states = takeIntRange(text, left, right) ? logicStates(text) : 0;
        if (states == 0)
            return std::nullopt;
        KVcdType type = logicVector(left, right);
        type.m_twoState = states == 2;
        return type;
    }
    if (tag == 'i') {
        if (!takeIntRange(text, left, right) || !text.empty())
            return std::nullopt;
        KVcdType type(Kind::Integer);
        auto fits = [](std::int64_t v) {
            return v >= std::numeric_limits<std::int32_t>::min() &&
                   v <= std::numeric_limits<std::int32_t>::max();
        };
        type.m_wideInteger = !fits(left) || !fits(right);
        return type;
    }
    if (tag == 'f')
        return KVcdType(Kind::Real);
    return std::nullopt;
}

std::uint32_t KVcdType::width() const {
    switch (m_kind) {
    case Kind::Logic:
        return 1;
    case Kind::LogicVector:
        return static_cast<std::uint32_t>(
            (m_left >= m_right ? m_left - m_right : m_right - m_left) + 1);
    case Kind::Integer:
        return m_wideInteger ? 64 : 32;
    case Kind::Real:
        return 64;
    }
    return 0;
}

std::uint32_t KVcdType::valueSize() const {
    switch (m_kind) {
    case Kind::Logic:
    case Kind::LogicVector:
        return width();
    case Kind::Integer:
        return m_wideInteger ? 8 : 4;
    case Kind::Real:
        return 8;
    }
    return 0;
}

std::string KVcdType::typeInfoString() const {
    std::string element = "e";
    element += nameField(m_twoState ? "bit" : "std_logic");
    element += m_twoState ? kBitLiterals : kStdLogicLiterals;
    std::string out;
    switch (m_kind) {
    case Kind::Logic:
        return element;
    case Kind::LogicVector:
        out = "a";
        out += nameField(m_twoState ? "bit_vector" : "std_logic_vector");
        out += "1(";
        out += std::to_string(m_left);
        out += m_left >= m_right ? 'd' : 't';
        out += std::to_string(m_right);
        out += ')';
        out += element;
        return out;
    case Kind::Integer:
        out = "i";
        out += nameField("integer");
        out += "(-2147483648t2147483647)";
        return out;
    case Kind::Real:
        out = "f";
        out += nameField("real");
        out += "(-1.7976931348623157e308t1.7976931348623157e308)";
        return out;
    }
    return out;
}
