#pragma once

// The "WAVEFORMSIGNAL" clipboard block: copied signals without events, with everything needed to
// make them rows of another document (names, declaration kinds, types, display properties and
// their elements).
//
// Each signal is written as a tree: the top of a copied signal carries its full name, an element
// of a bus or record its suffix after the parent's name, a member of a virtual bus its own full
// name, the same naming the waveform file uses. Display properties are the waveform file's
// property texts, so both places read and write them alike. Layout: docs/clipboard-formats.md.

#include "document/KSignalClipboard.h"
#include "document/KSignalRecord.h"

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

class KDoc;

struct KClipSignal {
    std::string name;
    std::uint32_t mode = 0;
    std::string typeInfo;
    std::map<std::string, std::string> properties;
    std::vector<KClipSignal> children;

    friend bool operator==(const KClipSignal&, const KClipSignal&) = default;
};

class KClipDataProvider {
public:
    // Trees deeper than this are damage; the reader's recursion stops there.
    static constexpr int kMaxDepth = 64;

    // The descriptions of signals (unknown handles are skipped); empty when none is left.
    static std::vector<KClipSignal> describe(const KDoc& doc,
                                             std::span<const SignalHandle> handles);
    static std::vector<std::uint8_t> block(const std::vector<KClipSignal>& signals);
    static std::vector<std::uint8_t> render(const KDoc& doc,
                                            std::span<const SignalHandle> handles) {
        return block(describe(doc, handles));
    }
    // Reads a block back; on damage nothing and, when asked, a message.
    static std::optional<std::vector<KClipSignal>> parse(std::span<const std::uint8_t> block,
                                                         std::string* error = nullptr);

    // Signals of a signal list as copied signals without properties, their elements made from
    // their types (named by the element rule) unless all of them together would be more than
    // kMaxElementRows rows.
    static std::vector<KClipSignal>
    fromSignalList(const std::vector<KSignalClipboard::Entry>& entries);

    // New records for `doc` (not entered yet: handle 0, elements in each record's children):
    // types registered with the document, hierarchy texts interned, properties applied (a shape
    // the type does not allow falls back to 0), and each top-level name made unique among the
    // document's full names by the copy-name rule (a virtual bus gets a new bus name instead).
    static std::vector<KSignalRecordPtr> records(KDoc& doc,
                                                 const std::vector<KClipSignal>& signals);
};
