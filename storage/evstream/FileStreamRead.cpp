#include "storage/evstream/FileStreamRead.h"

#include "storage/evstream/SignalCursor.h"

#include <algorithm>
#include <cstring>

namespace evstream {

FileStreamRead::FileStreamRead(std::string fileName)
    : m_store(std::make_unique<BlockStore>(std::move(fileName), m_signals)),
      m_summaries(std::make_unique<SummaryCache>(*m_store)) {
    m_endTime = m_store->endTime();
}

FileStreamRead::~FileStreamRead() {
    // Cursors borrow this stream; they go before the store they read.
    m_cursors.clear();
    m_summaries.reset();
}

bool FileStreamRead::Release() {
    if (--m_refs == 0)
        delete this;
    return true;
}

int FileStreamRead::slotOf(SignalHandle handle) const {
    const SignalEntry* entry = m_signals.find(handle);
    return entry == nullptr ? -1 : entry->slot;
}

SignalHandle FileStreamRead::GetChild(SignalHandle parent, int index) {
    const SignalEntry* entry = m_signals.find(parent);
    if (entry == nullptr || index < 0 || std::size_t(index) >= entry->children.size())
        return kNoSignal;
    return entry->children[std::size_t(index)];
}

SignalHandle FileStreamRead::GetRoot(int index) {
    const auto& roots = m_signals.roots();
    return index < 0 || std::size_t(index) >= roots.size() ? kNoSignal : roots[std::size_t(index)];
}

bool FileStreamRead::GetSignalInfo(SignalHandle handle, SignalInfo& info) {
    const SignalEntry* entry = m_signals.find(handle);
    if (entry == nullptr)
        return false;
    info = entry->info;
    if (info.isComposite && !entry->isVirtual)
        info.childCount = int(entry->children.size());
    return true;
}

std::string FileStreamRead::GetProperty(SignalHandle handle, std::string_view key) {
    const SignalEntry* entry = m_signals.find(handle);
    if (entry == nullptr)
        return {};
    auto it = entry->properties.find(key);
    return it == entry->properties.end() ? std::string() : it->second;
}

std::string FileStreamRead::GetTypeInfoString(SignalHandle handle) {
    const SignalEntry* entry = m_signals.find(handle);
    return entry == nullptr ? std::string() : entry->typeInfo;
}

int FileStreamRead::GetAnnotationCount(SignalHandle handle) {
    const SignalEntry* entry = m_signals.find(handle);
    return entry == nullptr ? 0 : int(entry->annotations.size());
}

bool FileStreamRead::GetAnnotation(SignalHandle handle, int index, Annotation& annotation) {
    const SignalEntry* entry = m_signals.find(handle);
    if (entry == nullptr || index < 0 || std::size_t(index) >= entry->annotations.size())
        return false;
    annotation = entry->annotations[std::size_t(index)];
    return true;
}

bool FileStreamRead::loadMerged(std::size_t index) {
    if (index >= m_store->blocks().size())
        return false;
    auto loaded = m_store->block(index);
    const BlockKeys& keys = m_store->keys(index, *loaded);
    std::vector<std::shared_ptr<const SlotEvents>> sections;
    std::vector<int> slots;
    std::vector<std::size_t> keyStart(keys.times.size() + 1, 0);
    for (std::size_t i = 0; i < loaded->directory.count; ++i) {
        DirectoryEntry entry = loaded->directory.entry(i);
        if (entry.eventCount == 0)
            continue;
        sections.push_back(m_store->section(index, entry.slot));
        slots.push_back(entry.slot);
        for (std::uint32_t k : sections.back()->keys)
            ++keyStart[k + 1];
    }
    for (std::size_t k = 1; k < keyStart.size(); ++k)
        keyStart[k] += keyStart[k - 1];
    // A counting sort by key, visiting slots in ascending order, gives the implied order of
    // events at one key; the recorded exceptions are applied after.
    m_merged.resize(keyStart.back());
    std::vector<std::size_t> fill(keyStart.begin(), keyStart.end() - 1);
    for (std::size_t s = 0; s < sections.size(); ++s) {
        const SlotEvents& ev = *sections[s];
        for (std::size_t i = 0; i < ev.keys.size(); ++i) {
            std::uint32_t k = ev.keys[i];
            m_merged[fill[k]++] =
                Merged{keys.times[k], keys.deltas[k], slots[s], ev.value(i), ev.valueSize};
        }
    }
    applyKeyOrders(keys, keyStart);
    m_mergedSections = std::move(sections);
    m_block = index;
    m_loaded = true;
    m_position = 0;
    return true;
}

void FileStreamRead::applyKeyOrders(const BlockKeys& keys,
                                    const std::vector<std::size_t>& keyStart) {
    std::vector<Merged> range;
    std::unordered_map<int, std::size_t> next;
    for (const KeyOrder& order : keys.orders) {
        std::size_t begin = keyStart[order.key], end = keyStart[order.key + 1];
        if (order.slots.size() != end - begin)
            continue; // damaged: keep the implied order
        next.clear();
        for (std::size_t i = begin; i < end; ++i)
            next.emplace(m_merged[i].slot, i);
        range.clear();
        for (int slot : order.slots) {
            auto it = next.find(slot);
            if (it == next.end() || it->second >= end || m_merged[it->second].slot != slot)
                break;
            range.push_back(m_merged[it->second++]);
        }
        if (range.size() == end - begin)
            std::copy(range.begin(), range.end(), m_merged.begin() + std::ptrdiff_t(begin));
    }
}

void FileStreamRead::setCurrent(SimTime time, DeltaCycle delta, const std::uint8_t* value,
                                std::uint32_t size) {
    m_time = time;
    m_delta = delta;
    m_value.assign(value, value + size);
    m_valueSize = size;
}

SignalHandle FileStreamRead::ReadNextEvent() {
    if (m_currentSlot >= 0) {
        // A signal sharing the events of the one just read yields the same event next.
        const auto& aliases = m_signals.at(m_currentSlot).aliases;
        if (m_nextAlias < aliases.size())
            return m_signals.at(aliases[m_nextAlias++]).handle;
    }
    m_currentSlot = -1;
    if (!m_loaded && !loadMerged(0))
        return kNoSignal;
    while (m_position >= m_merged.size()) {
        if (!loadMerged(m_block + 1))
            return kNoSignal;
    }
    const Merged& e = m_merged[m_position++];
    setCurrent(e.time, e.delta, e.value, e.valueSize);
    m_currentSlot = e.slot;
    m_nextAlias = 0;
    return m_signals.at(e.slot).handle;
}

bool FileStreamRead::Rewind(const SimTime& time) {
    m_cursors.clear();
    m_rewindTime = time;
    m_currentSlot = -1;
    std::size_t block = m_store->firstBlockEndingAtOrAfter(time);
    if (block >= m_store->blocks().size()) {
        // Past the last event: the next read finds what a refresh may add.
        m_loaded = !m_store->blocks().empty();
        m_block = m_store->blocks().size() - 1;
        m_merged.clear();
        m_mergedSections.clear();
        m_position = 0;
        return true;
    }
    loadMerged(block);
    auto it = std::partition_point(m_merged.begin(), m_merged.end(),
                                   [&](const Merged& e) { return e.time < time; });
    m_position = std::size_t(it - m_merged.begin());
    return true;
}

SimTime FileStreamRead::SkipTo(const SimTime& time) {
    m_currentSlot = -1;
    if (!m_loaded && !loadMerged(0))
        return kNoTime;
    if (m_position >= m_merged.size() || m_merged.back().time < time) {
        std::size_t block = std::max(m_block + 1, m_store->firstBlockEndingAtOrAfter(time));
        if (!loadMerged(block)) {
            m_merged.clear();
            m_mergedSections.clear();
            m_block = m_store->blocks().size() - 1;
            m_position = 0;
            return kNoTime;
        }
    }
    auto it = std::partition_point(m_merged.begin() + std::ptrdiff_t(m_position), m_merged.end(),
                                   [&](const Merged& e) { return e.time < time; });
    m_position = std::size_t(it - m_merged.begin());
    return m_merged[m_position].time;
}

bool FileStreamRead::ReadNextEventOf(SignalHandle handle, void* value) {
    int slot = slotOf(handle);
    if (slot < 0)
        return false;
    auto& cursor = m_cursors[handle];
    bool found;
    if (!cursor) {
        cursor = std::make_unique<SignalCursor>(this, slot, SignalCursor::StreamReference::Borrow);
        found = cursor->seek(m_rewindTime);
    } else {
        found = cursor->next();
    }
    if (!found)
        return false;
    setCurrent(cursor->time(), cursor->delta(), cursor->value(), cursor->valueSize());
    if (value != nullptr)
        std::memcpy(value, m_value.data(), m_valueSize);
    return true;
}

bool FileStreamRead::GetValue(void* value) {
    if (m_valueSize == 0 || value == nullptr)
        return false;
    std::memcpy(value, m_value.data(), m_valueSize);
    return true;
}

const SimTime& FileStreamRead::GetEndTime() {
    m_endTime = m_store->endTime();
    return m_endTime;
}

bool FileStreamRead::Refresh() {
    bool ok = m_store->refresh(m_signals);
    m_endTime = m_store->endTime();
    return ok;
}

} // namespace evstream
