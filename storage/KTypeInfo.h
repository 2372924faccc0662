#pragma once

// The type of a signal, built from its type-information string (grammar: docs/type-strings.md).
//
// A KTypeInfo answers every question the program asks about values: their size and layout,
// their text in a radix, the text's bytes, and the capability tests that decide which radices,
// inversion and display shapes make sense. It is a cheap handle: copies share one immutable parsed
// tree, and the element and field types of composites are KTypeInfo handles into the same tree.
//
// Value layout (byte images, little-endian):
//   enumeration  the literal's ordinal: 1 byte up to 256 literals, else 4 bytes
//   integer      int32 when both bounds fit in 32 bits, else int64
//   real         IEEE 754 double, 8 bytes
//   physical     int64 count of the primary unit, 8 bytes
//   array        the elements in index order from the left bound to the right bound
//                (std_logic_vector(7 downto 0) starts with element 7); for several dimensions
//                the last one varies fastest
//   record       the fields in declaration order, no padding

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

// The nine std_logic values in their enumeration order.
enum class StdLogic : std::uint8_t { U = 0, X, Zero, One, Z, W, L, H, DontCare };

class KTypeInfo {
public:
    enum Kind { None = 0, Enumeration = 1, Integer = 2, Real = 3, Array = 4, Record = 5 };
    enum Direction { To = 0, Downto = 1 };
    // Flags of GetDecimalValue.
    enum DecimalFlags : unsigned { Unsigned = 0, Signed = 1 };

    // An empty type (kind None): every capability test answers false.
    KTypeInfo();
    // Parses a type-information string; on failure returns nothing and, when asked, a message
    // saying where and what was expected.
    static std::optional<KTypeInfo> fromString(std::string_view text, std::string* error = nullptr);
    static bool CheckTypeInfo(std::string_view text);

    bool isValid() const { return m_node != nullptr; }
    const std::string& GetTypeInfoString() const;
    // The bare type name ("std_logic_vector").
    std::string GetTypeName() const;
    // The VHDL subtype indication ("std_logic_vector(7 downto 0)"); for scalars, the name.
    std::string GetTypeIdentifier() const;
    Kind GetKind() const;
    // A physical type (such as time) reports kind Integer; this tells them apart.
    bool IsPhysical() const;

    // Simple: the value is shown as one text with no sub-fields to walk (scalars and arrays of
    // scalars). Scalar: enumeration, integer, real or physical.
    bool IsSimple() const;
    bool IsScalar() const;
    // Bytes of a whole value; bytes of one scalar (for an array, of one innermost element).
    std::uint32_t GetSimpleSize() const;
    std::uint32_t GetScalarSize() const;

    // Enumerations.
    int GetNbOfValues() const;
    // The text of literal i: an identifier ("false") or a character literal with quotes ("'1'").
    std::string GetLiteral(int index) const;

    // Arrays: elements across all dimensions (0 for other kinds, and for a null array).
    std::int64_t GetNbOfElements() const;
    int GetNbOfDimensions() const;
    bool GetArrayDimensionRanges(int dimension, std::int64_t& left, std::int64_t& right,
                                 int& direction) const;
    std::string GetArrayElementTypeInfo() const;
    KTypeInfo elementType() const;

    // Records.
    int GetNbOfFields() const;
    std::string GetFieldName(int index) const;
    std::string GetFieldTypeInfo(int index) const;
    KTypeInfo fieldType(int index) const;
    // Byte offset of field `index` inside the record's value.
    std::uint32_t fieldOffset(int index) const;

    // Ranges of integer (and physical) and real types.
    bool GetIntRanges(std::int64_t& left, std::int64_t& right, int& direction) const;
    bool GetRealRanges(double& left, double& right, int& direction) const;

    bool IsRadixAllowed() const;
    bool IsInversionAllowed() const;
    bool IsStdLogicConversionAllowed() const;

    // The std_logic value of a scalar value (its first GetScalarSize bytes); X for other kinds.
    StdLogic ConvertToStdLogicValue(const std::uint8_t* value) const;
    // The value as a 64-bit integer: integers and physicals as they are, enumerations by
    // ordinal, arrays of logic elements as a binary number (Signed: two's complement).
    // False when the value has no such meaning (a bit other than 0/1/L/H, more than 64 bits).
    bool GetDecimalValue(const std::uint8_t* value, unsigned flags, std::int64_t& result) const;

    // Text to bytes: writes GetSimpleSize bytes (`size` must be at least that); radix 2, 8, 10
    // or 16 (0 or less: the type's natural radix); `inverted` stores the logical inverse.
    // Writes nothing when the text is not a value of the type. `value` may be null only for a
    // value of 0 bytes (a null array). Accepted texts: docs/type-strings.md, "Value texts".
    bool GetBytes(std::string_view text, std::uint8_t* value, std::uint32_t size, int radix,
                  bool inverted) const;
    // Bytes to text, in a radix (0 or less: the natural radix), optionally inverted. The radix
    // applies to integers and logic arrays, also inside composites, and is ignored elsewhere;
    // `inverted` is ignored where IsInversionAllowed is false.
    std::string GetValueString(const std::uint8_t* value, int radix, bool inverted) const;

    friend bool operator==(const KTypeInfo& a, const KTypeInfo& b);

    struct Node;

private:
    KTypeInfo(std::shared_ptr<const void> owner, const Node* node);

    std::shared_ptr<const void> m_owner; // keeps the whole parsed tree alive
    const Node* m_node = nullptr;
};
