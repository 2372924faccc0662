#include "storage/TypeMakers.h"

#include <array>
#include <cctype>
#include <charconv>
#include <cstring>
#include <limits>
#include <vector>

namespace {

// Nesting deeper than this is refused: no real type nests so deep, and a hostile string must not
// exhaust the stack.
constexpr int kMaxNesting = 64;

// A recursive-descent recogniser of the type-string grammar. It only checks the shape; the
// makers use it so that they never emit a string with a broken element or field type inside.
class GrammarCheck {
public:
    explicit GrammarCheck(std::string_view text) : m_text(text) {}

    bool wholeType() { return type(0) && m_pos == m_text.size(); }

private:
    bool type(int depth) {
        if (depth > kMaxNesting || m_pos >= m_text.size())
            return false;
        switch (m_text[m_pos++]) {
        case 'e':
            return name() && literals();
        case 'i':
        case 'f':
            return name() && range();
        case 'p':
            return name() && range() && units();
        case 'a':
            return name() && array(depth);
        case 'r':
            return name() && record(depth);
        default:
            return false;
        }
    }

    bool literals() {
        if (m_pos >= m_text.size())
            return false;
        const char form = m_text[m_pos++];
        std::uint64_t n = 0;
        if (!count(n) || n == 0)
            return false;
        if (form == 'c') {
            if (!accept(' ') || n > m_text.size() - m_pos)
                return false;
            m_pos += n;
            return true;
        }
        if (form != 'l')
            return false;
        for (std::uint64_t i = 0; i < n; ++i) {
            if (!name())
                return false;
        }
        return true;
    }

    bool units() {
        std::uint64_t n = 0;
        if (!accept('u') || !count(n) || n == 0)
            return false;
        for (std::uint64_t i = 0; i < n; ++i) {
            if (!name() || !integer() || !accept(';'))
                return false;
        }
        return true;
    }

    bool array(int depth) {
        std::uint64_t n = 0;
        if (!count(n) || n == 0)
            return false;
        for (std::uint64_t i = 0; i < n; ++i) {
            if (!range())
                return false;
        }
        return type(depth + 1);
    }

    bool record(int depth) {
        std::uint64_t n = 0;
        if (!count(n) || n == 0)
            return false;
        for (std::uint64_t i = 0; i < n; ++i) {
            if (!name() || !type(depth + 1))
                return false;
        }
        return true;
    }

    bool name() {
        std::uint64_t length = 0;
        if (!accept('#') || !count(length) || !accept('#') || length == 0 ||
            length > m_text.size() - m_pos)
            return false;
        m_pos += length;
        return true;
    }

    bool range() {
        return accept('(') && number() && m_pos < m_text.size() &&
               (m_text[m_pos] == 't' || m_text[m_pos] == 'd') && ++m_pos && number() && accept(')');
    }

    // A decimal count; the guard keeps it far from overflow.
    bool count(std::uint64_t& value) {
        const std::size_t start = m_pos;
        value = 0;
        while (m_pos < m_text.size() && std::isdigit(static_cast<unsigned char>(m_text[m_pos]))) {
            if (m_pos - start >= 18)
                return false;
            value = value * 10 + static_cast<std::uint64_t>(m_text[m_pos++] - '0');
        }
        return m_pos > start;
    }

    bool integer() {
        accept('-');
        return digits();
    }

    // Integer or real: [-]digits[.digits][e[+|-]digits].
    bool number() {
        if (!integer())
            return false;
        if (accept('.') && !digits())
            return false;
        if (accept('e') || accept('E')) {
            if (!accept('+'))
                accept('-');
            return digits();
        }
        return true;
    }

    bool digits() {
        const std::size_t start = m_pos;
        while (m_pos < m_text.size() && std::isdigit(static_cast<unsigned char>(m_text[m_pos])))
            ++m_pos;
        return m_pos > start;
    }

    bool accept(char c) {
        if (m_pos < m_text.size() && m_text[m_pos] == c) {
            ++m_pos;
            return true;
        }
        return false;
    }

