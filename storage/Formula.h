#pragma once

// Formulas of the fill: value-time pairs with an optional repeat period (grammar:
// docs/formulas.md).
//
//     '0' 0 ns, '1' 5 ns -r 10 ns
//
// A formula is parsed once into a list of items (the value text, its offset from the fill start
// and the unit the offset was written in) and evaluated by KFormulaIterator. The parser only
// delimits value texts (balanced quotes and parentheses); each signal's type converts them later,
// and checkFormulaValues can try them against a type up front. Offsets never decrease, and a
// repeat period is longer than the span of the offsets, so an evaluation's times never go back.
//
// Errors carry the byte position of the first problem and a message that says what was expected
// there. CheckFormula and GetErrorDescription give the same answers in the shape the fill dialog
// calls them with.

#include "storage/SimTime.h"
#include "storage/TimeFormat.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

class KTypeInfo;

enum class FormulaErrorCode : int {
    None = 0,
    Empty,                 // nothing but blanks
    TooLong,               // beyond kMaxFormulaLength
    ExpectedValue,         // a value is missing (after ", ", after '&', or "-r" in its place)
    UnclosedString,        // a '"' without its closing quote
    UnclosedCharacter,     // a '\'' that does not start a character literal 'c'
    UnclosedParenthesis,   // a '(' without its ')'
    UnexpectedParenthesis, // a ')' without its '('
    ExpectedTime,          // a value not followed by a time offset
    BadNumber,             // a decimal point without digits after it
    NegativeTime,          // a time with a '-' sign
    UnknownUnit,           // letters after a number that are not a time unit
    TimeTooLarge,          // beyond the SimTime range once converted to picoseconds
    TimeBackwards,         // an offset earlier than the one before it
    ExpectedSeparator,     // a pair not followed by ", ", " -r " or the end
    ExpectedRepeat,        // "-r" without a period
    RepeatNotPositive,     // a period of 0 ps
    RepeatTooShort,        // a period not longer than the span of the offsets
    TrailingText,          // anything after the repeat period
    ValueRejected,         // a value text the signal's type does not accept
};

// Longer texts are refused so that every position fits an int.
inline constexpr std::size_t kMaxFormulaLength = 1 << 20;

struct FormulaItem {
    std::string value;  // as written, e.g. "'1'", "x\"A5\"", "(idle, 3)"
    SimTime offset = 0; // picoseconds from the fill start, truncated
    TimeUnit unit = Ps; // the unit written after the offset, or the default unit
    std::size_t valuePosition = 0;
    std::size_t timePosition = 0;
};

struct Formula {
    std::vector<FormulaItem> items;      // at least one, offsets non-decreasing
    std::optional<SimTime> repeatPeriod; // picoseconds, > last offset - first offset
    TimeUnit repeatUnit = Ps;
};

struct FormulaError {
    FormulaErrorCode code = FormulaErrorCode::None;
    std::size_t position = 0; // byte position in the formula text
    std::string message;      // says what was expected where, columns counted from 1
};

// The outcome of a parse: a formula or an error, used like std::expected.
class FormulaResult {
public:
    FormulaResult(Formula formula) : m_result(std::move(formula)) {}
    FormulaResult(FormulaError error) : m_result(std::move(error)) {}

    bool hasValue() const { return m_result.index() == 0; }
    explicit operator bool() const { return hasValue(); }
    const Formula& value() const { return std::get<Formula>(m_result); }
    const Formula& operator*() const { return value(); }
    const Formula* operator->() const { return &value(); }
    const FormulaError& error() const { return std::get<FormulaError>(m_result); }

private:
    std::variant<Formula, FormulaError> m_result;
};

// Offsets without a unit are in `defaultUnit`.
FormulaResult parseFormula(std::string_view text, TimeUnit defaultUnit = Ps);

// A piece of a formula as messages quote it: in single quotes, cut after 40 bytes.
std::string quotedFormulaText(std::string_view text);

// Tries every value text against `type` (GetBytes in `radix`); the first one it rejects is a
// ValueRejected error at that value.
std::optional<FormulaError> checkFormulaValues(const Formula& formula, const KTypeInfo& type,
                                               int radix = 0);

// -1 for a valid formula, otherwise the byte position of the first error, whose code goes to
// `errorCode` (None when valid).
int CheckFormula(std::string_view formula, FormulaErrorCode& errorCode, TimeUnit defaultUnit = Ps);

// Writes the message of an error that CheckFormula reported for `formula` at `position` into
// `buffer` (at most bufferSize - 1 bytes and a terminating zero, never cutting a UTF-8
// character) and returns the bytes written. The message names what was expected, quoting the
// formula; for a code and position that do not come from this formula it is a general one.
int GetErrorDescription(FormulaErrorCode errorCode, char* buffer, int bufferSize,
                        std::string_view formula, int position, TimeUnit defaultUnit = Ps);
