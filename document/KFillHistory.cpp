#include "document/KFillHistory.h"

#include "storage/TextCase.h"

#include <algorithm>

KFillHistory::KFillHistory(std::string_view joined) {
    while (!joined.empty()) {
        const std::size_t bar = joined.find('|');
        const std::string_view entry = joined.substr(0, bar);
        if (!entry.empty())
            m_entries.emplace_back(entry);
        if (bar == std::string_view::npos)
            break;
        joined.remove_prefix(bar + 1);
    }
}

std::string KFillHistory::joined() const {
    std::string text;
    for (const std::string& entry : m_entries) {
        if (!text.empty())
            text += '|';
        text += entry;
    }
    return text;
}

bool KFillHistory::add(std::string_view entry, Place place, std::size_t limit) {
    entry = trimBlanks(entry);
    if (entry.empty() || entry.find('|') != std::string_view::npos)
        return false;
    const auto found = std::find(m_entries.begin(), m_entries.end(), entry);
    if (found != m_entries.end()) {
        if (place == Place::Last || found == m_entries.begin())
            return false;
        std::rotate(m_entries.begin(), found, found + 1);
        return true;
    }
    if (place == Place::First)
        m_entries.insert(m_entries.begin(), std::string(entry));
    else
        m_entries.emplace_back(entry);
    if (limit != 0 && m_entries.size() > limit) {
        if (place == Place::First)
            m_entries.resize(limit);
        else
            m_entries.erase(m_entries.begin(),
                            m_entries.end() - static_cast<std::ptrdiff_t>(limit));
    }
    return true;
}

std::string formulaFromPairs(std::span<const KFormulaPair> pairs, std::string_view repeat) {
    std::string formula;
    for (const KFormulaPair& pair : pairs) {
        if (pair.value.empty() || pair.time.empty())
            continue;
        if (!formula.empty())
            formula += ", ";
        formula += pair.value;
        formula += ' ';
        formula += pair.time;
    }
    if (!repeat.empty()) {
        formula += " -r ";
        formula += repeat;
    }
    return formula;
}
