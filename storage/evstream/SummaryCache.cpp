#include "storage/evstream/SummaryCache.h"

#include "storage/KFileException.h"
#include "storage/evstream/BlockStore.h"

#include <bit>
#include <optional>

namespace evstream {

SummaryCache::SummaryCache(BlockStore& store) : m_store(store) {}

SummaryCache::Plan SummaryCache::plan(int slot) {
    const auto& blocks = m_store.blocks();
    Plan& planned = m_plans[slot];
    if (planned.blocks == blocks.size())
        return planned;
    planned.blocks = blocks.size();
    planned.width = 0;
    if (blocks.empty() || slot < 0 || planned.failed)
        return planned;
    std::uint64_t events = 0;
    planned.last = blocks.back().lastTime;
    if (const SlotSummary* totals = m_store.summary(slot)) {
        events = totals->totalEvents;
        planned.last = totals->lastEventTime;
    } else {
        // A file without index (cut short, or still being written): count from the directories
        // of the blocks not counted yet, which a summary's pass reads anyway.
        try {
            for (std::size_t b = planned.counted; b < blocks.size(); ++b)
                if (auto entry = m_store.block(b)->directory.find(slot))
                    planned.events += entry->eventCount;
            planned.counted = blocks.size();
        } catch (const KFileException&) {
            planned.failed = true; // a damaged block: no summary (see build)
            return planned;
        }
        events = planned.events;
    }
    planned.width = SignalSummary::widthFor(blocks.front().firstTime, planned.last, events);
    return planned;
}

namespace {

// The widest bucket width a query allows: a power of two, so that levels of one signal share
// their boundaries.
SimTime levelFor(SimTime maxWidth) {
    return SimTime(std::bit_floor(std::uint64_t(maxWidth)));
}

} // namespace

SummaryCache::Key SummaryCache::keyOf(int slot, SimTime width) {
    return (Key(std::uint32_t(slot)) << 8) | Key(std::countr_zero(std::uint64_t(width)));
}

std::shared_ptr<const SignalSummary> SummaryCache::current(Key key) {
    auto found = m_entries.find(key);
    if (found == m_entries.end())
        return nullptr;
    Entry& entry = found->second;
    if (entry.blocks != m_store.blocks().size())
        return nullptr; // the file has grown: build() extends it
    m_uses.splice(m_uses.begin(), m_uses, entry.use);
    return entry.summary;
}

std::shared_ptr<const SignalSummary> SummaryCache::held(int slot, SimTime finest,
                                                        SimTime maxWidth) {
    for (SimTime width = levelFor(maxWidth); width >= finest; width /= 2)
        if (auto summary = current(keyOf(slot, width)))
            return summary;
    return nullptr;
}

std::shared_ptr<const SignalSummary> SummaryCache::get(int slot, SimTime maxWidth) {
    const Plan planned = plan(slot);
    if (planned.width == 0 || planned.width > maxWidth)
        return nullptr;
    if (auto summary = held(slot, planned.width, maxWidth))
        return summary;
    const SimTime width = levelFor(maxWidth);
    build({{slot, width}});
    auto found = m_entries.find(keyOf(slot, width));
    return found == m_entries.end() ? nullptr : found->second.summary;
}

void SummaryCache::prepare(const std::vector<int>& slots, SimTime maxWidth) {
    std::vector<Wanted> missing;
    for (int slot : slots) {
        const Plan planned = plan(slot);
        if (planned.width != 0 && planned.width <= maxWidth && !held(slot, planned.width, maxWidth))
            missing.push_back({slot, levelFor(maxWidth)});
    }
    if (!missing.empty())
        build(missing);
}

void SummaryCache::build(const std::vector<Wanted>& wanted) {
    const auto& blocks = m_store.blocks();
    const SimTime origin = blocks.empty() ? 0 : blocks.front().firstTime;
    std::vector<Job> jobs;
    std::size_t from = blocks.size();
    for (const Wanted& want : wanted) {
        Job job{want.slot, want.width, plan(want.slot), std::nullopt, 0};
        // A summary of the file before it grew goes on with the new blocks while its buckets
        // still fit the signal.
        auto found = m_entries.find(keyOf(want.slot, want.width));
        if (found != m_entries.end() && found->second.blocks < blocks.size() &&
            job.planned.width != 0 && job.planned.width <= want.width &&
            found->second.summary->origin() == origin) {
            job.builder.emplace(*found->second.summary, job.planned.last);
            job.from = found->second.blocks;
        }
        from = std::min(from, job.from);
        jobs.push_back(std::move(job));
    }
    // Block by block, all signals side by side: signals stored in one section group share its
    // decoding while the block stays in the block cache.
    try {
        for (std::size_t b = from; b < blocks.size(); ++b)
            addBlock(b, origin, jobs);
    } catch (const KFileException&) {
        // A damaged block: these signals go without summaries, and their queries read exactly
        // what they need, which may not include that block.
        for (const Job& job : jobs) {
            Plan& planned = m_plans[job.slot];
            planned.failed = true;
            planned.width = 0;
        }
        return;
    }
    for (Job& job : jobs)
        if (job.builder)
            insert(keyOf(job.slot, job.width),
                   std::make_shared<const SignalSummary>(job.builder->finish()));
    trim();
}

void SummaryCache::addBlock(std::size_t b, SimTime origin, std::vector<Job>& jobs) {
    std::shared_ptr<BlockStore::LoadedBlock> loaded = m_store.block(b);
    for (Job& job : jobs) {
        if (b < job.from)
            continue;
        const std::ptrdiff_t position = loaded->directory.indexOf(job.slot);
        if (position < 0 || loaded->directory.entry(std::size_t(position)).eventCount == 0)
            continue;
        auto events = m_store.section(b, *loaded, std::size_t(position));
        const BlockKeys& keys = *loaded->keys;
        if (!job.builder)
            job.builder.emplace(origin, job.width, job.planned.last, events->valueSize);
        for (std::size_t i = 0; i < events->times.size(); ++i)
            job.builder->add(events->times[i], keys.deltas[events->keys[i]], events->value(i));
    }
}

void SummaryCache::insert(Key key, std::shared_ptr<const SignalSummary> summary) {
    if (auto found = m_entries.find(key); found != m_entries.end()) {
        m_bytes -= found->second.summary->bytes();
        m_uses.erase(found->second.use);
        m_entries.erase(found);
    }
    m_uses.push_front(key);
    m_bytes += summary->bytes();
    m_entries[key] = {std::move(summary), m_store.blocks().size(), m_uses.begin()};
}

void SummaryCache::setBudget(std::size_t bytes) {
    m_budget = bytes;
    trim();
}

void SummaryCache::trim() {
    // The summary used last stays whatever its size: the query that asked for it is using it.
    while (m_bytes > m_budget && m_uses.size() > 1) {
        auto found = m_entries.find(m_uses.back());
        m_bytes -= found->second.summary->bytes();
        m_entries.erase(found);
        m_uses.pop_back();
    }
}

} // namespace evstream
