#pragma once

// Times as text: the unit table, FormatTime and ParseTime.
//
// Every time the user sees or types (rulers, cursors, dialogs, the command line) goes through
// these two functions, so that "15.5 ns" means the same everywhere. Arithmetic is done in whole
// femtoseconds (128-bit) so that no time loses precision on its way to text and back.

#include "storage/SimTime.h"

#include <optional>
#include <string>
#include <string_view>

enum TimeUnit : int { Fs = 0, Ps, Ns, Us, Ms, Sec, Min, Hr };
inline constexpr int kTimeUnitCount = 8;
inline constexpr int kAutomaticUnit = -1;

// "fs", "ps", "ns", "us", "ms", "sec", "min", "hr".
std::string_view timeUnitName(TimeUnit unit);
// How many femtoseconds one unit is (1 for fs, 1000 for ps, ...).
std::int64_t timeUnitFemtoseconds(TimeUnit unit);
// The unit a time is best shown in: the largest unit in which it has at least two digits.
TimeUnit automaticTimeUnit(SimTime time);

// The user's decimal separator, read once from the locale. Tests and the command line may set
// it; an empty text restores the locale's.
const std::string& decimalSeparator();
void setDecimalSeparator(std::string separator);

// `unit` is a TimeUnit or kAutomaticUnit; `decimals` below 1 prints up to seven fraction digits
// without trailing zeros, otherwise exactly that many.
std::string FormatTime(SimTime time, bool showUnit = true, int unit = kAutomaticUnit,
                       int decimals = 0);

struct ParsedTime {
    SimTime time = 0;
    // '+' or '-' when the text started with one (callers treat those as relative), else 0.
    char sign = 0;
};

// Reads "[+|-]digits[<separator>digits][blanks][unit]"; a missing or unknown unit means
// `defaultUnit`. Fails on a text without a number or a time beyond the SimTime range.
std::optional<ParsedTime> ParseTime(std::string_view text, TimeUnit defaultUnit = Ps);
