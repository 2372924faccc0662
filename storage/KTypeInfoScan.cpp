// Text to bytes: the inverse of KTypeInfoFormat.cpp, generous in what it accepts
// (docs/type-strings.md, "Value texts"). Every function writes the whole value or fails; the
// caller (KTypeInfo::GetBytes) scans into scratch bytes so a failure leaves the target as it was.

#include "storage/KTypeInfoNode.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <optional>

namespace typeinfo {
namespace {

int digitValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Digits of `base` with optional underscores between them, as an unsigned 64-bit magnitude.
std::optional<std::uint64_t> parseMagnitude(std::string_view text, unsigned base) {
    if (text.empty() || text.back() == '_')
        return std::nullopt;
    std::uint64_t value = 0;
    bool any = false;
    for (char c : text) {
        if (c == '_' && any)
            continue;
        int digit = digitValue(c);
        if (digit < 0 || static_cast<unsigned>(digit) >= base)
            return std::nullopt;
        if (value >
            (std::numeric_limits<std::uint64_t>::max() - static_cast<unsigned>(digit)) / base)
            return std::nullopt;
        value = value * base + static_cast<unsigned>(digit);
        any = true;
    }
    if (!any)
        return std::nullopt;
    return value;
}

std::optional<std::int64_t> applySign(std::uint64_t magnitude, bool negative) {
    constexpr std::uint64_t limit = std::uint64_t{1} << 63;
    if (negative)
        return magnitude <= limit
                   ? std::optional<std::int64_t>(static_cast<std::int64_t>(0 - magnitude))
                   : std::nullopt;
    return magnitude < limit ? std::optional<std::int64_t>(static_cast<std::int64_t>(magnitude))
                             : std::nullopt;
}

// An integer text: [sign] digits in the radix, or a VHDL based literal [sign] base#digits#.
// Bare digits in radix 2, 8 or 16 are the two's-complement pattern of the value's size.
std::optional<std::int64_t> parseIntegerText(std::string_view text, int radix, std::uint32_t size) {
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (auto hash = text.find('#'); hash != std::string_view::npos) {
        auto base = parseMagnitude(text.substr(0, hash), 10);
        if (!base || *base < 2 || *base > 16 || text.size() < hash + 2 || text.back() != '#')
            return std::nullopt;
        auto magnitude = parseMagnitude(text.substr(hash + 1, text.size() - hash - 2),
                                        static_cast<unsigned>(*base));
        return magnitude ? applySign(*magnitude, negative) : std::nullopt;
    }
    if (radix != 2 && radix != 8 && radix != 16) {
        auto magnitude = parseMagnitude(text, 10);
        return magnitude ? applySign(*magnitude, negative) : std::nullopt;
    }
    auto magnitude = parseMagnitude(text, static_cast<unsigned>(radix));
    if (!magnitude)
        return std::nullopt;
    if (negative)
        return applySign(*magnitude, true);
    if (size == 4) {
        if (*magnitude > 0xFFFFFFFFu)
            return std::nullopt;
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(*magnitude));
    }
    return static_cast<std::int64_t>(*magnitude);
}

bool inRange(std::int64_t value, std::int64_t a, std::int64_t b) {
    return value >= std::min(a, b) && value <= std::max(a, b);
}

// "10 ns", "1.5 us", "7" (primary unit): the count of primary units, which must be whole.
std::optional<std::int64_t> parsePhysicalText(const Node& node, std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    __int128 mantissa = 0, scale = 1;
    bool any = false, fraction = false;
    std::size_t pos = 0;
    for (; pos < text.size(); ++pos) {
        char c = text[pos];
        if (c == '_' && any)
            continue;
        if (c == '.' && !fraction && any) {
            fraction = true;
            continue;
        }
        if (c < '0' || c > '9')
            break;
        if (mantissa > (__int128{1} << 100) || scale > (__int128{1} << 100))
            return std::nullopt;
        mantissa = mantissa * 10 + (c - '0');
        if (fraction)
            scale *= 10;
        any = true;
    }
    if (!any)
        return std::nullopt;
    std::string_view unitName = trim(text.substr(pos));
    std::int64_t factor = 1;
    if (!unitName.empty()) {
        auto unit = std::find_if(node.units.begin(), node.units.end(), [&](const Node::Unit& u) {
            return equalsIgnoreCase(u.name, unitName);
        });
        if (unit == node.units.end())
            return std::nullopt;
        factor = unit->factor;
    }
    __int128 count;
    if (__builtin_mul_overflow(mantissa, __int128{factor}, &count) || count % scale != 0)
        return std::nullopt;
    count /= scale;
    if (count > std::numeric_limits<std::int64_t>::max() + __int128{negative ? 1 : 0})
        return std::nullopt;
    return static_cast<std::int64_t>(negative ? -count : count);
}

std::optional<double> parseRealText(std::string_view text) {
    std::string cleaned;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (text[i] != '_' || i == 0 || i + 1 == text.size())
            cleaned.push_back(text[i]);
    std::string_view view = cleaned;
    if (!view.empty() && view.front() == '+')
        view.remove_prefix(1);
    double value = 0;
    auto [ptr, ec] = std::from_chars(view.data(), view.data() + view.size(), value);
    if (view.empty() || ec != std::errc() || ptr != view.data() + view.size() ||
        !std::isfinite(value))
        return std::nullopt;
    return value;
}

// "(a,b,c)" split at the commas of its own level; nested groups, strings and character literals
// stay whole. Nothing when the text is not one group or an element is empty.
std::optional<std::vector<std::string_view>> splitComposite(std::string_view text) {
    text = trim(text);
    if (text.size() < 2 || text.front() != '(' || text.back() != ')')
        return std::nullopt;
    std::string_view inner = text.substr(1, text.size() - 2);
    std::vector<std::string_view> parts;
    int depth = 0;
    std::size_t start = 0;
    for (std::size_t i = 0; i < inner.size(); ++i) {
        char c = inner[i];
        if (c == '\'' && i + 2 < inner.size() && inner[i + 2] == '\'') {
            i += 2;
        } else if (c == '"') {
            while (++i < inner.size() && inner[i] != '"') {
            }
        } else if (c == '(') {
            ++depth;
        } else if (c == ')') {
            if (--depth < 0)
                return std::nullopt;
        } else if (c == ',' && depth == 0) {
            parts.push_back(trim(inner.substr(start, i - start)));
            start = i + 1;
        }
    }
    if (depth != 0)
        return std::nullopt;
    parts.push_back(trim(inner.substr(start)));
    for (auto part : parts)
        if (part.empty())
            return std::nullopt;
    return parts;
}

// A decimal number as the two's-complement pattern of `width` bits, most significant first.
bool decimalToBits(std::string_view text, bool isSigned, std::size_t width,
                   std::vector<std::uint8_t>& bits) {
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    std::vector<std::uint32_t> limbs(width / 32 + 1, 0); // little-endian
    auto bitAt = [&](std::size_t i) { return (limbs[i / 32] >> (i % 32)) & 1u; };
    auto highBitsClear = [&](std::size_t from) {
        for (std::size_t i = from; i < limbs.size() * 32; ++i)
            if (bitAt(i))
                return false;
        return true;
    };
    bool any = false;
    for (char c : text) {
        if (c == '_' && any)
            continue;
        if (c < '0' || c > '9')
            return false;
        std::uint64_t carry = static_cast<unsigned>(c - '0');
        for (auto& limb : limbs) {
            std::uint64_t current = std::uint64_t{limb} * 10 + carry;
            limb = static_cast<std::uint32_t>(current);
            carry = current >> 32;
        }
        if (carry || limbs.back() >> (width % 32) != 0)
            return false; // the magnitude needs more than `width` bits
        any = true;
    }
    if (!any)
        return false;
    bool zero = highBitsClear(0);
    if (negative && !zero && !isSigned)
        return false;
    if (isSigned && width > 0 && bitAt(width - 1)) {
        // Only -2^(width-1) may reach the sign bit.
        if (!negative || !highBitsClear(width) || [&] {
                for (std::size_t i = 0; i + 1 < width; ++i)
                    if (bitAt(i))
                        return true;
                return false;
            }())
            return false;
    }
    bits.assign(width, 0);
    for (std::size_t i = 0; i < width; ++i)
        bits[width - 1 - i] = static_cast<std::uint8_t>(bitAt(i));
    if (negative && !zero) {
        for (auto& bit : bits)
            bit ^= 1;
        for (std::size_t i = width; i-- > 0;) {
            bits[i] ^= 1;
            if (bits[i])
                break;
        }
    }
    return true;
}

// A one-dimensional array of logic elements, some of which are blanks: its text is not trimmed.
bool keepsBlanks(const Node& node) {
    if (node.kind != KTypeInfo::Array || node.dimensions.size() != 1 ||
        node.element->kind != KTypeInfo::Enumeration || !node.element->allCharacters)
        return false;
    for (unsigned char c : {' ', '\t', '\n', '\r'})
        if (ordinalOfChar(*node.element, c) >= 0)
            return true;
    return false;
}

bool writeOrdinals(const Node& element, const std::vector<std::uint32_t>& ordinals,
                   std::uint8_t* value) {
    for (std::size_t i = 0; i < ordinals.size(); ++i)
        writeOrdinal(element, value + i * element.size, ordinals[i]);
    return true;
}

// VHDL literals "0101", b"0101", o"17", x"A5": strips the quotes and sets the radix. Not for
// elements that include '"' themselves: their text is read as it stands.
bool readBitStringLiteral(const Node& element, std::string_view& text, int& radix) {
    std::size_t prefix = text.size() >= 3 && text[1] == '"' ? 1 : 0;
    if (ordinalOfChar(element, '"') >= 0 || text.size() < prefix + 2 || text[prefix] != '"' ||
        text.back() != '"') {
        if (!element.bitLike || (radix != 8 && radix != 10 && radix != 16))
            radix = 2;
        return true;
    }
    char base = prefix ? static_cast<char>(text[0] | 0x20) : 'b';
    if (base != 'b' && base != 'o' && base != 'x')
        return false;
    radix = base == 'b' ? 2 : base == 'o' ? 8 : 16;
    text = text.substr(prefix + 1, text.size() - prefix - 2);
    return radix == 2 || element.bitLike;
}

// Elements from digits (radix 8, 16: each expands to 3 or 4 bits) or element characters (radix
// 2; in radix 8 and 16 a character stands for 3 or 4 copies of itself).
bool expandLogicText(const Node& element, std::string_view text, int radix,
                     std::vector<std::uint32_t>& ordinals) {
    auto zero = static_cast<std::uint32_t>(element.ordinalZero);
    auto one = static_cast<std::uint32_t>(element.ordinalOne);
    bool underscoreIsLiteral = ordinalOfChar(element, '_') >= 0;
    unsigned groupBits = radix == 16 ? 4 : radix == 8 ? 3 : 1;
    for (char c : text) {
        if (c == '_' && !underscoreIsLiteral)
            continue;
        int digit = digitValue(c);
        if (radix != 2 && digit >= 0 && digit < radix) {
            for (unsigned b = groupBits; b-- > 0;)
                ordinals.push_back((digit >> b) & 1 ? one : zero);
            continue;
        }
        std::int64_t ordinal = findLiteral(element, std::string_view(&c, 1));
        if (ordinal < 0)
            return false;
        ordinals.insert(ordinals.end(), groupBits, static_cast<std::uint32_t>(ordinal));
    }
    return true;
}

// Extends a short text on the left with '0'. A long one fails, except that in radix 8 and 16
// (whose digits cover whole groups) a surplus on the left made of one repeated element that is
// not a '1' goes: the short leftmost group of the text's own format.
bool fitLogicLength(const Node& element, std::vector<std::uint32_t>& ordinals, std::size_t wanted,
                    int radix) {
    if (ordinals.empty() && wanted > 0)
        return false;
    if (ordinals.size() < wanted) {
        if (element.ordinalZero < 0)
            return false;
        ordinals.insert(ordinals.begin(), wanted - ordinals.size(),
                        static_cast<std::uint32_t>(element.ordinalZero));
    } else if (ordinals.size() > wanted) {
        auto surplus = static_cast<std::ptrdiff_t>(ordinals.size() - wanted);
        std::uint32_t first = ordinals.front();
        bool droppable = radix != 2 && element.bitValue[first] != 1 &&
                         std::all_of(ordinals.begin(), ordinals.begin() + surplus,
                                     [&](std::uint32_t o) { return o == first; });
        if (!droppable)
            return false;
        ordinals.erase(ordinals.begin(), ordinals.begin() + surplus);
    }
    return true;
}

bool scanLogicArray(const Node& array, const Node& element, std::int64_t length,
                    std::string_view text, std::uint8_t* value, int radix) {
    if (!readBitStringLiteral(element, text, radix))
        return false;
    auto wanted = static_cast<std::size_t>(length);
    std::vector<std::uint32_t> ordinals;
    if (radix == 10) {
        std::vector<std::uint8_t> bits;
        if (!decimalToBits(text, isSignedArray(array), wanted, bits))
            return false;
        for (auto bit : bits)
            ordinals.push_back(
                static_cast<std::uint32_t>(bit ? element.ordinalOne : element.ordinalZero));
    } else if (!expandLogicText(element, text, radix, ordinals) ||
               !fitLogicLength(element, ordinals, wanted, radix)) {
        return false;
    }
    return writeOrdinals(element, ordinals, value);
}

// Parts of a VHDL string joined by '&': "text" (a quote doubled), 'c', or a literal's name.
std::optional<std::vector<std::uint32_t>> scanStringParts(const Node& element,
                                                          std::string_view text) {
    std::vector<std::uint32_t> ordinals;
    std::size_t pos = 0;
    auto skipBlanks = [&] {
        while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t'))
            ++pos;
    };
    while (true) {
        skipBlanks();
        if (pos >= text.size())
            return std::nullopt;
        if (text[pos] == '"') {
            while (true) {
                if (++pos >= text.size())
                    return std::nullopt;
                if (text[pos] == '"' && !(pos + 1 < text.size() && text[pos + 1] == '"'))
                    break;
                if (text[pos] == '"')
                    ++pos;
                std::int64_t ordinal =
                    ordinalOfChar(element, static_cast<unsigned char>(text[pos]));
                if (ordinal < 0)
                    return std::nullopt;
                ordinals.push_back(static_cast<std::uint32_t>(ordinal));
            }
            ++pos;
        } else {
            std::size_t start = pos;
            if (text[pos] == '\'' && pos + 2 < text.size() && text[pos + 2] == '\'')
                pos += 3;
            else
                while (pos < text.size() && text[pos] != ' ' && text[pos] != '&')
                    ++pos;
            std::int64_t ordinal = findLiteral(element, text.substr(start, pos - start));
            if (ordinal < 0)
                return std::nullopt;
            ordinals.push_back(static_cast<std::uint32_t>(ordinal));
        }
        skipBlanks();
        if (pos >= text.size())
            return ordinals;
        if (text[pos++] != '&')
            return std::nullopt;
    }
}

bool scanString(const Node& element, std::int64_t length, std::string_view text,
                std::uint8_t* value) {
    auto ordinals = scanStringParts(element, text);
    if (!ordinals) {
        // Bare text without quotes: its characters as they stand.
        ordinals.emplace();
        for (char c : text) {
            std::int64_t ordinal = ordinalOfChar(element, static_cast<unsigned char>(c));
            if (ordinal < 0)
                return false;
            ordinals->push_back(static_cast<std::uint32_t>(ordinal));
        }
    }
    auto wanted = static_cast<std::size_t>(length);
    std::int64_t blank = ordinalOfChar(element, ' ');
    if (ordinals->size() > wanted || (ordinals->size() < wanted && blank < 0))
        return false;
    ordinals->resize(wanted, static_cast<std::uint32_t>(blank)); // shorter texts end in blanks
    return writeOrdinals(element, *ordinals, value);
}

bool scanArray(const Node& array, std::size_t dimension, std::string_view text, std::uint8_t* value,
               int radix) {
    const Node& element = *array.element;
    std::int64_t length = array.dimensions[dimension].length;
    if (dimension + 1 == array.dimensions.size()) {
        if (element.kind == KTypeInfo::Enumeration && element.allCharacters)
            return scanLogicArray(array, element, length, text, value, radix);
        if (isStringElement(element))
            return scanString(element, length, text, value);
    }
    if (length == 0)
        return text == "()" || text == "\"\"" || text.empty();
    auto parts = splitComposite(text);
    if (!parts || parts->size() != static_cast<std::size_t>(length))
        return false;
    std::uint64_t stride = element.size;
    for (std::size_t d = dimension + 1; d < array.dimensions.size(); ++d)
        stride *= static_cast<std::uint64_t>(array.dimensions[d].length);
    for (std::size_t i = 0; i < parts->size(); ++i) {
        bool ok = dimension + 1 < array.dimensions.size()
                      ? scanArray(array, dimension + 1, (*parts)[i], value + i * stride, radix)
                      : scanValue(element, (*parts)[i], value + i * stride, radix);
        if (!ok)
            return false;
    }
    return true;
}

} // namespace

