#pragma once

// The document's table of signal types, keyed by type index.
//
// Every distinct type-information string is registered once and gets the next index from 1
// upward; index 0 means "no type information" and is never handed out. Indices stay valid for
// the table's lifetime (entries are never removed), so signal records can store the bare index.
// The table starts with std_logic at index 1. For types that convert to std_logic the table also
// keeps the byte images of '0' and '1', which the drawing and the generators use as low and high.

#include "storage/KTypeInfo.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// How a signal's waveform is drawn.
enum class SignalShape { Analog = 1, Literal = 2, Logic = 3 };

class KTypesManager {
public:
    using TypeIndex = std::uint32_t;
    static constexpr TypeIndex kNoType = 0;
    static constexpr TypeIndex kStdLogicIndex = 1;

    KTypesManager();

    // The index of `typeInfo`: kNoType for an empty or unreadable string, the existing index for a
    // string registered before (exact, case-sensitive), otherwise a new index.
    TypeIndex registerType(std::string_view typeInfo);

    bool hasType(TypeIndex index) const;
    // The type of an index; an empty KTypeInfo (kind None) for kNoType or an unknown index.
    const KTypeInfo& type(TypeIndex index) const;
    // The bytes of '0' and '1' (GetScalarSize bytes each), for types that convert to std_logic.
    std::optional<std::span<const std::uint8_t>> zeroImage(TypeIndex index) const;
    std::optional<std::span<const std::uint8_t>> oneImage(TypeIndex index) const;
    std::size_t count() const { return m_entries.size(); }

    bool isRadixAllowed(TypeIndex index) const;
    bool isInversionAllowed(TypeIndex index) const;
    bool isShapeAllowed(TypeIndex index, SignalShape shape) const;
    // The std_logic value of a scalar value of the type; X when the index has no type.
    StdLogic stdLogicValue(TypeIndex index, const std::uint8_t* value) const;

private:
    struct Entry {
        KTypeInfo type;
        std::vector<std::uint8_t> zero; // both empty when the type has no '0'/'1' images
        std::vector<std::uint8_t> one;
    };

    const Entry* entry(TypeIndex index) const;
    static Entry makeEntry(KTypeInfo type);

    std::vector<Entry> m_entries; // entry i has index i + 1
    std::unordered_map<std::string, TypeIndex> m_indexByString;
};
