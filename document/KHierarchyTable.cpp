#include "document/KHierarchyTable.h"

KHierarchyTable::KHierarchyTable() {
    intern({});
}

std::uint32_t KHierarchyTable::intern(std::string_view path) {
    if (auto found = find(path))
        return *found;
    const auto index = static_cast<std::uint32_t>(m_paths.size());
    m_paths.emplace_back(path);
    m_indexByPath.emplace(m_paths.back(), index);
    return index;
}

std::optional<std::uint32_t> KHierarchyTable::find(std::string_view path) const {
    auto found = m_indexByPath.find(std::string(path));
    if (found == m_indexByPath.end())
        return std::nullopt;
    return found->second;
}

const std::string& KHierarchyTable::text(std::uint32_t index) const {
    static const std::string empty;
    return contains(index) ? m_paths[index] : empty;
}
