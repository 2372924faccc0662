#pragma once

// What borrowed values point into (see EventValue::borrow), kept alive by whoever keeps the
// values: a query pins the decoded sections and summaries its records borrow from, so that a
// screen of records is made without copying a long value each.
//
// Decoded sections count against a budget of bytes: a section pinned here is no longer freed when
// the block cache lets go of it, so a query that touches many sections for few values each (a
// zoomed-out screen read exactly) stops borrowing and copies its values instead.

#include <cstddef>
#include <memory>
#include <vector>

class KValuePins {
public:
    // About ten times what the sections of a zoomed-in screen of bus rows take.
    static constexpr std::size_t kDefaultBudget = std::size_t(4) << 20;

    explicit KValuePins(std::size_t budget = kDefaultBudget) : m_budget(budget) {}

    // Keeps `owner` alive; `bytes` is what it holds that nothing else may be keeping (0 for an
    // owner that lives on anyway). False, keeping nothing, when that would exceed the budget.
    bool pin(std::shared_ptr<const void> owner, std::size_t bytes = 0) {
        if (bytes > m_budget - m_bytes)
            return false;
        m_bytes += bytes;
        m_owners.push_back(std::move(owner));
        return true;
    }
    std::size_t bytes() const { return m_bytes; }
    std::size_t count() const { return m_owners.size(); }

private:
    std::vector<std::shared_ptr<const void>> m_owners;
    std::size_t m_bytes = 0;
    std::size_t m_budget;
};
