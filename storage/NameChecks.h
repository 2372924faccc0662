#pragma once

// Checks of names and vector type texts that the user types (signal names, virtual bus types).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// A vector type text taken apart: "std_logic_vector(7 downto 0)" gives the lower-case name and
// the two bounds as written.
struct VectorTypeText {
    std::string typeName;
    std::int64_t left = 0;
    std::int64_t right = 0;
};

// Reads "<vector type>(<left> to|downto <right>)", ignoring case and surrounding blanks; the
// type must be std_logic_vector, std_ulogic_vector or bit_vector and the bounds naturals.
std::optional<VectorTypeText> parseVectorTypeText(std::string_view text);

// True for the three vector type names above (any letter case).
bool isVectorTypeName(std::string_view name);

// A VHDL identifier: extended (\...\ with inner backslashes doubled, at least 3 characters) or
// basic (a letter, then letters, digits and single underscores).
bool isValidIdentifier(std::string_view name);
