#include "storage/TypeMakers.h"

#include "storage/KTypeInfo.h"

#include <array>
#include <charconv>
#include <cstring>
#include <limits>
#include <vector>

namespace {

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

// The shortest text that reads back to the same double, with no '+' in the exponent.
std::string realText(double value) {
    std::array<char, 32> buffer{};
    auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    std::string text(buffer.data(), result.ptr);
    if (const std::size_t plus = text.find("e+"); plus != std::string::npos)
        text.erase(plus + 1, 1);
    return text;
}

// The VHDL names of the control characters 0..31; 127 is DEL, 128..159 are C128..C159.
constexpr std::array<const char*, 32> kControlNames = {
    "NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL", "BS",  "HT",  "LF",
    "VT",  "FF",  "CR",  "SO",  "SI",  "DLE", "DC1", "DC2", "DC3", "DC4", "NAK",
    "SYN", "ETB", "CAN", "EM",  "SUB", "ESC", "FSP", "GSP", "RSP", "USP"};

// The literal of character `code` of VHDL's Latin-1 character type: control characters by
// name, the others quoted, as their Latin-1 byte (a character literal is always three bytes).
std::string characterLiteral(int code) {
    if (code < 32)
        return kControlNames[static_cast<std::size_t>(code)];
    if (code == 127)
        return "DEL";
    if (code >= 128 && code < 160)
        return "C" + std::to_string(code);
    return {'\'', static_cast<char>(code), '\''};
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
// A string the type parser refuses (a broken element or field type, an array too large) is
// never handed out.
TypeMakerResult deliver(const std::string& text, char* buffer, std::size_t* length) {
    if (length == nullptr || !KTypeInfo::CheckTypeInfo(text))
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
        elementTypeInfo == nullptr)
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
        if (field.name.empty() || field.typeInfo.empty())
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