    std::string_view m_text;
    std::size_t m_pos = 0;
};

void appendName(std::string& out, std::string_view name) {
    out += '#';
    out += std::to_string(name.size());
    out += '#';
    out += name;
}

void appendRange(std::string& out, std::int64_t left, std::int64_t right, int direction) {
    out += '(';
    out += std::to_string(left);
    out += direction == 1 ? 'd' : 't';
    out += std::to_string(right);
    out += ')';
}

std::string realText(double value) {
    std::array<char, 32> buffer{};
    auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    return std::string(buffer.data(), result.ptr);
}

// The VHDL names of the control characters 0..31; 127 is DEL, 128..159 are C128..C159.
constexpr std::array<const char*, 32> kControlNames = {
    "NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL", "BS",  "HT",  "LF",
    "VT",  "FF",  "CR",  "SO",  "SI",  "DLE", "DC1", "DC2", "DC3", "DC4", "NAK",
    "SYN", "ETB", "CAN", "EM",  "SUB", "ESC", "FSP", "GSP", "RSP", "USP"};

// The literal of character `code` of VHDL's Latin-1 character type. Printable characters are
// quoted; those above 127 are stored in UTF-8 so that every type string stays valid text.
std::string characterLiteral(int code) {
    if (code < 32)
        return kControlNames[static_cast<std::size_t>(code)];
    if (code == 127)
        return "DEL";
    if (code >= 128 && code < 160)
        return "C" + std::to_string(code);
    std::string literal = "'";
    if (code < 128) {
        literal += static_cast<char>(code);
    } else {
        literal += static_cast<char>(0xC0 | (code >> 6));
        literal += static_cast<char>(0x80 | (code & 0x3F));
    }
    return literal + "'";
}

std::string characterType() {
    std::string out = "e";
    appendName(out, "character");
    out += "l256";
    for (int code = 0; code < 256; ++code)
        appendName(out, characterLiteral(code));
    return out;
}

std::string timeType() {
    struct Unit {
        const char* name;
        std::int64_t femtoseconds;
    };
    static constexpr std::array<Unit, 8> kUnits = {{{"fs", 1},
                                                    {"ps", 1000},
                                                    {"ns", 1000000},
                                                    {"us", 1000000000},
                                                    {"ms", 1000000000000},
                                                    {"sec", 1000000000000000},
                                                    {"min", 60000000000000000},
                                                    {"hr", 3600000000000000000}}};
    std::string out = "p";
    appendName(out, "time");
    appendRange(out, std::numeric_limits<std::int64_t>::min(),
                std::numeric_limits<std::int64_t>::max(), 0);
    out += 'u';
    out += std::to_string(kUnits.size());
    for (const Unit& unit : kUnits) {
        appendName(out, unit.name);
        out += std::to_string(unit.femtoseconds);
        out += ';';
    }
    return out;
}

std::string integerType(std::string_view name, std::int64_t low) {
    std::string out = "i";
    appendName(out, name);
    appendRange(out, low, std::numeric_limits<std::int32_t>::max(), 0);
    return out;
}

std::optional<std::string> standardTypeString(int standardType) {
    switch (static_cast<StandardType>(standardType)) {
    case StandardType::StdLogic:
        return "e#9#std_logicc9 UX01ZWLH-";
    case StandardType::StdULogic:
        return "e#10#std_ulogicc9 UX01ZWLH-";
    case StandardType::Bit:
        return "e#3#bitc2 01";
    case StandardType::Boolean:
        return "e#7#booleanl2#5#false#4#true";
    case StandardType::Integer:
        return integerType("integer", std::numeric_limits<std::int32_t>::min());
    case StandardType::Natural:
        return integerType("natural", 0);
    case StandardType::Positive:
        return integerType("positive", 1);
    case StandardType::Real: {
        std::string out = "f";
        appendName(out, "real");
        out += '(' + realText(std::numeric_limits<double>::lowest()) + 't' +
               realText(std::numeric_limits<double>::max()) + ')';
        return out;
    }
    case StandardType::Time:
        return timeType();
    case StandardType::Character:
        return characterType();
    }
    return std::nullopt;
}

// The second half of the protocol: report the length, or copy the text when there is room.
TypeMakerResult deliver(const std::string& text, char* buffer, std::size_t* length) {
    if (length == nullptr)
        return kTypeMakerInvalidArgument;
    if (buffer == nullptr) {
        *length = text.size();
        return kTypeMakerOk;
    }
    if (*length < text.size())
        return kTypeMakerInvalidArgument;
    std::memcpy(buffer, text.data(), text.size());
    buffer[text.size()] = '\0';
    *length = text.size();
    return kTypeMakerOk;
}

bool isUsableName(const char* name) {
    return name != nullptr && *name != '\0';
}

template <typename Maker> std::optional<std::string> runProtocol(Maker maker) {
    std::size_t length = 0;
    if (maker(nullptr, &length) != kTypeMakerOk)
        return std::nullopt;
    std::vector<char> buffer(length + 1);
    if (maker(buffer.data(), &length) != kTypeMakerOk)
        return std::nullopt;
    return std::string(buffer.data(), length);
}

} // namespace

