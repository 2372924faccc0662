#pragma once

// The part of a settings table that does not depend on the value type: which identifiers it
// holds and the name each is stored under. Identifiers are small integers, unique within one
// table; they need not be contiguous.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class KConfigGeneric {
public:
    std::size_t size() const { return m_ids.size(); }
    // Identifiers in the order they were defined, which is also the order of load and save.
    const std::vector<int>& ids() const { return m_ids; }
    bool contains(int id) const { return indexOf(id).has_value(); }
    std::optional<int> idOf(std::string_view name) const;
    // The stored name of an identifier; empty for an unknown one.
    std::string_view nameOf(int id) const;

protected:
    std::optional<std::size_t> indexOf(int id) const;
    // Returns the index of the entry, reusing the existing one when the identifier is known.
    std::size_t defineName(int id, std::string name);

private:
    std::vector<int> m_ids;
    std::vector<std::string> m_names;
};
