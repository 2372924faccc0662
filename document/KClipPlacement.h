#pragma once

// Where a copied piece of waveform (KClipWaveform) lands when it is pasted at a (row, time), and
// what it writes there. Nothing here changes the document; KClipPaste applies the result.
//
// The piece's signals land on consecutive rows from the given one, the first copied signal on
// that row. A copied signal fits a target row when:
// - the value sizes are equal and not zero, and
// - when both have types, the bytes mean the same thing: the same layout of scalars (the same
//   enumeration literals in the same order, integers of the same size, reals, physicals; arrays
//   with the same element count and element layout; records with the same field layouts in
//   order). Names, bounds and directions do not count, so a std_logic_vector(7 downto 0) pastes
//   onto a std_ulogic_vector(0 to 7), but not onto a bit_vector(7 downto 0) or an integer.
// The paste is possible only when every copied signal fits its row, the range is not empty, and
// the range [time, time + length) lies inside the time axis. Permission checks (read-only
// signals, a running simulation) are the caller's, as for every edit.

#include "document/KClipWaveform.h"
#include "document/KEditTransaction.h"
#include "document/KItemUI.h"

#include <cstddef>
#include <memory>
#include <vector>

class KDoc;
class KTypeInfo;

class KClipPlacement {
public:
    // The new waveform of one target row over [time, time + length).
    struct Target {
        SignalHandle handle = kNoSignal;
        std::vector<KTimedValue> events; // ascending, the first at the paste time
    };

    KClipPlacement(const KDoc& doc, const KClipWaveform& clip) : m_doc(doc), m_clip(clip) {}

    // The handles of the rows the piece lands on; empty when it cannot be pasted there.
    std::vector<SignalHandle> targetRows(std::size_t row, SimTime time) const;
    bool canPaste(std::size_t row, SimTime time) const { return !targetRows(row, time).empty(); }
    // Whether copied signal `index` fits the signal `target`.
    bool fits(std::size_t index, SignalHandle target) const;

    // The new events of every target row; empty when the piece cannot be pasted there.
    std::vector<Target> targets(std::size_t row, SimTime time) const;
    // New comments and measurements on the target rows, at the times the piece puts them; empty
    // when the piece cannot be pasted there.
    std::vector<std::unique_ptr<KItemUI>> items(std::size_t row, SimTime time) const;

    // The layout of a type's bytes as a text: equal texts, equal meaning of the bytes.
    static std::string layout(const KTypeInfo& type);

private:
    const KDoc& m_doc;
    const KClipWaveform& m_clip;
};
