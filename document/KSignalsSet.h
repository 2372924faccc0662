#pragma once

// A set of signal handles without duplicates, in ascending order; the hint object of the codes
// that name signals (waves changed, signals added or removed, names changed).

#include "document/UpdateHints.h"
#include "storage/SimTime.h"

#include <cstddef>
#include <initializer_list>
#include <set>

class KSignalsSet final : public KHintObject {
public:
    using const_iterator = std::set<SignalHandle>::const_iterator;

    KSignalsSet() = default;
    KSignalsSet(std::initializer_list<SignalHandle> handles) : m_handles(handles) {}
    KSignalsSet(const KSignalsSet&) = default;
    KSignalsSet& operator=(const KSignalsSet&) = default;

    // True when the handle was not in the set yet.
    bool add(SignalHandle handle) { return m_handles.insert(handle).second; }
    bool remove(SignalHandle handle) { return m_handles.erase(handle) != 0; }
    bool contains(SignalHandle handle) const { return m_handles.count(handle) != 0; }
    void clear() { m_handles.clear(); }

    std::size_t size() const { return m_handles.size(); }
    bool empty() const { return m_handles.empty(); }
    const_iterator begin() const { return m_handles.begin(); }
    const_iterator end() const { return m_handles.end(); }

    friend bool operator==(const KSignalsSet& a, const KSignalsSet& b) {
        return a.m_handles == b.m_handles;
    }

private:
    std::set<SignalHandle> m_handles;
};
