#include "app/EditOperations.h"

#include "document/KDoc.h"
#include "document/KEventsExtent.h"
#include "document/KVBusCreator.h"
#include "document/KWaveComment.h"
#include "document/KWaveformWriter.h"
#include "storage/NameChecks.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

namespace {

// The editing primitives and the undo ring join the document later; until then the commands
// that need them are refused with this, and the script stops.
EditStatus notAvailableYet() {
    return EditStatus::refused("not available yet in this build");
}

std::string nameOf(const KDoc& doc, SignalHandle handle) {
    return "'" + doc.fullName(handle) + "'";
}

bool isVirtualBusMember(const KDoc& doc, const KSignalRecord& record) {
    const KSignalRecordPtr parent = record.isTopLevel() ? nullptr : doc.record(record.parent());
    return parent && parent->isVirtualBus();
}

// Why a display property cannot be set on a signal; empty when it can.
std::string propertyRefusal(const KDoc& doc, const KSignalRecord& record,
                            const SignalProperties& properties) {
    const KTypesManager& types = doc.types();
    const auto index = record.typeIndex();
    const std::string name = nameOf(doc, record.handle());
    if (properties.radix && *properties.radix > 0 && !types.isRadixAllowed(index))
        return "the type of " + name + " has no radix";
    if (properties.inverted && *properties.inverted && !types.isInversionAllowed(index))
        return "the elements of " + name + " cannot be shown in reverse order";
    if (properties.shape && *properties.shape != 0 &&
        !types.isShapeAllowed(index, static_cast<SignalShape>(*properties.shape)))
        return name + " cannot be drawn in that shape";
    if (properties.analogRange && properties.analogRange->first <= properties.analogRange->second) {
        const KTypeInfo& type = types.type(index);
        double low = 0.0;
        double high = 0.0;
        if (!KWaveformWriter::defaultAnalogRange(type, low, high))
            return name + " has no analog range";
        const auto [from, to] = *properties.analogRange;
        const bool integral = type.GetKind() != KTypeInfo::Real;
        const bool whole = !integral || (std::floor(from) == from && std::floor(to) == to);
        if (low <= from && from <= to && to <= high && (from != to || low >= high) && whole)
            return {};
        char text[160];
        if (integral)
            std::snprintf(text, sizeof text,
                          "Maximum range is from %.0f to %.0f and the numbers must be integer", low,
                          high);
        else
            std::snprintf(text, sizeof text, "Maximum range is from %#g to %#g", low, high);
        return name + ": " + text;
    }
    return {};
}

void apply(KSignalRecord& record, const SignalProperties& properties) {
    if (properties.radix)
        record.setRadix(*properties.radix);
    if (properties.color)
        record.setColor(*properties.color);
    if (properties.height)
        record.setHeight(*properties.height);
    if (properties.shape)
        record.setShape(*properties.shape);
    if (properties.bold)
        record.setBold(*properties.bold);
    if (properties.inverted)
        record.setInverted(*properties.inverted);
    if (properties.analogRange)
        record.setAnalogRange(properties.analogRange->first, properties.analogRange->second);
}

} // namespace

// Undo

void beginEditItem(KDoc&) {}

void commitEditItem(KDoc& doc) {
    doc.setModified(true);
    doc.host().setModified(true);
}

void cancelEditItem(KDoc&) {}

EditStatus undoEdit(KDoc&) {
    return notAvailableYet();
}

EditStatus redoEdit(KDoc&) {
    return notAvailableYet();
}

// Waveforms

EditStatus fillValue(KDoc&, const EditSelection&, std::string_view) {
    return notAvailableYet();
}

EditStatus fillClock(KDoc&, const EditSelection&, const ClockFill&) {
    return notAvailableYet();
}

EditStatus fillFormula(KDoc&, const EditSelection&, std::string_view) {
    return notAvailableYet();
}

EditStatus stretchSelection(KDoc&, EditSelection&, int, InsertForm) {
    return notAvailableYet();
}

EditStatus insertTime(KDoc&, std::span<const SignalHandle>, SimTime, SimTime) {
    return notAvailableYet();
}

EditStatus deleteTime(KDoc&, std::span<const SignalHandle>, SimTime, SimTime) {
    return notAvailableYet();
}

EditStatus clearWaveforms(KDoc&, std::span<const SignalHandle>) {
    return notAvailableYet();
}

// Signals

EditStatus addSignal(KDoc& doc, const NewSignal& signal, SignalHandle& added) {
    added = 0;
    if (!isValidIdentifier(signal.name))
        return EditStatus::refused("Invalid signal name.");
    if (doc.findByUpperName(signal.hierarchy + signal.name) != 0)
        return EditStatus::refused("Signal already exists.");
    const KTypesManager::TypeIndex type = doc.types().registerType(signal.typeInfo);
    if (type == KTypesManager::kNoType)
        return EditStatus::refused("the type cannot be read");
    KSignalRecordPtr record = KSignalRecord::create(signal.name);
    record->setHierarchyIndex(doc.hierarchy().intern(signal.hierarchy));
    record->setMode(signal.mode);
    const SignalHandle handle = doc.addRecord(record);
    if (handle == 0 || !doc.setTypeInfo(handle, type))
        return EditStatus::refused("the document refused the signal");
    doc.createElements(handle); // nothing to make for a scalar
    const SignalHandle rows[] = {handle};
    doc.insertRows(doc.rowCount(), rows);
    KSignalsSet all;
    for (SignalHandle each : doc.collect(handle))
        all.add(each);
    doc.broadcast(UpdateHint::SignalsAddedRemoved, &all);
    added = handle;
    return EditStatus::done();
}

