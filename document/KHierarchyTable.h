#pragma once

// The design paths of the document's signals, each kept once: a record stores an index, never
// the text. Index 0 is the empty path (signals without a hierarchy); indices never change while
// the table lives.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class KHierarchyTable {
public:
    KHierarchyTable();

    // The index of `path`, adding it when it is new.
    std::uint32_t intern(std::string_view path);
    std::optional<std::uint32_t> find(std::string_view path) const;
    // The path of an index; the empty text for an index the table does not hold.
    const std::string& text(std::uint32_t index) const;
    bool contains(std::uint32_t index) const { return index < m_paths.size(); }
    std::size_t size() const { return m_paths.size(); }

private:
    std::vector<std::string> m_paths;
    std::unordered_map<std::string, std::uint32_t> m_indexByPath;
};
