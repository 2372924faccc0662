#pragma once

// The signal summaries of one open database file, shared by every cursor and query on it.
//
// A summary is built the first time a query asks for one, by one pass over the signal's events;
// several signals asked for together are built in the same pass, so that the blocks they share
// are decoded once. A signal may have summaries of several bucket widths (levels): a query gets
// the widest one it allows, so that a zoomed-out screen walks and keeps a few thousand buckets per
// signal, and a finer level is built only when a closer zoom asks for it. A query served by a
// finer level already held uses that one rather than building its own. The cache holds summaries
// up to a budget of bytes, least recently used out first, so its memory does not grow with the
// file; a dropped summary is built again when it is needed. When the file has grown (a writer
// still at work), a summary goes on with the new blocks (or is built again when the signal's
// bucket width has changed).

#include "storage/evstream/SignalSummary.h"

#include <cstddef>
#include <list>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

namespace evstream {

class BlockStore;

class SummaryCache {
public:
    static constexpr std::size_t kBudgetBytes = std::size_t(64) << 20;

    explicit SummaryCache(BlockStore& store);

    // A summary of a slot whose buckets are at most `maxWidth` wide; null when the signal's
    // finest buckets would be wider or the slot has no events. Throws KFileException when a block
    // is damaged.
    std::shared_ptr<const SignalSummary> get(int slot, SimTime maxWidth);
    // Builds the summaries get() would build for these slots, all in one pass over the blocks.
    void prepare(const std::vector<int>& slots, SimTime maxWidth);

    void setBudget(std::size_t bytes);
    std::size_t bytes() const { return m_bytes; }
    std::size_t size() const { return m_entries.size(); }

private:
    // What a slot's summary would be, for the file's block count it was made for.
    struct Plan {
        SimTime width = 0; // 0: no summary
        SimTime last = 0;
        std::size_t blocks = 0;
        std::size_t counted = 0;  // blocks whose directories were counted (no index)
        std::uint64_t events = 0; // in those
        bool failed = false;      // a damaged block: never a summary
    };
    // A slot's summary of one bucket width (a power of two).
    using Key = std::uint64_t;
    static Key keyOf(int slot, SimTime width);
    struct Entry {
        std::shared_ptr<const SignalSummary> summary;
        std::size_t blocks = 0; // the file's block count it was built over
        std::list<Key>::iterator use;
    };

    struct Wanted {
        int slot;
        SimTime width;
    };
    struct Job {
        int slot;
        SimTime width;
        Plan planned;
        std::optional<SignalSummary::Builder> builder;
        std::size_t from = 0; // the first block to read
    };

    Plan plan(int slot);
    // The cached summary when it is still current; marks it used.
    std::shared_ptr<const SignalSummary> current(Key key);
    // The widest current level of a slot between `finest` and `maxWidth`.
    std::shared_ptr<const SignalSummary> held(int slot, SimTime finest, SimTime maxWidth);
    void build(const std::vector<Wanted>& wanted);
    void addBlock(std::size_t block, SimTime origin, std::vector<Job>& jobs);
    void insert(Key key, std::shared_ptr<const SignalSummary> summary);
    void trim();

    BlockStore& m_store;
    std::size_t m_budget = kBudgetBytes;
    std::size_t m_bytes = 0;
    std::unordered_map<Key, Entry> m_entries;
    std::list<Key> m_uses; // most recent first
    std::unordered_map<int, Plan> m_plans;
};

} // namespace evstream
