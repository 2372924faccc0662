#include "document/KFillGenerators.h"

#include "storage/KFormulaIterator.h"
#include "storage/TextCase.h"
#include "storage/ValueText.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>

namespace {

std::optional<EventValue> convertValue(const KTypesManager& types, std::string_view text,
                                       const IValueNode& node, int radix) {
    const std::size_t size = valueSize(types, node);
    if (size == 0)
        return std::nullopt;
    EventValue value = EventValue::zeroed(static_cast<std::uint32_t>(size));
    std::size_t position = 0;
    if (!ParseValue(types, text, node, {value.mutableData(), size}, position, radix) ||
        position != size)
        return std::nullopt;
    return value;
}

// Collects writes in time order: a write at the time of the last one replaces it, and a write
// that repeats the value in force is dropped.
class EventList {
public:
    explicit EventList(std::size_t maxEvents) : m_maxEvents(maxEvents) {}

    // False once the list would pass its cap.
    bool write(SimTime time, const EventValue& value) {
        if (m_events.size() >= m_maxEvents && !replacesOrRepeats(time, value))
            return false;
        writeEvent(m_events, time, value);
        return true;
    }
    std::vector<KTimedValue> take() { return std::move(m_events); }

private:
    bool replacesOrRepeats(SimTime time, const EventValue& value) const {
        return !m_events.empty() &&
               (m_events.back().time == time || m_events.back().value == value);
    }

    std::size_t m_maxEvents;
    std::vector<KTimedValue> m_events;
};

// A double entry as a whole SimTime (truncated); nothing for the control's -1, a negative or
// non-finite value, or one beyond the range.
std::optional<SimTime> entryTime(double entry) {
    if (entry == -1.0 || !std::isfinite(entry) || entry < 0 || entry >= 9.2233720368547758e18)
        return std::nullopt;
    return static_cast<SimTime>(entry);
}

} // namespace

KFillValues convertFillValue(const KTypesManager& types, std::string_view text,
                             std::span<const KFillTarget> targets, int radix) {
    KFillValues result;
    text = trimBlanks(text);
    if (text.empty())
        return result;
    for (const KFillTarget& target : targets) {
        std::optional<EventValue> value =
            target.node ? convertValue(types, text, *target.node, radix) : std::nullopt;
        if (!value) {
            result.status = KFillValues::Status::Rejected;
            result.values.clear();
            result.message = formatMessage(kWrongValueFormatText, target.name);
            return result;
        }
        result.values.push_back(std::move(*value));
    }
    result.status = KFillValues::Status::Converted;
    return result;
}

std::optional<KClock> KClock::fromEntries(const KClockEntries& entries) {
    const std::optional<SimTime> offset = entryTime(entries.offset);
    const std::optional<SimTime> period = entryTime(entries.period);
    if (!offset || !period || *period < 1 || entries.width < 0 || entries.width > 100)
        return std::nullopt;
    return KClock{*offset, *period, entries.width, entries.startHigh};
}

std::optional<KLogicLevels> logicLevels(const KTypesManager& types, const IValueNode& signal) {
    const auto zero = types.zeroImage(signal.typeIndex());
    const auto one = types.oneImage(signal.typeIndex());
    if (!zero || !one || signal.childCount() != 0 ||
        types.type(signal.typeIndex()).GetSimpleSize() != zero->size())
        return std::nullopt;
    return KLogicLevels{EventValue(*zero), EventValue(*one)};
}

std::optional<std::vector<KTimedValue>> clockEvents(const KClock& clock, SimTime start, SimTime end,
                                                    const KLogicLevels& levels,
                                                    std::size_t maxEvents) {
    const EventValue& first = clock.startHigh ? levels.high : levels.low;
    const EventValue& second = clock.startHigh ? levels.low : levels.high;
    EventList events(maxEvents);
    if (start >= end || clock.period < 1)
        return events.take();
    // A clock made by hand rather than from entries still keeps its events in time order.
    const SimTime offset = std::max<SimTime>(clock.offset, 0);
    const int width = std::clamp(clock.width, 0, 100);
    if (offset > 0)
        events.write(start, second);
    // 128-bit sums: a time near the end of the SimTime range must stop the clock, not wrap.
    const __int128 firstLength = static_cast<__int128>(clock.period) * width / 100;
    for (__int128 t = static_cast<__int128>(start) + offset; t < end; t += clock.period) {
        if (!events.write(static_cast<SimTime>(t), first))
            return std::nullopt;
        if (t + firstLength >= end)
            break;
        if (!events.write(static_cast<SimTime>(t + firstLength), second))
            return std::nullopt;
    }
    return events.take();
}

KFormulaEvents formulaEvents(const Formula& formula, const KTypesManager& types,
                             const IValueNode& signal, SimTime start, SimTime end, int radix,
                             std::size_t maxEvents) {
    KFormulaEvents result;
    EventList events(maxEvents);
    // A repeated formula writes the same few texts many times: convert each item once.
    std::unordered_map<std::size_t, EventValue> converted;
    KFormulaIterator iterator(formula, start, end);
    while (const std::optional<FormulaEvent> item = iterator.next()) {
        auto found = converted.find(item->item);
        if (found == converted.end()) {
            std::optional<EventValue> value = convertValue(types, item->value, signal, radix);
            if (!value) {
                result.status = KFormulaEvents::Status::ValueRejected;
                result.rejected = std::string(item->value);
                break;
            }
            found = converted.emplace(item->item, std::move(*value)).first;
        }
        if (!events.write(item->time, found->second)) {
            result.status = KFormulaEvents::Status::TooManyEvents;
            return result;
        }
    }
    if (iterator.overflowed())
        result.status = KFormulaEvents::Status::TimeOverflow;
    result.events = events.take();
    return result;
}

void writeEvent(std::vector<KTimedValue>& events, SimTime time, const EventValue& value) {
    if (!events.empty() && events.back().time == time)
        events.pop_back();
    if (!events.empty() && events.back().value == value)
        return;
    events.push_back({time, value});
}

std::string formatMessage(std::string_view text, std::string_view argument) {
    std::string message(text);
    for (std::string_view marker : {"%s", "%d", "%zu"}) {
        const std::size_t at = message.find(marker);
        if (at != std::string::npos)
            return message.replace(at, marker.size(), argument);
    }
    return message;
}
