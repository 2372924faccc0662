#include "document/KEventValuesNavigator.h"

#include "document/KDoc.h"
#include "storage/ValueText.h"

#include <algorithm>
#include <cctype>
#include <string>

namespace {

SignalHandle findSignal(const KDoc& doc, std::string_view name) {
    const SignalHandle exact = doc.findByName(name);
    if (exact != 0)
        return exact;
    std::string upper(name);
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return doc.findByUpperName(upper);
}

std::string upperTrimmed(std::string_view text) {
    const auto isBlank = [](unsigned char c) { return std::isspace(c) != 0; };
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    std::string upper(text);
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return upper;
}

} // namespace

KEventValuesNavigator::KEventValuesNavigator(const KDoc& doc, std::string_view signalName,
                                             SimTime reference, Direction direction)
    : KEventsProvider(doc, direction == Direction::Forward ? reference : 0), m_doc(doc),
      m_handle(findSignal(doc, signalName)), m_reference(reference), m_direction(direction) {
    if (m_handle != 0)
        addSignal(m_handle);
}

std::optional<KEventRecord> KEventValuesNavigator::find(const Test& test) {
    m_match.reset();
    m_startValue.reset();
    m_events.clear();
    if (m_handle == 0 || (m_direction == Direction::Backward && m_reference <= 0))
        return std::nullopt;
    m_test = &test;
    try {
        run();
    } catch (...) {
        m_test = nullptr;
        throw;
    }
    m_test = nullptr;
    return m_match;
}

std::optional<KEventRecord> KEventValuesNavigator::findText(std::string_view text) {
    const KSignalRecordPtr signal = m_doc.record(m_handle);
    if (!signal)
        return std::nullopt;
    const std::string wanted = upperTrimmed(text);
    return find([&](const EventValue& value) {
        std::size_t position = 0;
        return upperTrimmed(FormatValue(m_doc.types(), *signal, value.bytes(), position)) == wanted;
    });
}

void KEventValuesNavigator::consider(const KEventRecord& record) {
    if ((*m_test)(record.value()))
        m_match = record;
}

void KEventValuesNavigator::OnStartValue(SignalHandle, const KEventRecord& record, bool) {
    m_startValue = record;
    // Backward the query starts at 0, where the value in force is a change of its own.
    if (m_direction == Direction::Backward)
        consider(record);
}

void KEventValuesNavigator::OnNoStartValue(SignalHandle) {
    m_startValue.reset();
}

bool KEventValuesNavigator::OnEvent(SignalHandle, const KEventRecord& record) {
    if (m_direction == Direction::Backward) {
        if (record.time() >= m_reference)
            return false;
        m_events.push_back(record);
        consider(record);
        return true;
    }
    m_events.push_back(record);
    consider(record);
    return !m_match.has_value();
}
