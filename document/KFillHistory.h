#pragma once

// The remembered entries of the fill pages (values typed, formulas used) and the formula text the
// formula page builds from its value-time pairs.
//
// A history is kept as one text, the entries joined by '|', so that it is one text setting. An
// entry that holds a '|' itself cannot be kept that way and is not remembered.

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class KFillHistory {
public:
    enum class Place { First, Last };
    static constexpr std::size_t kMaxFormulas = 10;

    explicit KFillHistory(std::string_view joined = {});

    const std::vector<std::string>& entries() const { return m_entries; }
    std::string joined() const;

    // Adds `entry` (blanks at both ends trimmed) unless it is empty, holds '|' or is there
    // already; at Place::First an entry that is there already moves to the front. The oldest
    // entries beyond `limit` are dropped (0: no limit). True when the history changed.
    bool add(std::string_view entry, Place place, std::size_t limit = 0);

private:
    std::vector<std::string> m_entries;
};

// One value-time pair of the formula page; either field may be empty.
struct KFormulaPair {
    std::string value;
    std::string time;
};

// The formula the pair fields stand for: the pairs with both fields filled, in order, as
// "value time" joined by ", ", then " -r " and the repeat text when that is not empty.
std::string formulaFromPairs(std::span<const KFormulaPair> pairs, std::string_view repeat);
