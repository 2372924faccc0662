#pragma once

// Signal values as text and back.
//
// A value is the byte image of a signal's value (KTypeInfo describes the layout). Simple values
// (scalars and arrays of scalars) are one text from the type information; composite signals
// (records, arrays of composites, virtual buses) are walked child by child and shown as an
// aggregate "(a,b,c)". Both directions take a byte position that advances past every element
// they visit, so a caller can walk the children of a composite itself.
//
// A childless node whose type is composite is walked by its type (fields, elements), so a record
// signal shows the same text whether or not the document has made child rows for it.

#include "storage/IValueNode.h"
#include "storage/KTypesManager.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

struct ValueFormat {
    // The radix of nodes whose own radix is 0 or less (0 or less here: the type's natural one).
    int defaultRadix = 0;
    // Show "?" for a value that is absent (its bytes are not in the value given, or the signal
    // has no type) instead of an empty text.
    bool markAbsent = false;
};

// Composite texts are cut after this many characters and closed with "...)".
inline constexpr std::size_t kMaxCompositeText = 256;

std::string FormatValue(const KTypesManager& types, const IValueNode& signal,
                        std::span<const std::uint8_t> value, std::size_t& position,
                        const ValueFormat& format = {});

// Writes the bytes of `text` into `buffer` at `position` and advances the position. `radix`
// serves nodes whose own radix is 0 or less. False when the text does not fit the signal; the
// buffer may then be partly written.
bool ParseValue(const KTypesManager& types, std::string_view text, const IValueNode& signal,
                std::span<std::uint8_t> buffer, std::size_t& position, int radix);

// Bytes of the signal's whole value: what FormatValue and ParseValue advance the position by.
std::size_t valueSize(const KTypesManager& types, const IValueNode& signal);

// "(7 downto 0)": the bounds and direction of dimension 0 of an array type (empty for other
// types), or of two bounds, "downto" when left > right.
std::string rangeText(const KTypeInfo& type);
std::string rangeText(std::int64_t left, std::int64_t right);
