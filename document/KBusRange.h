#pragma once

// The bounds of a bus typed by the user: two signed 32-bit indices, left and right, whose span
// may hold at most kMaxBusWidth elements.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

class KBusRange {
public:
    static constexpr std::int64_t kMaxBusWidth = 10000;

    KBusRange(std::int32_t left, std::int32_t right) : m_left(left), m_right(right) {}

    std::int32_t left() const { return m_left; }
    std::int32_t right() const { return m_right; }
    // |left - right| + 1, without overflow for any two bounds.
    std::int64_t width() const;

    // Nothing for an acceptable range, else the message that refuses it.
    std::optional<std::string> check() const;

    // A bound as typed: an optional sign and digits, blanks around; nothing for anything else
    // or a number outside the 32-bit range.
    static std::optional<std::int32_t> parseBound(std::string_view text);

private:
    std::int32_t m_left;
    std::int32_t m_right;
};