bool isWellFormedTypeString(std::string_view text) {
    return GrammarCheck(text).wholeType();
}

TypeMakerResult CreateStdTypeInfo(int standardType, char* buffer, std::size_t* length) {
    const std::optional<std::string> text = standardTypeString(standardType);
    if (!text)
        return kTypeMakerInvalidArgument;
    return deliver(*text, buffer, length);
}

TypeMakerResult CreateArrayTypeInfo(const char* typeName, const ArrayRange* ranges,
                                    int dimensionCount, const char* elementTypeInfo, char* buffer,
                                    std::size_t* length) {
    if (!isUsableName(typeName) || ranges == nullptr || dimensionCount <= 0 ||
        elementTypeInfo == nullptr || !isWellFormedTypeString(elementTypeInfo))
        return kTypeMakerInvalidArgument;
    std::string out = "a";
    appendName(out, typeName);
    out += std::to_string(dimensionCount);
    for (int i = 0; i < dimensionCount; ++i) {
        if (ranges[i].direction != 0 && ranges[i].direction != 1)
            return kTypeMakerInvalidArgument;
        appendRange(out, ranges[i].left, ranges[i].right, ranges[i].direction);
    }
    out += elementTypeInfo;
    return deliver(out, buffer, length);
}

TypeMakerResult CreateRecordTypeInfo(const char* typeName, const TRecordField* fields,
                                     int fieldCount, char* buffer, std::size_t* length) {
    if (!isUsableName(typeName) || fields == nullptr || fieldCount <= 0)
        return kTypeMakerInvalidArgument;
    std::string out = "r";
    appendName(out, typeName);
    out += std::to_string(fieldCount);
    for (int i = 0; i < fieldCount; ++i) {
        const TRecordField& field = fields[i];
        if (field.name.empty() || !isWellFormedTypeString(field.typeInfo))
            return kTypeMakerInvalidArgument;
        appendName(out, field.name);
        out += field.typeInfo;
    }
    return deliver(out, buffer, length);
}

std::optional<std::string> makeStdTypeInfo(int standardType) {
    return runProtocol([&](char* buffer, std::size_t* length) {
        return CreateStdTypeInfo(standardType, buffer, length);
    });
}

std::optional<std::string> makeArrayTypeInfo(std::string_view typeName,
                                             std::span<const ArrayRange> ranges,
                                             std::string_view elementTypeInfo) {
    // The C interface takes terminated strings; an embedded zero would cut them short.
    if (typeName.find('\0') != std::string_view::npos ||
        elementTypeInfo.find('\0') != std::string_view::npos ||
        ranges.size() > static_cast<std::size_t>(std::numeric_limits<int>::max()))
        return std::nullopt;
    const std::string name(typeName), element(elementTypeInfo);
    return runProtocol([&](char* buffer, std::size_t* length) {
        return CreateArrayTypeInfo(name.c_str(), ranges.data(), static_cast<int>(ranges.size()),
                                   element.c_str(), buffer, length);
    });
}

std::optional<std::string> makeRecordTypeInfo(std::string_view typeName,
                                              std::span<const TRecordField> fields) {
    if (typeName.find('\0') != std::string_view::npos ||
        fields.size() > static_cast<std::size_t>(std::numeric_limits<int>::max()))
        return std::nullopt;
    const std::string name(typeName);
    return runProtocol([&](char* buffer, std::size_t* length) {
        return CreateRecordTypeInfo(name.c_str(), fields.data(), static_cast<int>(fields.size()),
                                    buffer, length);
    });
}
