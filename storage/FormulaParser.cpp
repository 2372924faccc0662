// parseFormula: a hand-written scanner over the formula text, one pass, left to right.
//
// Every failure stops the scan at its first error and says, at a column counted from 1, what was
// expected there. Values are only delimited here: a value runs to the first blank or ',' outside
// quotes and parentheses, and blanks around '&' keep a string concatenation in one value.

#include "storage/Formula.h"

#include <cctype>
#include <cstdint>
#include <string>
#include <vector>

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool isLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

std::string column(std::size_t position) {
    return "column " + std::to_string(position + 1);
}

std::optional<TimeUnit> unitNamed(std::string_view name) {
    std::string lower;
    for (char c : name)
        lower.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    for (int i = 0; i < kTimeUnitCount; ++i)
        if (lower == timeUnitName(static_cast<TimeUnit>(i)))
            return static_cast<TimeUnit>(i);
    if (lower == "s")
        return Sec;
    return std::nullopt;
}

struct ScannedTime {
    SimTime time = 0;
    TimeUnit unit = Ps;
    std::size_t position = 0;
    std::string_view text; // number and unit as written
};

class FormulaParser {
public:
    FormulaParser(std::string_view text, TimeUnit defaultUnit)
        : m_text(text), m_defaultUnit(defaultUnit) {}

    FormulaResult parse();

private:
    bool atEnd() const { return m_pos >= m_text.size(); }
    char peek(std::size_t ahead = 0) const {
        return m_pos + ahead < m_text.size() ? m_text[m_pos + ahead] : '\0';
    }
    void skipBlanks() {
        while (!atEnd() && isBlank(m_text[m_pos]))
            ++m_pos;
    }
    bool atRepeat() const {
        return peek() == '-' && (peek(1) == 'r' || peek(1) == 'R') &&
               (m_pos + 2 >= m_text.size() || !isLetter(peek(2)));
    }
    void fail(FormulaErrorCode code, std::size_t position, std::string message) {
        m_error = FormulaError{code, position, std::move(message)};
    }

    bool scanValue(FormulaItem& item, bool first);
    bool scanWord();
    std::optional<ScannedTime> scanTime(std::string_view after, FormulaErrorCode missing);
    bool scanUnit(std::string_view number, TimeUnit& unit);
    bool scanPair(Formula& formula);
    bool scanRepeat(Formula& formula);

    std::string_view m_text;
    TimeUnit m_defaultUnit;
    std::size_t m_pos = 0;
    std::string_view
        m_previousTime; // the last offset as written, for the message when one goes back
    FormulaError m_error;
};

// One word of a value: runs to a blank or ',' outside quotes and parentheses.
bool FormulaParser::scanWord() {
    std::vector<std::size_t> open; // positions of the unclosed '('
    while (!atEnd()) {
        char c = m_text[m_pos];
        if (open.empty() && (isBlank(c) || c == ','))
            break;
        if (c == '"') {
            std::size_t start = m_pos++;
            while (true) {
                if (atEnd()) {
                    fail(FormulaErrorCode::UnclosedString, start,
                         "Expected a closing '\"' for the string that starts at " + column(start));
                    return false;
                }
                if (m_text[m_pos] == '"' && peek(1) != '"')
                    break;
                m_pos += m_text[m_pos] == '"' ? 2 : 1; // a doubled quote stays inside
            }
            ++m_pos;
        } else if (c == '\'') {
            if (peek(2) != '\'') {
                fail(FormulaErrorCode::UnclosedCharacter, m_pos,
                     "Expected a character literal such as '1' at " + column(m_pos) +
                         ": the quote is not closed after one character");
                return false;
            }
            m_pos += 3;
        } else if (c == '(') {
            open.push_back(m_pos++);
        } else if (c == ')') {
            if (open.empty()) {
                fail(FormulaErrorCode::UnexpectedParenthesis, m_pos,
                     "Unexpected ')' at " + column(m_pos) + ": there is no '(' for it to close");
                return false;
            }
            open.pop_back();
            ++m_pos;
        } else {
            ++m_pos;
        }
    }
    if (!open.empty()) {
        fail(FormulaErrorCode::UnclosedParenthesis, open.back(),
             "Expected ')' to close the '(' at " + column(open.back()));
        return false;
    }
    return true;
}

