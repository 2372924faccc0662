#include "document/KDoc.h"

#include "document/KUndoRing.h"

#include <algorithm>
#include <set>
#include <utility>

KDoc::KDoc(IDocHost* host)
    : m_host(host != nullptr ? host : &m_quietHost),
      m_placeholder(KSignalRecord::create({}, kNoSignal)), m_undo(std::make_unique<KUndoRing>()) {}

KDoc::~KDoc() = default;

void KDoc::setHost(IDocHost* host) {
    m_host = host != nullptr ? host : &m_quietHost;
}

bool KDoc::newDocument() {
    m_initialised = true;
    return true;
}

// Signals

KSignalRecordPtr KDoc::record(SignalHandle handle) const {
    if (handle == kNoSignal)
        return m_placeholder;
    auto found = m_signals.find(handle);
    return found != m_signals.end() ? found->second : nullptr;
}

SignalHandle KDoc::addRecord(const KSignalRecordPtr& record, SignalHandle parent) {
    if (!record)
        return 0;
    KSignalRecordPtr parentRecord;
    if (parent != 0) {
        auto found = m_signals.find(parent);
        if (found == m_signals.end())
            return 0;
        parentRecord = found->second;
    }
    SignalHandle handle = record->handle();
    if (handle == 0) {
        while (m_signals.count(m_nextHandle) != 0)
            ++m_nextHandle;
        handle = m_nextHandle++;
    } else if (handle == kNoSignal || m_signals.count(handle) != 0) {
        return 0;
    } else if (handle >= m_nextHandle) {
        m_nextHandle = handle + 1;
    }
    record->setHandle(handle);
    record->setParent(parent);
    m_signals.emplace(handle, record);
    if (parentRecord)
        parentRecord->children().push_back(record);
    indexName(*record);
    return handle;
}

std::vector<KSignalRecordPtr> KDoc::removeSignals(const KSignalsSet& handles) {
    std::vector<SignalHandle> doomed;
    std::set<SignalHandle> seen;
    for (SignalHandle handle : handles)
        for (SignalHandle h : collect(handle))
            if (seen.insert(h).second)
                doomed.push_back(h);
    if (doomed.empty())
        return {};

    std::vector<KSignalRecordPtr> removed;
    KSignalsSet removedSet;
    for (SignalHandle handle : doomed) {
        auto found = m_signals.find(handle);
        if (found == m_signals.end())
            continue; // a child that was never entered
        KSignalRecordPtr record = found->second;
        // A parent that stays loses the child; a parent that goes keeps its children for undo.
        if (record->parent() != 0 && seen.count(record->parent()) == 0)
            if (KSignalRecordPtr parent = this->record(record->parent()))
                std::erase(parent->children(), record);
        unindexName(*record);
        m_signals.erase(handle);
        removedSet.add(handle);
        removed.push_back(std::move(record));
    }
    std::erase_if(m_rows, [&](SignalHandle h) { return seen.count(h) != 0; });
    broadcast(UpdateHint::SignalsAddedRemoved, &removedSet);
    return removed;
}

std::vector<SignalHandle> KDoc::collect(SignalHandle handle) const {
    std::vector<SignalHandle> out;
    auto found = m_signals.find(handle);
    if (found != m_signals.end())
        collectInto(*found->second, out);
    return out;
}

void KDoc::collectInto(const KSignalRecord& record, std::vector<SignalHandle>& out) const {
    out.push_back(record.handle());
    for (const KSignalRecordPtr& child : record.children())
        collectInto(*child, out);
}

SimTime KDoc::endTime() const {
    SimTime end = kNoTime;
    for (const auto& [handle, record] : m_signals)
        end = std::max(end, record->segments().lastTime());
    return end;
}

// Rows

std::optional<std::size_t> KDoc::rowOf(SignalHandle handle) const {
    auto found = std::find(m_rows.begin(), m_rows.end(), handle);
    if (found == m_rows.end())
        return std::nullopt;
    return static_cast<std::size_t>(found - m_rows.begin());
}

bool KDoc::insertRows(std::size_t position, std::span<const SignalHandle> handles) {
    std::set<SignalHandle> fresh;
    for (SignalHandle handle : handles) {
        KSignalRecordPtr found = handle != kNoSignal ? record(handle) : nullptr;
        if (!found || !found->isTopLevel() || rowOf(handle) || !fresh.insert(handle).second)
            return false;
    }
    position = std::min(position, m_rows.size());
    m_rows.insert(m_rows.begin() + static_cast<std::ptrdiff_t>(position), handles.begin(),
                  handles.end());
    return true;
}

void KDoc::removeRows(std::span<const SignalHandle> handles) {
    std::erase_if(m_rows, [&](SignalHandle row) {
        return std::find(handles.begin(), handles.end(), row) != handles.end();
    });
}

bool KDoc::moveRows(std::size_t first, std::size_t count, std::size_t to) {
    const std::size_t size = m_rows.size();
    if (first > size || count > size - first || to > size - count)
        return false;
    auto begin = m_rows.begin();
    const auto at = [&](std::size_t i) { return begin + static_cast<std::ptrdiff_t>(i); };
    if (to < first)
        std::rotate(at(to), at(first), at(first + count));
    else if (to > first)
        std::rotate(at(first), at(first + count), at(to + count));
    return true;
}

// Stimulators

bool KDoc::setStimulator(SignalHandle handle, std::string text) {
    auto found = m_signals.find(handle);
    if (found == m_signals.end())
        return false;
    found->second->setStimulator(text);
    const KStimInfo info(handle, std::move(text));
    broadcast(UpdateHint::StimulatorChanged, &info);
    return true;
}

// Changes and broadcasting

std::unique_ptr<KAddedSignals> KDoc::openChange() const {
    return std::make_unique<KAddedSignals>();
}

void KDoc::endChange(std::unique_ptr<KAddedSignals> change, HostNotice notice) {
    if (change && !change->signals().empty())
        broadcast(UpdateHint::WavesChanged, &change->signals());
    if (notice == HostNotice::SetModified)
        m_host->setModified(true);
}

void KDoc::broadcast(UpdateHint code, const KHintObject* object) {
    m_synchronizer.synchronize(nullptr, code, object);
}

void KDoc::synchronize(const IUpdateObserver* sender, UpdateHint code, const KHintObject* object) {
    m_synchronizer.synchronize(sender, code, object);
}

void KDoc::addObserver(IUpdateObserver* observer) {
    m_synchronizer.addObserver(observer);
}

void KDoc::removeObserver(IUpdateObserver* observer) {
    m_synchronizer.removeObserver(observer);
}
