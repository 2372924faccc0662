#pragma once

// Makers of type-information strings (grammar: docs/type-strings.md).
//
// The C-style makers follow a two-call length protocol so that callers with fixed buffers can
// use them: the first call passes a null buffer and receives the string's length in *length; the
// second passes that length and a buffer of length + 1 bytes, which receives the string and its
// terminating zero. Every maker answers kTypeMakerOk or kTypeMakerInvalidArgument (the value of
// E_INVALIDARG); a failure writes nothing into the buffer. C++ callers use the make...() wrappers,
// which run both calls and answer std::nullopt on failure.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

using TypeMakerResult = std::int32_t;
inline constexpr TypeMakerResult kTypeMakerOk = 0;
inline constexpr TypeMakerResult kTypeMakerInvalidArgument =
    static_cast<TypeMakerResult>(0x80070057u);

// The standard VHDL types a maker knows by number.
enum class StandardType {
    StdLogic = 1,
    StdULogic = 2,
    Bit = 3,
    Boolean = 4,
    Integer = 5,
    Natural = 6,
    Positive = 7,
    Real = 8,
    Time = 9,
    Character = 10,
};

// One dimension of an array type; direction 1 is downto, 0 is to.
struct ArrayRange {
    std::int64_t left = 0;
    std::int64_t right = 0;
    int direction = 0;
};

// One field of a record type.
struct TRecordField {
    std::string name;
    std::string typeInfo;

    void SetBoth(std::string_view fieldName, std::string_view fieldTypeInfo) {
        name = fieldName;
        typeInfo = fieldTypeInfo;
    }
};

TypeMakerResult CreateStdTypeInfo(int standardType, char* buffer, std::size_t* length);
TypeMakerResult CreateArrayTypeInfo(const char* typeName, const ArrayRange* ranges,
                                    int dimensionCount, const char* elementTypeInfo, char* buffer,
                                    std::size_t* length);
TypeMakerResult CreateRecordTypeInfo(const char* typeName, const TRecordField* fields,
                                     int fieldCount, char* buffer, std::size_t* length);

std::optional<std::string> makeStdTypeInfo(int standardType);
std::optional<std::string> makeArrayTypeInfo(std::string_view typeName,
                                             std::span<const ArrayRange> ranges,
                                             std::string_view elementTypeInfo);
std::optional<std::string> makeRecordTypeInfo(std::string_view typeName,
                                              std::span<const TRecordField> fields);

// True when `text` is one whole type-information string by the grammar alone (names, counts,
// ranges, nesting); it says nothing about whether the bounds make a sensible type.
bool isWellFormedTypeString(std::string_view text);