bool FormulaParser::scanValue(FormulaItem& item, bool first) {
    std::size_t start = m_pos;
    auto missing = [&](std::string what) {
        fail(FormulaErrorCode::ExpectedValue, m_pos,
             "Expected a value " + (what.empty() ? "" : what + " ") + "at " + column(m_pos) +
                 (atEnd() ? " (the end of the formula)" : ""));
        return false;
    };
    if (atEnd() || peek() == ',' || peek() == ')')
        return missing(first ? "" : "after ', '");
    if (atRepeat() && (m_pos + 2 >= m_text.size() || isBlank(peek(2)) || isDigit(peek(2))))
        return missing("before the repeat period");
    while (true) {
        if (!scanWord())
            return false;
        // A word that ends in '&', or blanks and then '&', continue a VHDL concatenation.
        std::size_t wordEnd = m_pos;
        bool joins = m_text[wordEnd - 1] == '&';
        skipBlanks();
        if (!joins && peek() == '&') {
            joins = true;
            ++m_pos;
            skipBlanks();
        }
        if (!joins) {
            m_pos = wordEnd;
            break;
        }
        if (atEnd() || peek() == ',')
            return missing("after '&'");
    }
    item.value = std::string(m_text.substr(start, m_pos - start));
    item.valuePosition = start;
    return true;
}

// A number, optional blanks and an optional unit name; `after` names what came before, for the
// message when the number is missing.
std::optional<ScannedTime> FormulaParser::scanTime(std::string_view after,
                                                   FormulaErrorCode missing) {
    skipBlanks();
    ScannedTime result;
    result.position = m_pos;
    if (peek() == '-' && isDigit(peek(1))) {
        fail(FormulaErrorCode::NegativeTime, m_pos,
             "Expected a time of 0 or more at " + column(m_pos) +
                 ": times count from the start of the fill and cannot be negative");
        return std::nullopt;
    }
    if (!isDigit(peek())) {
        fail(missing, m_pos,
             "Expected a time (a number with an optional unit, such as 10 ns) after " +
                 std::string(after) + " at " + column(m_pos) +
                 (atEnd() ? " (the end of the formula)" : ""));
        return std::nullopt;
    }
    while (isDigit(peek()))
        ++m_pos;
    if (peek() == '.') {
        if (!isDigit(peek(1))) {
            fail(FormulaErrorCode::BadNumber, m_pos + 1,
                 "Expected digits after the decimal point at " + column(m_pos + 1));
            return std::nullopt;
        }
        for (++m_pos; isDigit(peek());)
            ++m_pos;
    }
    std::string_view number = m_text.substr(result.position, m_pos - result.position);
    if (!scanUnit(number, result.unit))
        return std::nullopt;
    result.text = m_text.substr(result.position, m_pos - result.position);
    auto parsed = ParseTime(number, result.unit);
    if (!parsed) {
        fail(FormulaErrorCode::TimeTooLarge, result.position,
             "The time " + quotedFormulaText(result.text) + " at " + column(result.position) +
                 " is too large: expected at most " + FormatTime(kMaxTime, true, Ps));
        return std::nullopt;
    }
    result.time = parsed->time;
    return result;
}

// Blanks and a unit name after `number`, or nothing (the default unit, blanks left unread).
bool FormulaParser::scanUnit(std::string_view number, TimeUnit& unit) {
    std::size_t numberEnd = m_pos;
    skipBlanks();
    std::size_t unitStart = m_pos;
    while (isLetter(peek()))
        ++m_pos;
    if (m_pos == unitStart) {
        m_pos = numberEnd;
        unit = m_defaultUnit;
        return true;
    }
    auto named = unitNamed(m_text.substr(unitStart, m_pos - unitStart));
    if (!named) {
        fail(FormulaErrorCode::UnknownUnit, unitStart,
             "Expected a time unit (fs, ps, ns, us, ms, sec, min, hr) after " +
                 quotedFormulaText(number) + " at " + column(unitStart) +
                 (unitStart > numberEnd ? ", or ', ' before the next pair" : ""));
        return false;
    }
    unit = *named;
    return true;
}

