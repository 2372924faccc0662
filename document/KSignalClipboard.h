#pragma once

// The "CF_SIGNALS_TYPE" signal list: one 12-byte KSignalData record per signal, followed by a
// table of type-information strings and a table of names that the records point into. It is the
// form in which other programs take signals (full design names with their types and
// declaration kinds), so it carries no events and no display properties.
//
// Building: describe() fills a record for a document signal (adding its name and type to the
// tables), AddSignals takes the filled records and GetData gives the block. Reading: parse()
// checks every offset, length and index before it trusts them. Layout: docs/clipboard-formats.md.

#include "storage/SimTime.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class KDoc;

// One signal of the list; stored as 12 little-endian bytes in this order.
struct KSignalData {
    static constexpr std::uint8_t kReadOnly = 1u << 0;

    std::uint32_t nameOffset = 0; // into the name table
    std::uint16_t nameLength = 0;
    std::uint16_t typeIndex = 0; // into the type table
    std::uint8_t mode = 0;       // declaration kind (SignalMode), 255 for larger codes
    std::uint8_t flags = 0;      // kReadOnly
    std::uint16_t reserved = 0;  // written as 0, ignored on reading
};

class KSignalClipboard {
public:
    static constexpr std::size_t kRecordSize = 12;
    static constexpr std::uint8_t kMagic[4] = {'K', 'S', 'L', '1'};

    // One signal as read back from a block.
    struct Entry {
        std::string name; // the full design name
        std::string typeInfo;
        std::uint8_t mode = 0;
        bool readOnly = false;
        friend bool operator==(const Entry&, const Entry&) = default;
    };

    // Fills `record` for a signal; false (tables unchanged) when the signal cannot be described:
    // unknown, without type information, with an empty or overlong name, or when the type table
    // is full.
    bool describe(const KDoc& doc, SignalHandle handle, KSignalData& record);
    void AddSignals(const KSignalData* records, int count);
    // The block; empty when no record was added.
    std::vector<std::uint8_t> GetData() const;

    // The list of the signals that can be described; empty when none can.
    static std::vector<std::uint8_t> render(const KDoc& doc, std::span<const SignalHandle> handles);
    // Reads a block back; on damage nothing and, when asked, a message.
    static std::optional<std::vector<Entry>> parse(std::span<const std::uint8_t> block,
                                                   std::string* error = nullptr);

private:
    std::vector<KSignalData> m_records;
    std::vector<std::string> m_types;
    std::unordered_map<std::string, std::uint16_t> m_typeIndex;
    std::string m_names;
};
