#include "document/KBusRange.h"

#include <charconv>

std::int64_t KBusRange::width() const {
    const std::int64_t span = static_cast<std::int64_t>(m_left) - m_right;
    return (span < 0 ? -span : span) + 1;
}

std::optional<std::string> KBusRange::check() const {
    if (width() <= kMaxBusWidth)
        return std::nullopt;
    return "The maximum bus width is " + std::to_string(kMaxBusWidth);
}

std::optional<std::int32_t> KBusRange::parseBound(std::string_view text) {
    const std::string_view blanks = " \t";
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos)
        return std::nullopt;
    text = text.substr(first, text.find_last_not_of(blanks) - first + 1);
    if (text.front() == '+' && text.size() > 1 && text[1] != '-')
        text.remove_prefix(1);
    std::int32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}