bool FormulaParser::scanRepeat(Formula& formula) {
    m_pos += 2;
    auto period = scanTime("'-r'", FormulaErrorCode::ExpectedRepeat);
    if (!period)
        return false;
    const SimTime first = formula.items.front().offset;
    const SimTime last = formula.items.back().offset;
    if (period->time == 0) {
        fail(FormulaErrorCode::RepeatNotPositive, period->position,
             "Expected a repeat period of at least 1 ps at " + column(period->position) + ", not " +
                 quotedFormulaText(period->text));
        return false;
    }
    if (period->time <= last - first) {
        fail(FormulaErrorCode::RepeatTooShort, period->position,
             "The repeat period " + quotedFormulaText(period->text) + " at " +
                 column(period->position) + " is too short: expected more than " +
                 FormatTime(last - first, true, period->unit) +
                 ", the time from the first offset to the last, so that the sequence fits in it");
        return false;
    }
    formula.repeatPeriod = period->time;
    formula.repeatUnit = period->unit;
    skipBlanks();
    if (!atEnd()) {
        fail(FormulaErrorCode::TrailingText, m_pos,
             "Expected the end of the formula after the repeat period at " + column(m_pos) +
                 ": the repeat period comes last");
        return false;
    }
    return true;
}

// A value, blanks and a time offset no earlier than the one before.
bool FormulaParser::scanPair(Formula& formula) {
    FormulaItem item;
    if (!scanValue(item, formula.items.empty()))
        return false;
    if (!atEnd() && !isBlank(peek())) {
        fail(FormulaErrorCode::ExpectedTime, m_pos,
             "Expected a blank and a time after the value " + quotedFormulaText(item.value) +
                 " at " + column(m_pos));
        return false;
    }
    auto time =
        scanTime("the value " + quotedFormulaText(item.value), FormulaErrorCode::ExpectedTime);
    if (!time)
        return false;
    if (!formula.items.empty() && time->time < formula.items.back().offset) {
        fail(FormulaErrorCode::TimeBackwards, time->position,
             "The time " + quotedFormulaText(time->text) + " at " + column(time->position) +
                 " is earlier than the one before it, " + quotedFormulaText(m_previousTime) +
                 ": expected offsets from the fill start that never decrease");
        return false;
    }
    m_previousTime = time->text;
    item.offset = time->time;
    item.unit = time->unit;
    item.timePosition = time->position;
    formula.items.push_back(std::move(item));
    return true;
}

FormulaResult FormulaParser::parse() {
    if (m_text.size() > kMaxFormulaLength) {
        fail(FormulaErrorCode::TooLong, kMaxFormulaLength,
             "The formula is too long: expected at most " + std::to_string(kMaxFormulaLength) +
                 " characters");
        return m_error;
    }
    skipBlanks();
    if (atEnd()) {
        fail(FormulaErrorCode::Empty, m_pos,
             "The formula is empty: expected value-time pairs such as '0' 0 ns, '1' 5 ns");
        return m_error;
    }
    Formula formula;
    while (true) {
        if (!scanPair(formula))
            return m_error;
        skipBlanks();
        if (atEnd())
            return formula;
        if (atRepeat()) {
            if (!scanRepeat(formula))
                return m_error;
            return formula;
        }
        if (peek() != ',') {
            fail(FormulaErrorCode::ExpectedSeparator, m_pos,
                 "Expected ', ' before the next pair, ' -r ' or the end of the formula at " +
                     column(m_pos));
            return m_error;
        }
        ++m_pos;
        skipBlanks();
    }
}

} // namespace

// Long values are cut (between UTF-8 characters) so that a message stays readable in a message
// box; control bytes show as '?', so that a zero byte cannot end the message early.
std::string quotedFormulaText(std::string_view text) {
    constexpr std::size_t kShown = 40;
    std::size_t shown = text.size();
    if (shown > kShown) {
        shown = kShown;
        while (shown > 0 && (static_cast<unsigned char>(text[shown]) & 0xC0) == 0x80)
            --shown;
    }
    std::string result = "'";
    for (char c : text.substr(0, shown))
        result.push_back(static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? '?' : c);
    return result + (shown < text.size() ? "...'" : "'");
}

FormulaResult parseFormula(std::string_view text, TimeUnit defaultUnit) {
    return FormulaParser(text, defaultUnit).parse();
}
