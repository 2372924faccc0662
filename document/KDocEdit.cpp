#include "document/KDeleteBusSegment.h"
#include "document/KDoc.h"
#include "document/KInsertBusSegment.h"
#include "document/KWVUndoItem.h"
#include "storage/KFileException.h"

namespace {

constexpr std::string_view kReadOnlyText = "This signal is read-only";
constexpr std::string_view kSimulationText =
    "Simulation results cannot be edited while simulator is running";

} // namespace

// IEventsEditor

bool KDoc::hasAncestorIn(SignalHandle handle, const KSignalsSet& set) const {
    for (KSignalRecordPtr at = record(handle); at && at->parent() != 0;) {
        if (set.contains(at->parent()))
            return true;
        at = record(at->parent());
    }
    return false;
}

bool KDoc::putEvents(const KEditEventsSource& source, std::span<const SignalHandle> targets,
                     SimTime start, SimTime end, PutForm form) {
    if (!(start < end) || targets.empty())
        return false;
    std::vector<std::vector<QueryLeaf>> leaves(targets.size());
    for (std::size_t i = 0; i < targets.size(); ++i)
        if (targets[i] == kNoSignal || !queryLeaves(targets[i], leaves[i]))
            return false;

    KEventsReadHandle events;
    try {
        KEventsWriteHandle writer = KEventsWriteHandle::createMemory();
        if (!writer)
            return false;
        source.writeEvents(writer, targets, start, end);
        events = KEventsReadHandle::fromWriter(writer);
    } catch (const KFileException& error) {
        m_host->printOutput(error.message());
        return false;
    }
    if (!events)
        return false;

    KSignalsSet changed;
    for (SignalHandle target : targets)
        if (KWVUndoItem* item = currentItem())
            item->saveSegments(target);
    if (form == PutForm::Insert) {
        // Each leaf moves once, also when a bus and its element are both targets.
        const KSignalsSet targetSet = [&] {
            KSignalsSet set;
            for (SignalHandle target : targets)
                set.add(target);
            return set;
        }();
        for (SignalHandle target : targetSet)
            if (!hasAncestorIn(target, targetSet))
                KInsertBusSegment(start, end - start).apply(*m_signals.at(target), changed);
    }
    for (std::size_t i = 0; i < targets.size(); ++i) {
        for (std::size_t leaf = 0; leaf < leaves[i].size(); ++leaf) {
            const SignalHandle handle = leaves[i][leaf].handle;
            const KEventSegment segment({start, 0}, {end, 0}, events,
                                        source.streamSignal(i, leaf, handle));
            m_signals.at(handle)->segments().insert(segment, InsertForm::Overwrite);
        }
        for (SignalHandle handle : collect(targets[i]))
            changed.add(handle);
    }
    m_modified = true;
    broadcast(UpdateHint::WavesChanged, &changed);
    return true;
}

bool KDoc::deleteTime(const KSignalsSet& handles, SimTime start, SimTime length) {
    if (length < 0)
        return false;
    if (length == 0)
        length = 1;
    KSignalsSet changed;
    for (SignalHandle handle : handles) {
        const KSignalRecordPtr signal = contains(handle) ? record(handle) : nullptr;
        if (!signal)
            continue;
        if (hasAncestorIn(handle, handles))
            continue;
        if (KWVUndoItem* item = currentItem())
            item->saveSegments(handle);
        KDeleteBusSegment(start, length).apply(*signal, changed);
    }
    if (changed.empty())
        return false;
    m_modified = true;
    broadcast(UpdateHint::WavesChanged, &changed);
    return true;
}

bool KDoc::clearSignal(SignalHandle handle) {
    if (handle == kNoSignal || !contains(handle))
        return false;
    if (KWVUndoItem* item = currentItem())
        item->saveSegments(handle);
    KSignalsSet changed;
    for (SignalHandle h : collect(handle)) {
        // A new empty map: the undo item holds the old one.
        m_signals.at(h)->setSegments({});
        changed.add(h);
    }
    m_modified = true;
    broadcast(UpdateHint::WavesChanged, &changed);
    return true;
}

// Permission checks

bool KDoc::canEdit(std::span<const SignalHandle> handles, SimTime start, SimTime end) const {
    for (SignalHandle handle : handles)
        if (!canEdit(handle, start, end))
            return false;
    return true;
}

bool KDoc::canEdit(SignalHandle handle, SimTime start, SimTime end) const {
    const KSignalRecordPtr signal = contains(handle) ? record(handle) : nullptr;
    if (!signal)
        return false;
    for (KSignalRecordPtr up = signal; up; up = up->parent() != 0 ? record(up->parent()) : nullptr)
        if (up->isReadOnly())
            return false;
    // The results cover [results time, current time]; an edit wholly after them is allowed.
    return !(m_simulationRunning && start <= m_currentSimulationTime && end > m_resultsTime);
}

bool KDoc::checkEdit(SignalHandle handle, SimTime start, SimTime end) {
    if (canEdit(handle, start, end))
        return true;
    const KSignalRecordPtr signal = contains(handle) ? record(handle) : nullptr;
    bool readOnly = false;
    for (KSignalRecordPtr up = signal; up; up = up->parent() != 0 ? record(up->parent()) : nullptr)
        readOnly = readOnly || up->isReadOnly();
    if (readOnly)
        m_host->showStatus(kReadOnlyText);
    else if (signal)
        m_host->showStatus(kSimulationText);
    return false;
}

void KDoc::setSimulation(bool running, SimTime resultsTime, SimTime currentTime) {
    m_simulationRunning = running;
    m_resultsTime = resultsTime;
    m_currentSimulationTime = currentTime;
}
