#include "document/KClipPaste.h"

#include "document/KClipPlacement.h"
#include "document/KDoc.h"
#include "document/KEditTransaction.h"
#include "document/KSignalClipboard.h"
#include "document/KSignalsEditor.h"
#include "document/KUndoScope.h"
#include "storage/KFileException.h"

bool KClipPaste::applyWaveform(const KClipWaveform& clip, std::size_t row, SimTime time,
                               PasteForm form, KAddedSignals& changed) {
    const KClipPlacement placement(m_doc, clip);
    std::vector<KClipPlacement::Target> targets = placement.targets(row, time);
    if (targets.empty())
        return false;
    for (KClipPlacement::Target& target : targets) {
        KEditTransaction edit(m_doc, target.handle, time, time + clip.length);
        edit.setEvents(std::move(target.events));
        if (!edit.commit(form == PasteForm::Insert))
            return false;
        changed.add(target.handle);
    }
    for (std::unique_ptr<KItemUI>& item : placement.items(row, time))
        m_doc.addItem(std::move(item));
    return true;
}

bool KClipPaste::applySignals(const std::vector<KClipSignal>& signals, std::size_t row,
                              KAddedSignals& added) {
    if (signals.empty())
        return false;
    const std::vector<SignalHandle> handles = KSignalsEditor(m_doc).addSignals(
        KClipDataProvider::records(m_doc, signals), std::min(row, m_doc.rowCount()));
    for (SignalHandle handle : handles)
        added.add(handle);
    return !handles.empty();
}

std::string_view KClipPaste::preferredFormat(std::span<const Offer> blocks, std::size_t row,
                                             SimTime time) const {
    auto find = [&](std::string_view format) -> const Offer* {
        for (const Offer& offer : blocks)
            if (offer.first == format && !offer.second.empty())
                return &offer;
        return nullptr;
    };
    if (const Offer* waveform = find(kWaveformFormat)) {
        const std::optional<KClipWaveform> clip = KClipWaveform::parse(waveform->second);
        if (clip && KClipPlacement(m_doc, *clip).canPaste(row, time))
            return kWaveformFormat;
    }
    if (const Offer* signals = find(kSignalsFormat);
        signals && KClipDataProvider::parse(signals->second))
        return kSignalsFormat;
    if (const Offer* list = find(kSignalListFormat); list && KSignalClipboard::parse(list->second))
        return kSignalListFormat;
    return {};
}

bool KClipPaste::applyBlock(std::string_view format, std::span<const std::uint8_t> block,
                            std::size_t row, SimTime time, PasteForm form, KAddedSignals& added) {
    if (format == kWaveformFormat) {
        const std::optional<KClipWaveform> clip = KClipWaveform::parse(block);
        return clip && applyWaveform(*clip, row, time, form, added);
    }
    if (format == kSignalsFormat) {
        const auto signals = KClipDataProvider::parse(block);
        return signals && applySignals(*signals, row, added);
    }
    if (format == kSignalListFormat) {
        const auto entries = KSignalClipboard::parse(block);
        return entries && applySignals(KClipDataProvider::fromSignalList(*entries), row, added);
    }
    return false;
}

bool KClipPaste::paste(std::span<const Offer> blocks, std::size_t row, SimTime time, PasteForm form,
                       KAddedSignals& added) {
    const std::string_view format = preferredFormat(blocks, row, time);
    if (format.empty())
        return false;
    std::span<const std::uint8_t> block;
    for (const Offer& offer : blocks)
        if (offer.first == format)
            block = offer.second;
    std::unique_ptr<KAddedSignals> change = m_doc.openChange();
    KUndoScope undo(m_doc);
    bool done = false;
    try {
        done = applyBlock(format, block, row, time, form, *change);
    } catch (const KFileException&) {
        done = false; // a source that cannot be read leaves the document as it was
    }
    if (!done)
        return false;
    undo.commit();
    for (SignalHandle handle : change->signals())
        added.add(handle);
    // New rows were announced by adding them; the changed waveforms are announced here.
    if (format != kWaveformFormat)
        change = std::make_unique<KAddedSignals>();
    m_doc.endChange(std::move(change), HostNotice::None);
    return true;
}
