#include "storage/KFormulaIterator.h"

KFormulaIterator::KFormulaIterator(const Formula& formula, SimTime start, SimTime end)
    : m_formula(formula), m_end(end), m_base(start) {
    m_done = start >= end || formula.items.empty();
}

std::optional<FormulaEvent> KFormulaIterator::next() {
    if (m_done)
        return std::nullopt;
    if (m_index == m_formula.items.size()) {
        if (!m_formula.repeatPeriod) {
            m_done = true;
            return std::nullopt;
        }
        if (__builtin_add_overflow(m_base, *m_formula.repeatPeriod, &m_base)) {
            m_done = m_overflowed = true;
            return std::nullopt;
        }
        m_index = 0;
    }
    const FormulaItem& item = m_formula.items[m_index];
    SimTime time = 0;
    if (__builtin_add_overflow(m_base, item.offset, &time)) {
        m_done = m_overflowed = true;
        return std::nullopt;
    }
    if (time >= m_end) {
        m_done = true;
        return std::nullopt;
    }
    return FormulaEvent{item.value, time, item.unit, m_index++};
}
