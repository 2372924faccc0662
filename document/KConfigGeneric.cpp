#include "document/KConfigGeneric.h"

#include <algorithm>

std::optional<std::size_t> KConfigGeneric::indexOf(int id) const {
    const auto it = std::find(m_ids.begin(), m_ids.end(), id);
    if (it == m_ids.end()) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(it - m_ids.begin());
}

std::optional<int> KConfigGeneric::idOf(std::string_view name) const {
    if (name.empty()) {
        return std::nullopt;
    }
    const auto it = std::find(m_names.begin(), m_names.end(), name);
    if (it == m_names.end()) {
        return std::nullopt;
    }
    return m_ids[static_cast<std::size_t>(it - m_names.begin())];
}

std::string_view KConfigGeneric::nameOf(int id) const {
    const auto index = indexOf(id);
    return index ? std::string_view(m_names[*index]) : std::string_view();
}

std::size_t KConfigGeneric::defineName(int id, std::string name) {
    if (const auto index = indexOf(id)) {
        m_names[*index] = std::move(name);
        return *index;
    }
    m_ids.push_back(id);
    m_names.push_back(std::move(name));
    return m_ids.size() - 1;
}
