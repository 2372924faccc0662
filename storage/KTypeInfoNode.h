#pragma once

// The parsed form of a type-information string, shared by the parser (KTypeInfoParser.cpp), the
// questions about a type (KTypeInfo.cpp) and the value texts (KTypeInfoFormat.cpp,
// KTypeInfoScan.cpp). Internal to storage/: callers see only KTypeInfo.
//
// A tree is immutable once parsed. Every node keeps its own type string (GetTypeInfoString of an
// element or field type returns it by reference), and everything the value code asks per
// element (a literal's character, its std_logic value, its bit value, its inverse) is computed
// once by the parser.

#include "storage/KTypeInfo.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace typeinfo {

// Limits that keep hostile strings harmless (docs/type-strings.md, "Limits").
inline constexpr int kMaxDepth = 64;
inline constexpr std::uint64_t kMaxValueSize = std::uint64_t{1} << 30;
inline constexpr std::uint64_t kMaxElements = std::uint64_t{1} << 30;
inline constexpr int kMaxLiterals = 65536;
inline constexpr int kMaxDimensions = 64;

} // namespace typeinfo

struct KTypeInfo::Node {
    Kind kind = None;
    bool physical = false;
    std::string text; // this type's own type-information string
    std::string name;
    std::uint32_t size = 0;       // bytes of a whole value
    std::uint32_t scalarSize = 0; // bytes of one innermost scalar, 0 when that is a record
    // Elements a value walks, counting a null array as one: bounds the work of a value text even
    // when null arrays make the bytes few.
    std::uint64_t cells = 1;

    // Enumerations. literals[i] is written as in the string: "false" or "'1'".
    std::vector<std::string> literals;
    std::vector<int> literalChar; // the byte of a character literal, else -1
    std::vector<std::pair<std::uint8_t, std::uint32_t>> charOrdinals;  // sorted by character
    std::unordered_map<std::string, std::uint32_t> identifierOrdinals; // keyed in lower case
    std::vector<StdLogic> stdLogic;     // per literal; X when it has none
    std::vector<std::int8_t> bitValue;  // per literal: 0, 1, or -1 (neither)
    std::vector<std::uint32_t> inverse; // per literal: ordinal of its inverse
    bool allCharacters = false;         // a logic element: every literal is a character literal
    bool bitLike = false;               // a logic element with '0' and '1'
    bool booleanLike = false;           // exactly the identifiers false and true
    bool stdLogicLike = false;          // a logic element drawn from U X 0 1 Z W L H - (any case)
    bool hasCharacters = false;         // at least one character literal
    std::int64_t ordinalZero = -1, ordinalOne = -1; // of '0' and '1'

    // Integers, physicals (bounds in primary units) and reals.
    std::int64_t left = 0, right = 0;
    double realLeft = 0, realRight = 0;
    int direction = To;
    struct Unit {
        std::string name;
        std::int64_t factor; // multiple of the primary unit
    };
    std::vector<Unit> units;

    // Arrays.
    struct Range {
        std::int64_t left, right;
        int direction;
        std::int64_t length; // 0 for a null range
    };
    std::vector<Range> dimensions;
    const Node* element = nullptr;
    std::int64_t elementCount = 0;

    // Records.
    struct Field {
        std::string name;
        const Node* type;
        std::uint32_t offset;
    };
    std::vector<Field> fields;
};

namespace typeinfo {

using Node = KTypeInfo::Node;

// Owns every node of one parsed string; KTypeInfo handles keep it alive.
struct Tree {
    std::vector<std::unique_ptr<Node>> nodes;
};

// Parses `text`; on failure sets `error` (when given) to "at byte N: expected ...".
std::shared_ptr<const Tree> parseTypeString(std::string_view text, std::string* error);

// Byte images of scalars (little-endian, layout in KTypeInfo.h).
std::uint32_t readOrdinal(const Node& node, const std::uint8_t* value);
void writeOrdinal(const Node& node, std::uint8_t* value, std::uint32_t ordinal);
std::int64_t readInteger(const Node& node, const std::uint8_t* value);
void writeInteger(const Node& node, std::uint8_t* value, std::int64_t number);
double readReal(const std::uint8_t* value);
void writeReal(std::uint8_t* value, double number);

// Ordinal of a character literal, or -1.
std::int64_t ordinalOfChar(const Node& node, unsigned char c);
// Ordinal of a literal given by its text: character literal with or without quotes, identifier
// in any case; for logic elements a letter in the other case too. -1 when none matches.
std::int64_t findLiteral(const Node& node, std::string_view text);

bool equalsIgnoreCase(std::string_view a, std::string_view b);
std::string lowered(std::string_view text);
std::string_view trim(std::string_view text);

// Replaces every enumeration value inside `value` by its inverse (0/1, L/H, false/true).
void invertValue(const Node& node, std::uint8_t* value);

std::string formatValue(const Node& node, const std::uint8_t* value, int radix);
bool scanValue(const Node& node, std::string_view text, std::uint8_t* value, int radix);

// Whether the array's elements are shown as one string of characters (an enumeration that has
// character literals but is not a logic element, such as CHARACTER).
inline bool isStringElement(const Node& element) {
    return element.kind == KTypeInfo::Enumeration && element.hasCharacters &&
           !element.allCharacters;
}
// A signed array is shown as a two's-complement number in radix 10.
bool isSignedArray(const Node& array);

} // namespace typeinfo
