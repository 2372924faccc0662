#pragma once

// One typed table of settings: each entry has a stored name, a default and a current value.
// Setting a value changes only the current value; the table never talks to a store itself.

#include "document/KConfigGeneric.h"

template <typename T> class KConfig : public KConfigGeneric {
public:
    // Adds an entry at its default. Redefining a known identifier renames it and changes its
    // default but keeps its current value, so a window that defines its entries again on
    // opening does not undo what the user set through another.
    void define(int id, std::string name, T defaultValue) {
        const std::size_t index = defineName(id, std::move(name));
        if (index == m_defaults.size()) {
            m_values.push_back(defaultValue);
            m_defaults.push_back(std::move(defaultValue));
        } else {
            m_defaults[index] = std::move(defaultValue);
        }
    }

    // The current value; a value-initialised T for an unknown identifier.
    T value(int id) const {
        const auto index = indexOf(id);
        return index ? m_values[*index] : T{};
    }
    T defaultValue(int id) const {
        const auto index = indexOf(id);
        return index ? m_defaults[*index] : T{};
    }
    // False, changing nothing, for an unknown identifier.
    bool setValue(int id, T value) {
        const auto index = indexOf(id);
        if (!index) {
            return false;
        }
        m_values[*index] = std::move(value);
        return true;
    }
    bool resetValue(int id) {
        const auto index = indexOf(id);
        if (!index) {
            return false;
        }
        m_values[*index] = m_defaults[*index];
        return true;
    }

private:
    std::vector<T> m_defaults;
    std::vector<T> m_values;
};