EditStatus removeSignals(KDoc& doc, std::span<const SignalHandle> signals) {
    KSignalsSet doomed;
    for (SignalHandle handle : signals) {
        const KSignalRecordPtr record = doc.record(handle);
        if (!record || !doc.contains(handle))
            return EditStatus::refused("no signal with handle " + std::to_string(handle));
        if (!record->isTopLevel() && !isVirtualBusMember(doc, *record))
            return EditStatus::refused(nameOf(doc, handle) +
                                       " is an element of a bus and cannot be removed alone");
        doomed.add(handle);
    }
    // Items on a removed signal would point at nothing.
    KSignalsSet gone;
    for (SignalHandle handle : doomed)
        for (SignalHandle each : doc.collect(handle))
            gone.add(each);
    std::vector<const KItemUI*> items;
    for (const std::unique_ptr<KItemUI>& item : doc.items())
        if (gone.contains(item->signal()) || gone.contains(item->endSignal()))
            items.push_back(item.get());
    for (const KItemUI* item : items)
        doc.removeItem(item);
    doc.removeSignals(doomed);
    return EditStatus::done();
}

EditStatus renameSignal(KDoc& doc, SignalHandle signal, std::string_view newName) {
    const KSignalRecordPtr record = doc.record(signal);
    if (!record || !doc.contains(signal))
        return EditStatus::refused("no signal with handle " + std::to_string(signal));
    if (!record->isTopLevel())
        return EditStatus::refused(nameOf(doc, signal) +
                                   " is not a top-level signal and cannot be renamed");
    if (!isValidIdentifier(newName))
        return EditStatus::refused("Invalid signal name.");
    const SignalHandle holder =
        doc.findByUpperName(doc.hierarchyText(record->hierarchyIndex()) + std::string(newName));
    if (holder != 0 && holder != signal)
        return EditStatus::refused("Signal already exists.");
    doc.rename(signal, std::string(newName));
    return EditStatus::done();
}

EditStatus groupSignals(KDoc& doc, std::span<const SignalHandle> signals, SignalHandle& bus) {
    bus = KVBusCreator(doc).create(signals);
    if (bus == 0)
        return EditStatus::refused("only top-level signals and members of virtual buses can be "
                                   "grouped");
    return EditStatus::done();
}

EditStatus ungroupSignals(KDoc&, std::span<const SignalHandle>) {
    return notAvailableYet();
}

// Properties

EditStatus setSignalProperties(KDoc& doc, std::span<const SignalHandle> signals,
                               const SignalProperties& properties) {
    std::vector<KSignalRecordPtr> records;
    for (SignalHandle handle : signals) {
        KSignalRecordPtr record = doc.contains(handle) ? doc.record(handle) : nullptr;
        if (!record)
            return EditStatus::refused("no signal with handle " + std::to_string(handle));
        if (std::string why = propertyRefusal(doc, *record, properties); !why.empty())
            return EditStatus::refused(why);
        records.push_back(std::move(record));
    }
    for (const KSignalRecordPtr& record : records)
        apply(*record, properties);
    doc.broadcast(UpdateHint::All);
    return EditStatus::done();
}

EditStatus setStimulator(KDoc& doc, std::span<const SignalHandle> signals, std::string_view text) {
    for (SignalHandle handle : signals)
        if (!doc.contains(handle))
            return EditStatus::refused("no signal with handle " + std::to_string(handle));
    for (SignalHandle handle : signals)
        doc.setStimulator(handle, std::string(text));
    return EditStatus::done();
}

// Items

EditStatus addComment(KDoc& doc, SignalHandle signal, SimTime time, std::string_view text) {
    if (!doc.addItem(std::make_unique<KWaveComment>(signal, 0, time, std::string(text))))
        return EditStatus::refused("the document refused the comment");
    return EditStatus::done();
}

EditStatus addMeasurement(KDoc& doc, SignalHandle startSignal, SimTime startTime,
                          SignalHandle endSignal, SimTime endTime) {
    if (!doc.addItem(
            std::make_unique<KEventsExtent>(startSignal, startTime, endSignal, endTime, 0)))
        return EditStatus::refused("the document refused the measurement");
    return EditStatus::done();
}

// Clipboard

EditStatus copySelection(const KDoc&, const EditSelection&, EditClipboard&) {
    return notAvailableYet();
}

EditStatus cutSelection(KDoc&, const EditSelection&, EditClipboard&) {
    return notAvailableYet();
}

EditStatus pasteClipboard(KDoc&, const EditClipboard&, SignalHandle, SimTime) {
    return notAvailableYet();
}
