#pragma once

// The few signal types that VCD carries, and their type-information strings.
//
// Import makes every VCD variable one of these; export recognises them in a database's type
// strings (and skips signals of any other type). Values are laid out as the type strings say:
// a logic scalar is one byte (the std_logic ordinal, U X 0 1 Z W L H - as 0..8, or 0/1 for
// bit), a vector one such byte per element from the left bound, an integer int32 (int64 when
// its bounds need it), a real an IEEE double, all little-endian.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

class KVcdType {
public:
    enum class Kind { Logic, LogicVector, Integer, Real };

    static KVcdType logic() { return KVcdType(Kind::Logic); }
    // A std_logic_vector(left downto right) when left >= right, else (left to right).
    static KVcdType logicVector(std::int64_t left, std::int64_t right);
    static KVcdType integer() { return KVcdType(Kind::Integer); }
    static KVcdType real() { return KVcdType(Kind::Real); }

    // Recognises a type string this class can express (std_logic, std_ulogic and bit scalars
    // and one-dimensional arrays of them, integer types, real types); nothing for other types.
    static std::optional<KVcdType> fromTypeInfoString(std::string_view text);

    Kind kind() const { return m_kind; }
    bool isLogic() const { return m_kind == Kind::Logic || m_kind == Kind::LogicVector; }
    // Elements of a logic type are two-state (bit) rather than nine-state (std_logic).
    bool isTwoState() const { return m_twoState; }
    std::int64_t left() const { return m_left; }
    std::int64_t right() const { return m_right; }
    // Bits in VCD terms: 1 for a scalar, the element count of a vector, 32 or 64 for an
    // integer, 64 for a real.
    std::uint32_t width() const;
    // Bytes of one value.
    std::uint32_t valueSize() const;
    std::string typeInfoString() const;

private:
    explicit KVcdType(Kind kind) : m_kind(kind) {}

    Kind m_kind;
    bool m_twoState = false;
    bool m_wideInteger = false; // integer bounds beyond 32 bits: 8-byte values
    std::int64_t m_left = 0;
    std::int64_t m_right = 0;
};
