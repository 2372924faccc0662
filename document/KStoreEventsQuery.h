#pragma once

// The events of the leaves of some signals from time 0 up to a limit, gathered through the query
// engine and written into a sink in ascending (time, delta) order: what a save stores.
//
// The engine hands each leaf's changes over one leaf after the other, so the query keeps them
// per leaf and merges the lists when writing: at each (time, delta) where any leaf has an event,
// one SetTime when the time changes, one SetDelta when the delta changes, then one WriteValue per
// leaf with an event there, in the order the leaves were added. A value in force before time 0
// (a segment moved to earlier times) is written at time 0.

#include "storage/KEventsWriteHandle.h"
#include "storage/query/KEventsProvider.h"

#include <cstddef>
#include <unordered_map>
#include <vector>

class KStoreEventsQuery final : public KEventsProvider {
public:
    // Events after `limit` are not taken; kNoTime: no limit.
    KStoreEventsQuery(const IEventSources& sources, SimTime limit);

    // Requests the leaves of a signal (the signal itself when it has none).
    void addLeavesOf(SignalHandle handle);
    // Runs the query and writes every gathered event; throws KFileException when a source cannot
    // be read or the sink refuses.
    void writeTo(KEventsWriteHandle& sink);
    // How many values the last writeTo wrote.
    std::size_t writtenValues() const { return m_written; }

    // KEventsProvider
    void OnStartValue(SignalHandle handle, const KEventRecord& record, bool atStart) override;
    bool OnEvent(SignalHandle handle, const KEventRecord& record) override;

private:
    struct Leaf {
        SignalHandle handle;
        std::vector<KEventRecord> events;
    };

    Leaf& leaf(SignalHandle handle);
    void merge(KEventsWriteHandle& sink);

    SimTime m_limit;
    std::vector<Leaf> m_leaves;
    std::unordered_map<SignalHandle, std::size_t> m_indexByHandle;
    std::size_t m_written = 0;
};
