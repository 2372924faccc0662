#include "app/EditOperations.h"

#include "document/KClipDataProvider.h"
#include "document/KClipPaste.h"
#include "document/KClipWaveform.h"
#include "document/KDoc.h"
#include "document/KEditTransaction.h"
#include "document/KEventsExtent.h"
#include "document/KFillApply.h"
#include "document/KSignalClipboard.h"
#include "document/KSignalsEditor.h"
#include "document/KStretchApply.h"
#include "document/KWVUndoItem.h"
#include "document/KWaveComment.h"
#include "document/KWaveformWriter.h"
#include "storage/NameChecks.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

namespace {

// A script starts from the default fill and stretch settings and leaves the user's alone.
KWVConfig scriptConfig() {
    return KWVConfig::separate();
}

KFillSelection fillSelection(const EditSelection& selection) {
    return {selection.signals, selection.start, selection.end};
}

// The document's own permission check over [start, end) of every signal; its reason reaches the
// script through the host's messages.
EditStatus checkEditable(KDoc& doc, std::span<const SignalHandle> signals, SimTime start,
                         SimTime end) {
    for (SignalHandle handle : signals)
        if (!doc.checkEdit(handle, start, std::max(end, start + 1)))
            return EditStatus::refused(std::string());
    return EditStatus::done();
}

EditStatus fillOutcome(const KFillOutcome& outcome) {
    switch (outcome.status) {
    case KFillOutcome::Status::Done:
        return EditStatus::done();
    case KFillOutcome::Status::Nothing:
        return EditStatus::refused("nothing to fill");
    case KFillOutcome::Status::Invalid:
        return EditStatus::refused("the clock entries are not valid");
    case KFillOutcome::Status::Refused:
        break;
    }
    return EditStatus::refused(outcome.message);
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

void beginEditItem(KDoc& doc) {
    doc.beginItem();
}

void commitEditItem(KDoc& doc) {
    doc.setModified(true);
    doc.commitItem();
}

void cancelEditItem(KDoc& doc) {
    doc.cancelItem();
}

EditStatus undoEdit(KDoc& doc) {
    if (!doc.canUndo())
        return EditStatus::refused("nothing to undo");
    doc.undo();
    doc.setModified(true);
    return EditStatus::done();
}

EditStatus redoEdit(KDoc& doc) {
    if (!doc.canRedo())
        return EditStatus::refused("nothing to redo");
    doc.redo();
    doc.setModified(true);
    return EditStatus::done();
}

// Waveforms

EditStatus fillValue(KDoc& doc, const EditSelection& selection, std::string_view valueText) {
    if (EditStatus allowed = checkEditable(doc, selection.signals, selection.start, selection.end);
        !allowed.ok())
        return allowed;
    KWVConfig config = scriptConfig();
    return fillOutcome(KFillApply(doc, config, fillSelection(selection)).fillValue(valueText));
}

EditStatus fillClock(KDoc& doc, const EditSelection& selection, const ClockFill& clock) {
    if (EditStatus allowed = checkEditable(doc, selection.signals, selection.start, selection.end);
        !allowed.ok())
        return allowed;
    KWVConfig config = scriptConfig();
    const KClockEntries entries{static_cast<double>(clock.offset),
                                static_cast<double>(clock.period), clock.widthPercent,
                                clock.startHigh};
    return fillOutcome(KFillApply(doc, config, fillSelection(selection)).fillClock(entries));
}

EditStatus fillFormula(KDoc& doc, const EditSelection& selection, std::string_view formula) {
    if (EditStatus allowed = checkEditable(doc, selection.signals, selection.start, selection.end);
        !allowed.ok())
        return allowed;
    KWVConfig config = scriptConfig();
    KFillApply fill(doc, config, fillSelection(selection));
    const KFillOutcome outcome = fill.fillFormula(formula, fill.formulaUnit());
    // A value some signal's type refused ends that signal's fill; the script must not go on as
    // if the whole formula had been written.
    if (outcome.changed() && !outcome.message.empty())
        return EditStatus::refused(outcome.message);
    return fillOutcome(outcome);
}

EditStatus stretchSelection(KDoc& doc, EditSelection& selection, int percent, InsertForm form) {
    if (EditStatus allowed = checkEditable(doc, selection.signals, selection.start, selection.end);
        !allowed.ok())
        return allowed;
    KWVConfig config = scriptConfig();
    const bool insertMode = doc.insertMode();
    doc.setInsertMode(form == InsertForm::Insert);
    const KStretchOutcome outcome =
        KStretchApply(doc, config, fillSelection(selection)).stretch(percent);
    doc.setInsertMode(insertMode);
    if (!outcome.done)
        return EditStatus::refused("the stretched range would end beyond the last time");
    selection.end = outcome.end;
    return EditStatus::done();
}

EditStatus insertTime(KDoc& doc, std::span<const SignalHandle> signals, SimTime at,
                      SimTime length) {
    if (length <= 0 || at > kMaxTime - length)
        return EditStatus::refused("the inserted time would end beyond the last time");
    if (EditStatus allowed = checkEditable(doc, signals, at, at + length); !allowed.ok())
        return allowed;
    // The value in force at `at` lasts `length` longer; everything from `at` on moves later.
    for (SignalHandle handle : signals)
        if (!KEditTransaction(doc, handle, at, at + length).commit(true))
            return EditStatus::refused("the document refused to insert time into " +
                                       nameOf(doc, handle));
    return EditStatus::done();
}

EditStatus deleteTime(KDoc& doc, std::span<const SignalHandle> signals, SimTime start,
                      SimTime length) {
    if (EditStatus allowed =
            checkEditable(doc, signals, start, start + std::max<SimTime>(length, 1));
        !allowed.ok())
        return allowed;
    KSignalsSet handles;
    for (SignalHandle handle : signals)
        handles.add(handle);
    if (!doc.deleteTime(handles, start, length))
        return EditStatus::refused("the document refused to delete the time");
    return EditStatus::done();
}

EditStatus clearWaveforms(KDoc& doc, std::span<const SignalHandle> signals) {
    if (EditStatus allowed = checkEditable(doc, signals, 0, kMaxTime); !allowed.ok())
        return allowed;
    for (SignalHandle handle : signals)
        if (!doc.clearSignal(handle))
            return EditStatus::refused("the document refused to clear " + nameOf(doc, handle));
    return EditStatus::done();
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
    KWVUndoItem* undo = doc.currentItem();
    if (undo)
        undo->beginLayout({});
    const SignalHandle handle = doc.addRecord(record);
    if (handle == 0 || !doc.setTypeInfo(handle, type)) {
        if (undo)
            undo->endLayout(handle == 0 ? std::vector<SignalHandle>{}
                                        : std::vector<SignalHandle>{handle});
        return EditStatus::refused("the document refused the signal");
    }
    doc.createElements(handle); // nothing to make for a scalar
    const SignalHandle rows[] = {handle};
    doc.insertRows(doc.rowCount(), rows);
    if (undo)
        undo->endLayout({handle});
    doc.setModified(true);
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
        doc.deleteItem(item);
    if (!KSignalsEditor(doc).removeSignals(doomed))
        return EditStatus::refused("the document refused to remove the signals");
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
    if (!KSignalsEditor(doc).rename(signal, std::string(newName)))
        return EditStatus::refused("the document refused the name");
    return EditStatus::done();
}

EditStatus groupSignals(KDoc& doc, std::span<const SignalHandle> signals, SignalHandle& bus) {
    bus = KSignalsEditor(doc).group(signals);
    if (bus == 0)
        return EditStatus::refused("only top-level signals and members of virtual buses can be "
                                   "grouped");
    return EditStatus::done();
}

EditStatus ungroupSignals(KDoc& doc, std::span<const SignalHandle> buses) {
    for (SignalHandle handle : buses) {
        const KSignalRecordPtr record = doc.contains(handle) ? doc.record(handle) : nullptr;
        if (!record || !record->isVirtualBus())
            return EditStatus::refused(nameOf(doc, handle) + " is not a virtual bus");
    }
    if (!KSignalsEditor(doc).ungroup(buses))
        return EditStatus::refused("the document refused to ungroup");
    return EditStatus::done();
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
    KSignalsEditor editor(doc);
    for (const KSignalRecordPtr& record : records)
        editor.setProperties(record->handle(),
                             [&](KSignalRecord& changed) { apply(changed, properties); });
    doc.broadcast(UpdateHint::All);
    return EditStatus::done();
}

EditStatus setStimulator(KDoc& doc, std::span<const SignalHandle> signals, std::string_view text) {
    for (SignalHandle handle : signals)
        if (!doc.contains(handle))
            return EditStatus::refused("no signal with handle " + std::to_string(handle));
    KSignalsEditor editor(doc);
    for (SignalHandle handle : signals) {
        editor.setProperties(
            handle, [&](KSignalRecord& changed) { changed.setStimulator(std::string(text)); });
        doc.setStimulator(handle, std::string(text)); // tells the views
    }
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

namespace {

// The rows the selected signals occupy, first and last; false when a selected signal is no row.
bool selectedRows(const KDoc& doc, const EditSelection& selection, std::size_t& first,
                  std::size_t& last) {
    if (selection.signals.empty())
        return false;
    first = doc.rowCount();
    last = 0;
    for (SignalHandle handle : selection.signals) {
        const std::optional<std::size_t> row = doc.rowOf(handle);
        if (!row)
            return false;
        first = std::min(first, *row);
        last = std::max(last, *row);
    }
    return true;
}

} // namespace

EditStatus copySelection(const KDoc& doc, const EditSelection& selection,
                         EditClipboard& clipboard) {
    clipboard.formats.clear();
    if (selection.hasTimeRange()) {
        std::size_t first = 0;
        std::size_t last = 0;
        if (!selectedRows(doc, selection, first, last))
            return EditStatus::refused("a piece of waveform is copied from whole rows: select "
                                       "top-level signals");
        clipboard.formats[std::string(KClipPaste::kWaveformFormat)] =
            KClipWaveform::copy(doc, first, last, selection.start, selection.end).block();
    }
    clipboard.formats[std::string(KClipPaste::kSignalsFormat)] =
        KClipDataProvider::render(doc, selection.signals);
    std::vector<std::uint8_t> list = KSignalClipboard::render(doc, selection.signals);
    if (!list.empty())
        clipboard.formats[std::string(KClipPaste::kSignalListFormat)] = std::move(list);
    return EditStatus::done();
}

EditStatus cutSelection(KDoc& doc, const EditSelection& selection, EditClipboard& clipboard) {
    if (EditStatus copied = copySelection(doc, selection, clipboard); !copied.ok())
        return copied;
    // A time range is cut out of the waveforms; without one the signals themselves go.
    if (selection.hasTimeRange())
        return deleteTime(doc, selection.signals, selection.start, selection.length());
    return removeSignals(doc, selection.signals);
}

EditStatus pasteClipboard(KDoc& doc, const EditClipboard& clipboard, SignalHandle row, SimTime at) {
    const std::optional<std::size_t> index = doc.rowOf(row);
    if (!index)
        return EditStatus::refused(nameOf(doc, row) + " is not a row: paste at a top-level signal");
    std::vector<KClipPaste::Offer> offers;
    for (const auto& [format, block] : clipboard.formats)
        offers.emplace_back(format, block);
    KAddedSignals added;
    const PasteForm form = doc.insertMode() ? PasteForm::Insert : PasteForm::Overwrite;
    if (!KClipPaste(doc).paste(offers, *index, at, form, added))
        return EditStatus::refused("what was copied cannot be pasted there");
    return EditStatus::done();
}
