#include "storage/TimeFormat.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <clocale>
#include <langinfo.h>
#include <locale.h>

namespace {

using Wide = __int128;

constexpr std::array<std::string_view, kTimeUnitCount> kUnitNames{"fs", "ps",  "ns",  "us",
                                                                  "ms", "sec", "min", "hr"};
constexpr std::array<std::int64_t, kTimeUnitCount> kUnitFemtoseconds{1,
                                                                     1'000,
                                                                     1'000'000,
                                                                     1'000'000'000,
                                                                     1'000'000'000'000,
                                                                     1'000'000'000'000'000,
                                                                     60'000'000'000'000'000,
                                                                     3'600'000'000'000'000'000};

std::string localeSeparator() {
    std::string separator = ".";
    locale_t locale = newlocale(LC_NUMERIC_MASK, "", static_cast<locale_t>(nullptr));
    if (locale != static_cast<locale_t>(nullptr)) {
        const char* radix = nl_langinfo_l(RADIXCHAR, locale);
        if (radix != nullptr && *radix != '\0')
            separator.assign(radix,
                             std::min<std::size_t>(std::char_traits<char>::length(radix), 11));
        freelocale(locale);
    }
    return separator;
}

std::string& separatorStorage() {
    static std::string separator = localeSeparator();
    return separator;
}

std::string toDecimal(Wide value) {
    if (value == 0)
        return "0";
    std::string digits;
    for (; value > 0; value /= 10)
        digits.push_back(static_cast<char>('0' + static_cast<int>(value % 10)));
    std::reverse(digits.begin(), digits.end());
    return digits;
}

Wide powerOfTen(int exponent) {
    Wide result = 1;
    for (int i = 0; i < exponent; ++i)
        result *= 10;
    return result;
}

std::optional<TimeUnit> unitFromName(std::string_view name) {
    std::string lower(name);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    for (int i = 0; i < kTimeUnitCount; ++i)
        if (lower == kUnitNames[static_cast<std::size_t>(i)])
            return static_cast<TimeUnit>(i);
    if (lower == "s")
        return Sec;
    return std::nullopt;
}

} // namespace

std::string_view timeUnitName(TimeUnit unit) {
    return kUnitNames[static_cast<std::size_t>(unit)];
}

std::int64_t timeUnitFemtoseconds(TimeUnit unit) {
    return kUnitFemtoseconds[static_cast<std::size_t>(unit)];
}

TimeUnit automaticTimeUnit(SimTime time) {
    // Negative times take the unit of their magnitude.
    std::uint64_t t =
        time < 0 ? 0 - static_cast<std::uint64_t>(time) : static_cast<std::uint64_t>(time);
    int unit = Ps;
    while (unit < Sec && t >= 1000) {
        t /= 1000;
        ++unit;
    }
    while (unit >= Sec && unit < Hr && t >= 60) {
        t /= 60;
        ++unit;
    }
    if (t < 10 && unit > Fs)
        --unit;
    return static_cast<TimeUnit>(unit);
}

const std::string& decimalSeparator() {
    return separatorStorage();
}

void setDecimalSeparator(std::string separator) {
    separatorStorage() = separator.empty() ? localeSeparator() : std::move(separator);
}

std::string FormatTime(SimTime time, bool showUnit, int unit, int decimals) {
    TimeUnit chosen = Ps;
    if (unit >= 0 && unit < kTimeUnitCount)
        chosen = static_cast<TimeUnit>(unit);
    else if (time != 0)
        chosen = automaticTimeUnit(time);

    const bool negative = time < 0;
    Wide femtoseconds = static_cast<Wide>(time) * 1000;
    if (negative)
        femtoseconds = -femtoseconds;
    const Wide factor = kUnitFemtoseconds[static_cast<std::size_t>(chosen)];
    Wide whole = femtoseconds / factor;
    const Wide remainder = femtoseconds % factor;

    std::string text = negative ? "-" : "";
    const std::string unitText = showUnit ? " " + std::string(timeUnitName(chosen)) : "";
    if (remainder == 0) {
        text += toDecimal(whole);
        if (decimals >= 1)
            text += "." + std::string(static_cast<std::size_t>(decimals), '0');
        return text + unitText;
    }

    const int width = decimals < 1 ? 7 : std::min(decimals, 30);
    const Wide scale = powerOfTen(width);
    Wide fraction = (remainder * scale * 2 + factor) / (factor * 2); // rounded half up
    if (fraction >= scale) {
        ++whole;
        fraction -= scale;
    }
    std::string digits = toDecimal(fraction);
    digits.insert(0, static_cast<std::size_t>(width) - digits.size(), '0');
    if (decimals < 1) {
        std::size_t last = digits.find_last_not_of('0');
        digits.resize(last == std::string::npos ? 1 : last + 1);
    }
    text += toDecimal(whole) + decimalSeparator() + digits;
    return text + unitText;
}

std::optional<ParsedTime> ParseTime(std::string_view text, TimeUnit defaultUnit) {
    std::size_t pos = 0;
    auto skipBlanks = [&] {
        while (pos < text.size() && std::isspace(static_cast<unsigned char>(text[pos])))
            ++pos;
    };
    auto isDigit = [&](std::size_t at) {
        return at < text.size() && std::isdigit(static_cast<unsigned char>(text[at]));
    };

    ParsedTime result;
    skipBlanks();
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-'))
        result.sign = text[pos++];

    // Whole part, kept exact up to well past the SimTime range.
    constexpr Wide kLimit = static_cast<Wide>(1) << 100;
    Wide whole = 0;
    bool anyDigit = false;
    for (; isDigit(pos); ++pos) {
        anyDigit = true;
        whole = std::min(whole * 10 + (text[pos] - '0'), kLimit);
    }

    // Fraction: the locale's separator, and '.' too, which every user types on a command line.
    Wide fraction = 0;
    int fractionDigits = 0;
    const std::string& separator = decimalSeparator();
    std::size_t separatorLength = 0;
    if (text.substr(pos).starts_with(separator))
        separatorLength = separator.size();
    else if (pos < text.size() && text[pos] == '.')
        separatorLength = 1;
    if (separatorLength != 0 && isDigit(pos + separatorLength)) {
        for (pos += separatorLength; isDigit(pos); ++pos) {
            anyDigit = true;
            if (fractionDigits < 18) { // beyond that no unit can tell the difference
                fraction = fraction * 10 + (text[pos] - '0');
                ++fractionDigits;
            }
        }
    }
    if (!anyDigit)
        return std::nullopt;

    skipBlanks();
    std::size_t nameEnd = pos;
    while (nameEnd < text.size() && std::isalpha(static_cast<unsigned char>(text[nameEnd])))
        ++nameEnd;
    TimeUnit unit = unitFromName(text.substr(pos, nameEnd - pos)).value_or(defaultUnit);

    const Wide factor = kUnitFemtoseconds[static_cast<std::size_t>(unit)];
    if (whole > static_cast<Wide>(kMaxTime) * 1000 / factor + 1)
        return std::nullopt;
    const Wide femtoseconds = whole * factor + fraction * factor / powerOfTen(fractionDigits);
    const Wide picoseconds = femtoseconds / 1000;
    if (picoseconds > static_cast<Wide>(kMaxTime))
        return std::nullopt;
    result.time = static_cast<SimTime>(picoseconds);
    if (result.sign == '-')
        result.time = -result.time;
    return result;
}
