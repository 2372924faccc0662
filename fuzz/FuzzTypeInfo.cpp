// Fuzz target of the type-information strings (docs/type-strings.md).
//
// The input up to its first NUL byte is a type string; the bytes after it (or, without a NUL,
// the whole input) are a byte pattern for a value. When the string parses, every question about
// the type is asked, and a zero value and the pattern are formatted in every radix, inverted and
// not, and read back. Nothing may crash; a logic array's radix-2 text must read back to the very
// same bytes.

#include "storage/KTypeInfo.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

// Values past this size or walk would only make runs slow.
constexpr std::uint32_t kMaxFuzzValue = 1 << 12;
constexpr std::uint64_t kMaxFuzzWalk = 1 << 12;

std::uint64_t walkOf(const KTypeInfo& type) {
    switch (type.GetKind()) {
    case KTypeInfo::Array: {
        // Each dimension's rows are walked even when a later dimension is null.
        std::uint64_t walk = walkOf(type.elementType());
        for (int d = type.GetNbOfDimensions(); d-- > 0;) {
            std::int64_t left = 0, right = 0;
            int direction = 0;
            type.GetArrayDimensionRanges(d, left, right, direction);
            std::int64_t low = direction == KTypeInfo::To ? left : right;
            std::int64_t high = direction == KTypeInfo::To ? right : left;
            auto length =
                high < low ? 0
                           : static_cast<std::uint64_t>(high) - static_cast<std::uint64_t>(low) + 1;
            walk = length * std::max<std::uint64_t>(1, walk);
        }
        return walk;
    }
    case KTypeInfo::Record: {
        std::uint64_t sum = 0;
        for (int i = 0; i < type.GetNbOfFields(); ++i)
            sum += std::max<std::uint64_t>(1, walkOf(type.fieldType(i)));
        return sum;
    }
    default:
        return 1;
    }
}

void askEverything(const KTypeInfo& type) {
    (void)type.GetTypeIdentifier();
    (void)type.IsSimple();
    for (int i = 0; i < type.GetNbOfValues(); ++i)
        (void)type.GetLiteral(i);
    std::int64_t left, right;
    int direction;
    for (int d = 0; d < type.GetNbOfDimensions(); ++d)
        type.GetArrayDimensionRanges(d, left, right, direction);
    for (int i = 0; i < type.GetNbOfFields(); ++i) {
        (void)type.GetFieldName(i);
        (void)type.fieldOffset(i);
        if (KTypeInfo::fromString(type.GetFieldTypeInfo(i)) != type.fieldType(i))
            std::abort(); // a field's string must parse to the same type
    }
    if (type.GetKind() == KTypeInfo::Array &&
        KTypeInfo::fromString(type.GetArrayElementTypeInfo()) != type.elementType())
        std::abort();
}

// A one-dimensional array of logic elements whose every element is a valid ordinal.
bool isValidLogicArray(const KTypeInfo& type, const std::vector<std::uint8_t>& value) {
    if (type.GetKind() != KTypeInfo::Array || type.GetNbOfDimensions() != 1)
        return false;
    KTypeInfo element = type.elementType();
    if (element.GetKind() != KTypeInfo::Enumeration)
        return false;
    for (int i = 0; i < element.GetNbOfValues(); ++i)
        if (element.GetLiteral(i).front() != '\'')
            return false;
    std::uint32_t size = element.GetSimpleSize();
    for (std::size_t at = 0; at + size <= value.size(); at += size) {
        std::uint32_t ordinal = value[at];
        if (size == 4)
            ordinal |=
                value[at + 1] << 8 | value[at + 2] << 16 | std::uint32_t{value[at + 3]} << 24;
        if (ordinal >= static_cast<std::uint32_t>(element.GetNbOfValues()))
            return false;
    }
    return true;
}

void roundTrip(const KTypeInfo& type, const std::vector<std::uint8_t>& value) {
    std::int64_t decimal;
    type.GetDecimalValue(value.data(), KTypeInfo::Signed, decimal);
    type.GetDecimalValue(value.data(), KTypeInfo::Unsigned, decimal);
    (void)type.ConvertToStdLogicValue(value.data());
    bool exact = isValidLogicArray(type, value);
    for (int radix : {0, 2, 8, 10, 16}) {
        for (bool inverted : {false, true}) {
            std::string text = type.GetValueString(value.data(), radix, inverted);
            std::vector<std::uint8_t> back(value.size());
            bool parsed = type.GetBytes(text, back.data(), static_cast<std::uint32_t>(back.size()),
                                        radix, inverted);
            if (exact && (radix == 2 || radix == 0) && (!parsed || back != value))
                std::abort();
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    std::size_t nul = input.find('\0');
    std::string_view typeText = input.substr(0, nul);
    std::string_view pattern = nul == std::string_view::npos ? input : input.substr(nul + 1);

    std::string error;
    auto type = KTypeInfo::fromString(typeText, &error);
    if (!type) {
        if (error.empty())
            std::abort(); // every failure says where and why
        return 0;
    }
    if (type->GetTypeInfoString() != typeText)
        std::abort();
    askEverything(*type);
    if (type->GetSimpleSize() > kMaxFuzzValue || walkOf(*type) > kMaxFuzzWalk)
        return 0;

    std::vector<std::uint8_t> value(type->GetSimpleSize(), 0);
    roundTrip(*type, value);
    if (!pattern.empty()) {
        for (std::size_t i = 0; i < value.size(); ++i)
            value[i] = static_cast<std::uint8_t>(pattern[i % pattern.size()]);
        roundTrip(*type, value);
    }
    return 0;
}
