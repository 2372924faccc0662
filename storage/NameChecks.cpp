#include "storage/NameChecks.h"

#include "storage/TextCase.h"

#include <array>
#include <cctype>
#include <charconv>

namespace {

constexpr std::array<std::string_view, 3> kVectorTypeNames = {"std_logic_vector",
                                                              "std_ulogic_vector", "bit_vector"};

bool isLetter(char c) {
    return std::isalpha(static_cast<unsigned char>(c)) != 0;
}
bool isDigit(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

// A small cursor over the lower-cased text of a vector type.
class Reader {
public:
    explicit Reader(std::string_view text) : m_text(text) {}

    void skipBlanks() {
        while (!m_text.empty() && isBlankChar(m_text.front()))
            m_text.remove_prefix(1);
    }
    bool accept(std::string_view word) {
        skipBlanks();
        if (!m_text.starts_with(word))
            return false;
        m_text.remove_prefix(word.size());
        return true;
    }
    std::optional<std::int64_t> natural() {
        skipBlanks();
        std::int64_t value = 0;
        auto [end, error] = std::from_chars(m_text.data(), m_text.data() + m_text.size(), value);
        if (error != std::errc() || end == m_text.data() || m_text.front() == '-')
            return std::nullopt;
        m_text.remove_prefix(static_cast<std::size_t>(end - m_text.data()));
        return value;
    }
    bool atEnd() {
        skipBlanks();
        return m_text.empty();
    }

private:
    std::string_view m_text;
};

} // namespace

bool isVectorTypeName(std::string_view name) {
    const std::string lower = asciiLower(trimBlanks(name));
    for (std::string_view known : kVectorTypeNames) {
        if (lower == known)
            return true;
    }
    return false;
}

std::optional<VectorTypeText> parseVectorTypeText(std::string_view text) {
    const std::string lower = asciiLower(trimBlanks(text));
    for (std::string_view known : kVectorTypeNames) {
        Reader reader(lower);
        if (!reader.accept(known) || !reader.accept("("))
            continue;
        const std::optional<std::int64_t> left = reader.natural();
        if (!left || !(reader.accept("downto") || reader.accept("to")))
            return std::nullopt;
        const std::optional<std::int64_t> right = reader.natural();
        if (!right || !reader.accept(")") || !reader.atEnd())
            return std::nullopt;
        return VectorTypeText{std::string(known), *left, *right};
    }
    return std::nullopt;
}

bool isValidIdentifier(std::string_view name) {
    if (name.size() >= 3 && name.front() == '\\' && name.back() == '\\') {
        const std::string_view inner = name.substr(1, name.size() - 2);
        for (std::size_t i = 0; i < inner.size(); ++i) {
            if (inner[i] != '\\')
                continue;
            if (i + 1 >= inner.size() || inner[i + 1] != '\\')
                return false;
            ++i;
        }
        return true;
    }
    if (name.empty() || !isLetter(name.front()))
        return false;
    for (std::size_t i = 1; i < name.size(); ++i) {
        const char c = name[i];
        if (c == '_') {
            if (name[i - 1] == '_')
                return false;
        } else if (!isLetter(c) && !isDigit(c)) {
            return false;
        }
    }
    return true;
}
