// The fill dialog's view of formulas (CheckFormula, GetErrorDescription) and the check of value
// texts against a signal's type. The parser itself is in FormulaParser.cpp.

#include "storage/Formula.h"

#include "storage/KTypeInfo.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

std::string column(std::size_t position) {
    return "column " + std::to_string(position + 1);
}

// For a code and position that the formula does not give (the caller mixed them up, or the
// error came from a check against a type): what the code means, at the position.
std::string generalMessage(FormulaErrorCode code, std::size_t position) {
    const std::string at = " at " + column(position);
    switch (code) {
    case FormulaErrorCode::None:
        return "The formula is valid";
    case FormulaErrorCode::Empty:
        return "The formula is empty: expected value-time pairs such as '0' 0 ns, '1' 5 ns";
    case FormulaErrorCode::TooLong:
        return "The formula is too long";
    case FormulaErrorCode::ExpectedValue:
        return "Expected a value" + at;
    case FormulaErrorCode::UnclosedString:
        return "Expected a closing '\"' for the string that starts" + at;
    case FormulaErrorCode::UnclosedCharacter:
        return "Expected a character literal such as '1'" + at;
    case FormulaErrorCode::UnclosedParenthesis:
        return "Expected ')' to close the '('" + at;
    case FormulaErrorCode::UnexpectedParenthesis:
        return "Unexpected ')'" + at;
    case FormulaErrorCode::ExpectedTime:
        return "Expected a time (a number with an optional unit, such as 10 ns)" + at;
    case FormulaErrorCode::BadNumber:
        return "Expected digits after the decimal point" + at;
    case FormulaErrorCode::NegativeTime:
        return "Expected a time of 0 or more" + at;
    case FormulaErrorCode::UnknownUnit:
        return "Expected a time unit (fs, ps, ns, us, ms, sec, min, hr)" + at;
    case FormulaErrorCode::TimeTooLarge:
        return "The time" + at + " is too large";
    case FormulaErrorCode::TimeBackwards:
        return "The time" + at + " is earlier than the one before it";
    case FormulaErrorCode::ExpectedSeparator:
        return "Expected ', ' before the next pair, ' -r ' or the end of the formula" + at;
    case FormulaErrorCode::ExpectedRepeat:
        return "Expected a repeat period after '-r'" + at;
    case FormulaErrorCode::RepeatNotPositive:
        return "Expected a repeat period of at least 1 ps" + at;
    case FormulaErrorCode::RepeatTooShort:
        return "The repeat period" + at + " is shorter than the sequence";
    case FormulaErrorCode::TrailingText:
        return "Expected the end of the formula" + at;
    case FormulaErrorCode::ValueRejected:
        return "The value" + at + " is not a value of the signal's type";
    }
    return "Unknown formula error" + at;
}

// Cuts `text` to at most `limit` bytes without splitting a UTF-8 sequence.
std::size_t utf8Prefix(std::string_view text, std::size_t limit) {
    if (text.size() <= limit)
        return text.size();
    std::size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    return end;
}

} // namespace

std::optional<FormulaError> checkFormulaValues(const Formula& formula, const KTypeInfo& type,
                                               int radix) {
    std::vector<std::uint8_t> buffer(type.GetSimpleSize());
    for (const FormulaItem& item : formula.items) {
        if (type.isValid() &&
            type.GetBytes(item.value, buffer.data(), static_cast<std::uint32_t>(buffer.size()),
                          radix, false))
            continue;
        std::string typeName = type.isValid() ? type.GetTypeIdentifier() : "unknown";
        return FormulaError{FormulaErrorCode::ValueRejected, item.valuePosition,
                            "The value " + quotedFormulaText(item.value) + " at " +
                                column(item.valuePosition) + " is not a value of type " + typeName};
    }
    return std::nullopt;
}

int CheckFormula(std::string_view formula, FormulaErrorCode& errorCode, TimeUnit defaultUnit) {
    FormulaResult result = parseFormula(formula, defaultUnit);
    if (result) {
        errorCode = FormulaErrorCode::None;
        return -1;
    }
    errorCode = result.error().code;
    return static_cast<int>(result.error().position);
}

int GetErrorDescription(FormulaErrorCode errorCode, char* buffer, int bufferSize,
                        std::string_view formula, int position, TimeUnit defaultUnit) {
    if (buffer == nullptr || bufferSize <= 0)
        return 0;
    // The message with the formula's own words comes from parsing it again; it is used only when
    // that parse fails the same way.
    std::string message;
    FormulaResult result = parseFormula(formula, defaultUnit);
    if (!result && result.error().code == errorCode && position >= 0 &&
        result.error().position == static_cast<std::size_t>(position))
        message = result.error().message;
    else
        message = generalMessage(errorCode, static_cast<std::size_t>(std::max(position, 0)));
    std::size_t length = utf8Prefix(message, static_cast<std::size_t>(bufferSize) - 1);
    std::memcpy(buffer, message.data(), length);
    buffer[length] = '\0';
    return static_cast<int>(length);
}
