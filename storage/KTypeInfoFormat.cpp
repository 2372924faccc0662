// Bytes to text: the value texts of docs/type-strings.md ("Value texts").
//
// Scalars print alone; an array of logic elements prints as one string of digits or element
// characters; an array of CHARACTER-like elements prints as a VHDL string; every other composite
// prints as "(" elements separated by "," ")". A several-dimensional array is an array (over its
// first dimension) of arrays of the remaining dimensions, so each row prints as a one-dimensional
// array would.

#include "storage/KTypeInfoNode.h"

#include <algorithm>
#include <charconv>

namespace typeinfo {
namespace {

constexpr char kDigits[] = "0123456789ABCDEF";

// The unsigned decimal text of a binary number given most significant bit first.
std::string decimalOfBits(const std::vector<std::uint8_t>& bits) {
    std::size_t n = bits.size();
    std::vector<std::uint32_t> limbs((n + 31) / 32, 0); // little-endian
    for (std::size_t i = 0; i < n; ++i)
        if (bits[n - 1 - i])
            limbs[i / 32] |= std::uint32_t{1} << (i % 32);
    std::string text;
    while (!limbs.empty()) {
        std::uint64_t remainder = 0;
        for (std::size_t i = limbs.size(); i-- > 0;) {
            std::uint64_t current = (remainder << 32) | limbs[i];
            limbs[i] = static_cast<std::uint32_t>(current / 1000000000u);
            remainder = current % 1000000000u;
        }
        while (!limbs.empty() && limbs.back() == 0)
            limbs.pop_back();
        for (int d = 0; d < 9 && (remainder || !limbs.empty()); ++d) {
            text.push_back(static_cast<char>('0' + remainder % 10));
            remainder /= 10;
        }
    }
    if (text.empty())
        text = "0";
    std::reverse(text.begin(), text.end());
    return text;
}

std::string formatInteger(const Node& node, std::int64_t number, int radix) {
    if (radix != 2 && radix != 8 && radix != 16)
        return std::to_string(number);
    // The two's-complement pattern of the value's size, without leading zeros.
    std::uint64_t bits = static_cast<std::uint64_t>(number);
    if (node.size == 4)
        bits &= 0xFFFFFFFFu;
    unsigned shift = radix == 2 ? 1 : radix == 8 ? 3 : 4;
    std::string text;
    do {
        text.push_back(kDigits[bits & static_cast<unsigned>(radix - 1)]);
        bits >>= shift;
    } while (bits);
    std::reverse(text.begin(), text.end());
    return text;
}

std::string formatPhysical(const Node& node, std::int64_t count) {
    // The largest unit that divides the count exactly; the primary unit (factor 1) always does.
    const Node::Unit* best = &node.units.front();
    if (count != 0)
        for (const auto& unit : node.units)
            if (count % unit.factor == 0 && unit.factor > best->factor)
                best = &unit;
    return std::to_string(count / best->factor) + " " + best->name;
}

std::string formatReal(double number) {
    char buffer[64];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, number);
    return ec == std::errc() ? std::string(buffer, end) : std::string("?");
}

std::string formatEnumeration(const Node& node, const std::uint8_t* value) {
    std::uint32_t ordinal = readOrdinal(node, value);
    if (ordinal >= node.literals.size())
        return "?";
    int c = node.literalChar[ordinal];
    return c >= 0 ? std::string(1, static_cast<char>(c)) : node.literals[ordinal];
}

// One element of a logic array as a bit (0, 1) or -1, and its character.
struct LogicElement {
    int bit;
    char character;
};

LogicElement logicElement(const Node& element, const std::uint8_t* value) {
    std::uint32_t ordinal = readOrdinal(element, value);
    if (ordinal >= element.literals.size())
        return {-1, '?'};
    return {element.bitValue[ordinal], static_cast<char>(element.literalChar[ordinal])};
}

std::string formatLogicGroups(const Node& element, const std::uint8_t* value, std::int64_t length,
                              unsigned groupBits) {
    std::string text;
    text.reserve(static_cast<std::size_t>(length / groupBits + 1));
    // Groups from the right (least significant) end; the leftmost one may be short.
    for (std::int64_t end = length; end > 0; end -= groupBits) {
        std::int64_t begin = std::max<std::int64_t>(0, end - groupBits);
        unsigned digit = 0;
        bool binary = true, uniform = true;
        char first = logicElement(element, value + begin * element.size).character;
        for (std::int64_t i = begin; i < end; ++i) {
            LogicElement e = logicElement(element, value + i * element.size);
            binary = binary && e.bit >= 0;
            uniform = uniform && e.character == first;
            digit = (digit << 1) | (e.bit > 0 ? 1u : 0u);
        }
        text.push_back(binary ? kDigits[digit] : uniform ? first : 'X');
    }
    std::reverse(text.begin(), text.end());
    return text;
}

std::string formatLogicDecimal(const Node& array, const Node& element, const std::uint8_t* value,
                               std::int64_t length) {
    std::vector<std::uint8_t> bits(static_cast<std::size_t>(length));
    for (std::int64_t i = 0; i < length; ++i) {
        int bit = logicElement(element, value + i * element.size).bit;
        if (bit < 0)
            return "X";
        bits[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(bit);
    }
    if (!isSignedArray(array) || bits.empty() || !bits.front())
        return decimalOfBits(bits);
    // Negative: the magnitude is the two's complement of the pattern.
    for (auto& bit : bits)
        bit ^= 1;
    for (std::size_t i = bits.size(); i-- > 0;) {
        bits[i] ^= 1;
        if (bits[i])
            break;
    }
    return "-" + decimalOfBits(bits);
}

std::string formatLogicArray(const Node& array, const Node& element, const std::uint8_t* value,
                             std::int64_t length, int radix) {
    if (element.bitLike && radix == 16)
        return formatLogicGroups(element, value, length, 4);
    if (element.bitLike && radix == 8)
        return formatLogicGroups(element, value, length, 3);
    if (element.bitLike && radix == 10)
        return formatLogicDecimal(array, element, value, length);
    std::string text(static_cast<std::size_t>(length), '?');
    for (std::int64_t i = 0; i < length; ++i)
        text[static_cast<std::size_t>(i)] =
            logicElement(element, value + i * element.size).character;
    return text;
}

// A VHDL string: character literals inside quotes (a quote doubled), other literals by name,
// joined by " & ": "ab" & LF & "c".
std::string formatString(const Node& element, const std::uint8_t* value, std::int64_t length) {
    std::string text;
    bool open = false;
    for (std::int64_t i = 0; i < length; ++i) {
        std::uint32_t ordinal = readOrdinal(element, value + i * element.size);
        int c = ordinal < element.literals.size() ? element.literalChar[ordinal] : -1;
        if (c >= 0) {
            if (!open)
                text += text.empty() ? "\"" : " & \"";
            open = true;
            text.push_back(static_cast<char>(c));
            if (c == '"')
                text.push_back('"');
        } else {
            text += open ? "\" & " : text.empty() ? "" : " & ";
            open = false;
            text += ordinal < element.literals.size() ? element.literals[ordinal] : "?";
        }
    }
    if (open || text.empty())
        text += text.empty() ? "\"\"" : "\"";
    return text;
}

std::string formatArray(const Node& array, std::size_t dimension, const std::uint8_t* value,
                        int radix) {
    const Node& element = *array.element;
    std::int64_t length = array.dimensions[dimension].length;
    if (dimension + 1 < array.dimensions.size()) {
        std::uint64_t stride = element.size;
        for (std::size_t d = dimension + 1; d < array.dimensions.size(); ++d)
            stride *= static_cast<std::uint64_t>(array.dimensions[d].length);
        std::string text = "(";
        for (std::int64_t i = 0; i < length; ++i)
            text += (i ? "," : "") + formatArray(array, dimension + 1, value + i * stride, radix);
        return text + ")";
    }
    if (element.kind == KTypeInfo::Enumeration && element.allCharacters)
        return formatLogicArray(array, element, value, length, radix);
    if (isStringElement(element))
        return formatString(element, value, length);
    std::string text = "(";
    for (std::int64_t i = 0; i < length; ++i)
        text += (i ? "," : "") + formatValue(element, value + i * element.size, radix);
    return text + ")";
}

} // namespace

std::string formatValue(const Node& node, const std::uint8_t* value, int radix) {
    switch (node.kind) {
    case KTypeInfo::Enumeration:
        return formatEnumeration(node, value);
    case KTypeInfo::Integer:
        if (node.physical)
            return formatPhysical(node, readInteger(node, value));
        return formatInteger(node, readInteger(node, value), radix);
    case KTypeInfo::Real:
        return formatReal(readReal(value));
    case KTypeInfo::Array:
        return formatArray(node, 0, value, radix);
    case KTypeInfo::Record: {
        std::string text = "(";
        for (std::size_t i = 0; i < node.fields.size(); ++i)
            text += (i ? "," : "") +
                    formatValue(*node.fields[i].type, value + node.fields[i].offset, radix);
        return text + ")";
    }
    default:
        return {};
    }
}

} // namespace typeinfo
