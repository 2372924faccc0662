#pragma once

// Pastes clipboard blocks into a document: a piece of waveform onto existing rows, copied
// signals and signal lists as new rows.
//
// The apply... operations run inside the caller's undo item and change waveforms only through
// edit transactions, so cancelling the item takes everything back; they collect the handles they
// change or add. paste() is one whole user action: it reads a block of a named format, opens an
// undo item, applies it, and commits (or cancels when the document refuses), then announces the
// changed rows.

#include "document/KAddedSignals.h"
#include "document/KClipDataProvider.h"
#include "document/KClipWaveform.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

class KDoc;

// Whether pasted events replace the range or push the waveform after it later.
enum class PasteForm { Overwrite, Insert };

class KClipPaste {
public:
    static constexpr std::string_view kWaveformFormat = "WAVEFORM";
    static constexpr std::string_view kSignalsFormat = "WAVEFORMSIGNAL";
    static constexpr std::string_view kSignalListFormat = "CF_SIGNALS_TYPE";

    explicit KClipPaste(KDoc& doc) : m_doc(doc) {}

    // Writes the piece's events over [time, time + length) of the rows from `row` on, and adds
    // its comments and measurements there. False when the piece cannot be pasted there
    // (KClipPlacement) or the document refuses a row; rows written before stay written, for the
    // caller's undo item to take back.
    bool applyWaveform(const KClipWaveform& clip, std::size_t row, SimTime time, PasteForm form,
                       KAddedSignals& changed);
    // Adds the signals as new rows from `row` on (clamped to the end); the new top-level handles
    // go into `added`. False when the document refuses them.
    bool applySignals(const std::vector<KClipSignal>& signals, std::size_t row,
                      KAddedSignals& added);

    // The format paste() would use among those offered: a piece of waveform when it can be
    // pasted at (row, time), else copied signals, else a signal list; empty when none.
    // `blocks` pairs format names with their data.
    using Offer = std::pair<std::string_view, std::span<const std::uint8_t>>;
    std::string_view preferredFormat(std::span<const Offer> blocks, std::size_t row,
                                     SimTime time) const;
    // Pastes the preferred block as one undo item. The handles of changed or added rows go into
    // `added`. False (and the document as it was) when nothing could be pasted.
    bool paste(std::span<const Offer> blocks, std::size_t row, SimTime time, PasteForm form,
               KAddedSignals& added);

private:
    bool applyBlock(std::string_view format, std::span<const std::uint8_t> block, std::size_t row,
                    SimTime time, PasteForm form, KAddedSignals& added);

    KDoc& m_doc;
};
