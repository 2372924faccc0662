#include "document/KFillApply.h"

#include "document/KDoc.h"
#include "document/KEditTransaction.h"
#include "document/KFillHistory.h"
#include "document/KUndoScope.h"
#include "storage/Formula.h"

#include <array>

KFillApply::KFillApply(KDoc& doc, KWVConfig& config, KFillSelection selection)
    : m_doc(doc), m_config(config), m_selection(std::move(selection)) {}

bool KFillApply::hasRange() const {
    return !m_selection.signals.empty() && m_selection.start < m_selection.end;
}

bool KFillApply::write(const std::vector<std::vector<KTimedValue>>& events) {
    // A refusal or a source that cannot be read leaves the document as it was.
    KUndoScope undo(m_doc);
    for (std::size_t i = 0; i < m_selection.signals.size(); ++i) {
        KEditTransaction transaction(m_doc, m_selection.signals[i], m_selection.start,
                                     m_selection.end);
        transaction.setEvents(events[i]);
        if (!transaction.commit(false))
            return false;
    }
    undo.commit();
    return true;
}

KFillOutcome KFillApply::fillValue(std::string_view text) {
    if (!hasRange())
        return {};
    std::vector<KFillTarget> targets;
    for (SignalHandle handle : m_selection.signals) {
        const KSignalRecordPtr record = m_doc.record(handle);
        targets.push_back({record.get(), record ? record->name() : std::string()});
    }
    KFillValues values = convertFillValue(m_doc.types(), text, targets);
    if (values.status == KFillValues::Status::Empty)
        return {};
    if (values.status == KFillValues::Status::Rejected)
        return {KFillOutcome::Status::Refused, values.message};
    std::vector<std::vector<KTimedValue>> events;
    for (EventValue& value : values.values)
        events.push_back({{m_selection.start, std::move(value)}});
    if (!write(events))
        return {KFillOutcome::Status::Refused, {}};
    return {KFillOutcome::Status::Done, {}};
}

void KFillApply::rememberValue(std::string_view text) {
    KFillHistory history(m_config.text(KTextId::FillByValue));
    if (history.add(text, KFillHistory::Place::Last))
        m_config.setText(KTextId::FillByValue, history.joined());
}

KFillOutcome KFillApply::fillClock(const KClockEntries& entries) {
    const std::optional<KClock> clock = KClock::fromEntries(entries);
    if (!clock)
        return {KFillOutcome::Status::Invalid, {}};
    std::vector<KLogicLevels> levels;
    for (SignalHandle handle : m_selection.signals) {
        const KSignalRecordPtr record = m_doc.record(handle);
        std::optional<KLogicLevels> level =
            record ? logicLevels(m_doc.types(), *record) : std::nullopt;
        if (!level)
            return {KFillOutcome::Status::Refused, std::string(kCannotFillText)};
        levels.push_back(std::move(*level));
    }
    if (!hasRange())
        return {};
    std::vector<std::vector<KTimedValue>> events;
    for (const KLogicLevels& level : levels) {
        auto clockOfSignal = clockEvents(*clock, m_selection.start, m_selection.end, level);
        if (!clockOfSignal)
            return {KFillOutcome::Status::Refused,
                    formatMessage(kTooManyEventsText, std::to_string(kMaxFillEvents))};
        events.push_back(std::move(*clockOfSignal));
    }
    if (!write(events))
        return {KFillOutcome::Status::Refused, {}};
    m_config.setTime(KTimeId::FillByClockOffset, clock->offset);
    m_config.setTime(KTimeId::FillByClockPeriod, clock->period);
    m_config.setInteger(KIntegerId::FillByClockFillingWidth, clock->width);
    m_config.setFlag(KFlagId::FillByClockStartHigh, clock->startHigh);
    return {KFillOutcome::Status::Done, {}};
}

KClockEntries KFillApply::clockSettings() const {
    return {static_cast<double>(m_config.time(KTimeId::FillByClockOffset)),
            static_cast<double>(m_config.time(KTimeId::FillByClockPeriod)),
            m_config.integer(KIntegerId::FillByClockFillingWidth),
            m_config.flag(KFlagId::FillByClockStartHigh)};
}

void KFillApply::rememberFormula(std::string_view formula, TimeUnit defaultUnit) {
    KFillHistory history(m_config.text(KTextId::FillByFormula));
    if (history.add(formula, KFillHistory::Place::First, KFillHistory::kMaxFormulas))
        m_config.setText(KTextId::FillByFormula, history.joined());
    m_config.setInteger(KIntegerId::FillByFormulaUnit, defaultUnit);
}

TimeUnit KFillApply::formulaUnit() const {
    const std::int32_t unit = m_config.integer(KIntegerId::FillByFormulaUnit);
    return unit >= Fs && unit < kTimeUnitCount ? static_cast<TimeUnit>(unit) : Ps;
}

KFillOutcome KFillApply::fillFormula(std::string_view formula, TimeUnit defaultUnit) {
    FormulaErrorCode code = FormulaErrorCode::None;
    const int position = CheckFormula(formula, code, defaultUnit);
    if (position >= 0) {
        std::array<char, 256> buffer{};
        const int length =
            GetErrorDescription(code, buffer.data(), buffer.size(), formula, position, defaultUnit);
        return {KFillOutcome::Status::Refused, std::string(buffer.data(), length)};
    }
    if (!hasRange())
        return {};
    const FormulaResult parsed = parseFormula(formula, defaultUnit);
    std::vector<std::vector<KTimedValue>> events;
    std::string rejections;
    for (SignalHandle handle : m_selection.signals) {
        const KSignalRecordPtr record = m_doc.record(handle);
        if (!record)
            return {KFillOutcome::Status::Refused, std::string(kCannotFillText)};
        KFormulaEvents signalEvents =
            formulaEvents(*parsed, m_doc.types(), *record, m_selection.start, m_selection.end);
        if (signalEvents.status == KFormulaEvents::Status::TooManyEvents)
            return {KFillOutcome::Status::Refused,
                    formatMessage(kTooManyEventsText, std::to_string(kMaxFillEvents))};
        if (signalEvents.status == KFormulaEvents::Status::ValueRejected)
            rejections += (rejections.empty() ? "" : "\n") + signalEvents.rejected +
                          " is not a value of signal " + record->name() +
                          "; its fill stops before it.";
        events.push_back(std::move(signalEvents.events));
    }
    if (!write(events))
        return {KFillOutcome::Status::Refused, {}};
    return {KFillOutcome::Status::Done, rejections};
}
