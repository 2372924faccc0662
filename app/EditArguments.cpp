#include "app/EditArguments.h"

#include "app/VerbSupport.h"
#include "storage/TimeFormat.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace {

bool sameWord(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

bool isTimeUnit(std::string_view word) {
    for (int i = 0; i < kTimeUnitCount; ++i)
        if (word == timeUnitName(static_cast<TimeUnit>(i)))
            return true;
    return false;
}

bool isPlainNumber(std::string_view word) {
    return !word.empty() && word.find_first_not_of("0123456789.,") == std::string_view::npos;
}

} // namespace

EditArguments::EditArguments(const EditScriptLine& line, std::size_t first, std::string usage)
    : m_line(line), m_next(first), m_usage(std::move(usage)) {}

const EditWord* EditArguments::peek() const {
    return atEnd() ? nullptr : &m_line.words[m_next];
}

const EditWord& EditArguments::word(std::string_view what) {
    if (atEnd())
        fail("missing " + std::string(what));
    return m_line.words[m_next++];
}

bool EditArguments::accept(std::string_view keyword) {
    const EditWord* next = peek();
    if (next == nullptr || next->quoted || !sameWord(next->text, keyword))
        return false;
    ++m_next;
    return true;
}

std::size_t EditArguments::choice(std::string_view what,
                                  std::initializer_list<std::string_view> keywords) {
    std::string names;
    for (std::string_view keyword : keywords)
        names += (names.empty() ? "" : "|") + std::string(keyword);
    const std::string described = std::string(what) + " (" + names + ")";
    const EditWord& got = word(described);
    std::size_t index = 0;
    for (std::string_view keyword : keywords) {
        if (!got.quoted && sameWord(got.text, keyword))
            return index;
        ++index;
    }
    expected(described, got);
}

SimTime EditArguments::time(std::string_view what) {
    const std::string described = std::string(what) + " (a time such as 10ns or 1.5us)";
    const EditWord& got = word(described);
    std::string text = got.text;
    // "10 ns" written as two words.
    if (isPlainNumber(text) && peek() != nullptr && !peek()->quoted && isTimeUnit(peek()->text))
        text += word(described).text;
    const std::optional<SimTime> parsed = parseTimeArgument(text);
    if (!parsed)
        expected(described, got);
    return *parsed;
}

std::int64_t EditArguments::integer(std::string_view what, std::int64_t low, std::int64_t high,
                                    bool percent) {
    const std::string described = std::string(what) + " (a whole number from " +
                                  std::to_string(low) + " to " + std::to_string(high) + ")";
    const EditWord& got = word(described);
    std::string_view text = got.text;
    if (percent && text.ends_with('%'))
        text.remove_suffix(1);
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < low ||
        value > high)
        expected(described, got);
    return value;
}

double EditArguments::number(std::string_view what) {
    const std::string described = std::string(what) + " (a number)";
    const EditWord& got = word(described);
    char* end = nullptr;
    const double value = std::strtod(got.text.c_str(), &end);
    if (got.text.empty() || end != got.text.c_str() + got.text.size() || !std::isfinite(value))
        expected(described, got);
    return value;
}

std::string EditArguments::text(std::string_view what) {
    std::string rest = m_line.textFrom(m_next);
    if (rest.empty())
        fail("missing " + std::string(what));
    m_next = m_line.words.size();
    return rest;
}

void EditArguments::finish() const {
    if (!atEnd())
        fail("unexpected '" + m_line.words[m_next].text + "'");
}

void EditArguments::fail(const std::string& message) const {
    throw EditCommandError(message + " (usage: " + m_usage + ")");
}

void EditArguments::expected(std::string_view what, const EditWord& got) const {
    fail("expected " + std::string(what) + ", got '" + got.text + "'");
}
