#include "document/KStretch.h"

#include "document/KFillGenerators.h"
#include "storage/TimeFormat.h"

#include <algorithm>
#include <cctype>
#include <climits>

int KStretch::leadingInteger(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i)
        value = std::min<long long>(value * 10 + (text[i] - '0'), 1LL + INT_MAX);
    value = negative ? -value : value;
    return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

std::string KStretch::percentText(int percent) {
    return std::to_string(percent) + " %";
}

int KStretch::spin(int percent, int clicks) {
    const long long next =
        static_cast<long long>(percent) + static_cast<long long>(clicks) * kSpinStep;
    return static_cast<int>(std::clamp<long long>(next, kMinPercent, kMaxPercent));
}

std::string KStretch::originalRangeText() const {
    return "Original range " + FormatTime(length()) + ", from " + FormatTime(m_start) + "  to " +
           FormatTime(m_end);
}

std::optional<std::string> KStretch::newRangeText(int percent) const {
    const std::optional<SimTime> end = isInRange(percent) ? newEnd(percent) : std::nullopt;
    if (!end)
        return std::nullopt;
    return "New range " + FormatTime(*end - m_start) + ", from " + FormatTime(m_start) + "  to " +
           FormatTime(*end);
}

std::optional<SimTime> KStretch::newLength(int percent) const {
    if (percent < 1)
        return std::nullopt;
    const __int128 scaled = static_cast<__int128>(length()) * percent / 100;
    if (scaled + m_start > kMaxTime)
        return std::nullopt;
    return static_cast<SimTime>(scaled);
}

std::optional<SimTime> KStretch::newEnd(int percent) const {
    const std::optional<SimTime> scaled = newLength(percent);
    if (!scaled)
        return std::nullopt;
    return m_start + *scaled;
}

SimTime KStretch::map(SimTime time, int percent) const {
    return m_start + static_cast<SimTime>(static_cast<__int128>(time - m_start) * percent / 100);
}

std::vector<KTimedValue> KStretch::stretchEvents(const EventValue& startValue,
                                                 std::span<const KTimedValue> events,
                                                 int percent) const {
    std::vector<KTimedValue> stretched;
    if (!startValue.isEmpty())
        stretched.push_back({m_start, startValue});
    for (const KTimedValue& event : events) {
        if (event.time >= m_start && event.time < m_end)
            writeEvent(stretched, map(event.time, percent), event.value);
    }
    return stretched;
}