bool scanValue(const Node& node, std::string_view text, std::uint8_t* value, int radix) {
    if (!keepsBlanks(node))
        text = trim(text);
    switch (node.kind) {
    case KTypeInfo::Enumeration: {
        std::int64_t ordinal = findLiteral(node, text);
        if (ordinal < 0 && node.booleanLike && (text == "0" || text == "1"))
            ordinal = equalsIgnoreCase(node.literals[0], text == "1" ? "true" : "false") ? 0 : 1;
        if (ordinal < 0)
            return false;
        writeOrdinal(node, value, static_cast<std::uint32_t>(ordinal));
        return true;
    }
    case KTypeInfo::Integer: {
        auto number = node.physical ? parsePhysicalText(node, text)
                                    : parseIntegerText(text, radix, node.size);
        if (!number || !inRange(*number, node.left, node.right))
            return false;
        writeInteger(node, value, *number);
        return true;
    }
    case KTypeInfo::Real: {
        auto number = parseRealText(text);
        if (!number || *number < std::min(node.realLeft, node.realRight) ||
            *number > std::max(node.realLeft, node.realRight))
            return false;
        writeReal(value, *number);
        return true;
    }
    case KTypeInfo::Array:
        return scanArray(node, 0, text, value, radix);
    case KTypeInfo::Record: {
        auto parts = splitComposite(text);
        if (!parts || parts->size() != node.fields.size())
            return false;
        for (std::size_t i = 0; i < parts->size(); ++i)
            if (!scanValue(*node.fields[i].type, (*parts)[i], value + node.fields[i].offset, radix))
                return false;
        return true;
    }
    default:
        return false;
    }
}

} // namespace typeinfo
