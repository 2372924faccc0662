#include "document/KSignalsEditor.h"

#include "document/KVBusCreator.h"
#include "document/KWVUndoItem.h"

#include <set>

SignalHandle KSignalsEditor::enterTree(const KSignalRecordPtr& record, SignalHandle parent) {
    // addRecord appends the record to its parent: the children enter one by one again.
    std::vector<KSignalRecordPtr> children = std::move(record->children());
    record->children().clear();
    const SignalHandle handle = m_doc.addRecord(record, parent);
    if (handle == 0)
        return 0;
    for (const KSignalRecordPtr& child : children)
        enterTree(child, handle);
    return handle;
}

std::vector<SignalHandle> KSignalsEditor::addSignals(const std::vector<KSignalRecordPtr>& records,
                                                     std::size_t row) {
    std::set<SignalHandle> wanted;
    for (const KSignalRecordPtr& record : records) {
        const SignalHandle handle = record ? record->handle() : kNoSignal;
        if (!record || handle == kNoSignal || m_doc.contains(handle) ||
            (handle != 0 && !wanted.insert(handle).second))
            return {};
    }
    if (item())
        item()->beginLayout({});
    std::vector<SignalHandle> handles;
    KSignalsSet added;
    for (const KSignalRecordPtr& record : records) {
        const SignalHandle handle = enterTree(record, 0);
        handles.push_back(handle);
        for (SignalHandle h : m_doc.collect(handle))
            added.add(h);
    }
    m_doc.insertRows(row, handles);
    if (item())
        item()->endLayout(handles);
    m_doc.setModified(true);
    m_doc.broadcast(UpdateHint::SignalsAddedRemoved, &added);
    return handles;
}

bool KSignalsEditor::removeSignals(const KSignalsSet& handles) {
    std::vector<SignalHandle> held;
    for (SignalHandle handle : handles)
        if (handle != kNoSignal && m_doc.contains(handle))
            held.push_back(handle);
    if (held.empty())
        return false;
    if (item())
        item()->beginLayout(held);
    m_doc.removeSignals(handles);
    if (item())
        item()->endLayout();
    m_doc.setModified(true);
    return true;
}

bool KSignalsEditor::rename(SignalHandle handle, std::string name) {
    if (handle == kNoSignal || !m_doc.contains(handle))
        return false;
    if (item())
        item()->beginLayout({handle});
    m_doc.rename(handle, std::move(name));
    if (item())
        item()->endLayout();
    m_doc.setModified(true);
    return true;
}

bool KSignalsEditor::setProperties(SignalHandle handle,
                                   const std::function<void(KSignalRecord&)>& change) {
    const KSignalRecordPtr live =
        handle != kNoSignal && m_doc.contains(handle) ? m_doc.record(handle) : nullptr;
    if (!live)
        return false;
    KSignalRecordPtr before = live->copy();
    change(*live);
    if (item())
        item()->saveProperties(live, std::move(before), live->copy());
    m_doc.setModified(true);
    const KSignalsSet changed{handle};
    m_doc.broadcast(UpdateHint::WavesChanged, &changed);
    return true;
}

SignalHandle KSignalsEditor::group(std::span<const SignalHandle> selected) {
    const std::vector<SignalHandle> involved(selected.begin(), selected.end());
    if (item())
        item()->beginLayout(involved);
    const SignalHandle bus = KVBusCreator(m_doc).create(selected);
    if (item())
        item()->endLayout(bus != 0 ? std::vector<SignalHandle>{bus} : std::vector<SignalHandle>{});
    if (bus != 0)
        m_doc.setModified(true);
    return bus;
}

bool KSignalsEditor::ungroup(std::span<const SignalHandle> buses) {
    std::vector<KSignalRecordPtr> found;
    for (SignalHandle handle : buses) {
        const KSignalRecordPtr bus =
            handle != kNoSignal && m_doc.contains(handle) ? m_doc.record(handle) : nullptr;
        if (bus && bus->isVirtualBus())
            found.push_back(bus);
    }
    if (found.empty())
        return false;
    std::vector<SignalHandle> involved;
    for (const KSignalRecordPtr& bus : found)
        involved.push_back(bus->handle());
    if (item())
        item()->beginLayout(involved);
    KSignalsSet members;
    for (const KSignalRecordPtr& bus : found) {
        const std::size_t row = m_doc.rowOf(bus->handle()).value_or(m_doc.rowCount());
        std::vector<SignalHandle> handles;
        for (const KSignalRecordPtr& member : bus->children()) {
            member->setParent(0);
            handles.push_back(member->handle());
            members.add(member->handle());
        }
        bus->children().clear();
        m_doc.removeSignals(KSignalsSet{bus->handle()});
        m_doc.insertRows(row, handles);
    }
    if (item())
        item()->endLayout();
    m_doc.setModified(true);
    m_doc.broadcast(UpdateHint::WavesChanged, &members);
    return true;
}
