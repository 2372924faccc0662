#pragma once

// What an event block holds once decoded, and the value packing shared by the block builder and
// the block decoder.
//
// A block's payload is: the directory blob, then the data area with the keys blob, the blobs of
// grouped small sections and one blob per large section. The directory says where each signal
// slot's section is; a section holds the slot's milestone value (its value just before the block)
// and its events: key indices into the block's key table and the packed values. So one signal at
// one time costs the directory, the key table and that signal's section, never the other signals.

#include "storage/evstream/AwfFormat.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace evstream {

// Sections smaller than this are stored in groups of about kSectionGroupSize bytes, one
// compressed blob per group. 16 KiB rather than 8: a seventh less zstd work when writing and
// slightly smaller files, a read of 50 spread signals decodes fewer blobs; one of neighbouring
// signals pays about a tenth.
inline constexpr std::uint32_t kSmallSectionSize = 1024;
inline constexpr std::uint32_t kSectionGroupSize = 16384;

struct DirectoryEntry {
    int slot = 0;
    std::uint32_t valueSize = 0;
    std::uint32_t eventCount = 0;
    bool ownBlob = false;     // false: inside a group of small sections
    std::uint32_t group = 0;  // small: which group
    std::uint64_t offset = 0; // own blob: in the data area; small: in the group
    std::uint64_t size = 0;   // own blob: its stored size; small: the section size
};

struct BlockDirectory {
    std::uint64_t keysOffset = 0;
    std::uint64_t keysSize = 0;
    struct Group {
        std::uint64_t offset = 0;
        std::uint64_t size = 0;
    };
    std::vector<Group> groups; // of small sections, in the data area

    // Entries are kept as the file stores them and read on demand, so that a block of a wide
    // file costs no parse of all its signals: fixed-width 24-byte records (the first layout), or
    // bit-packed records of field widths the directory states (the current one).
    enum class Layout : std::uint8_t { Fixed = 0, Packed = 1 };
    static constexpr std::size_t kEntrySize = 24;
    // Packed fields, in record order.
    enum Field { Slot, ValueSize, EventCount, Own, Group, Offset, Size, kFields };
    awf::Bytes raw;
    std::size_t entriesStart = 0;
    std::size_t count = 0; // ascending slot
    Layout layout = Layout::Fixed;
    std::array<std::uint8_t, kFields> widths{};
    std::array<std::uint8_t, kFields> fieldStart{}; // bit of each field inside a record
    std::uint32_t entryBits = 0;

    DirectoryEntry entry(std::size_t index) const;
    // The index of a slot's entry, -1 when the block has none.
    std::ptrdiff_t indexOf(int slot) const;
    // The same, looking first at `hint` (where a read of neighbouring slots expects it).
    std::ptrdiff_t indexOf(int slot, std::size_t hint) const;
    std::optional<DirectoryEntry> find(int slot) const;

private:
    int slotAt(std::size_t index) const;
};

// The directory of a block as the encoder writes it.
struct DirectoryPlacement {
    int slot = 0;
    bool own = false;
    std::uint64_t group = 0;
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
};
void encodeDirectory(std::uint64_t keysSize,
                     std::span<const std::pair<std::uint64_t, std::uint64_t>> groups,
                     std::span<const DirectoryPlacement> placed,
                     std::span<const std::uint32_t> valueSizes,
                     std::span<const std::uint32_t> counts, awf::Bytes& raw);

// The write order of the events at one key, kept only where it is not ascending slot order.
struct KeyOrder {
    std::uint32_t key = 0;
    std::vector<int> slots;
};

struct BlockKeys {
    std::vector<SimTime> times;
    std::vector<DeltaCycle> deltas;
    std::vector<KeyOrder> orders; // ascending key
};

struct SlotEvents {
    std::uint32_t valueSize = 0;
    bool hasMilestone = false;
    awf::Bytes milestone;
    std::vector<std::uint32_t> keys; // index into BlockKeys, ascending
    std::vector<SimTime> times;
    awf::Bytes values;              // eventCount * valueSize bytes
    std::uint64_t eventsBefore = 0; // events of the slot in earlier blocks
    SimTime previousTime = kNoTime; // time of the slot's last event in earlier blocks
    const std::uint8_t* value(std::size_t i) const { return values.data() + i * valueSize; }
};

// Flag of a section: its values start with the milestone value.
inline constexpr std::uint8_t kSectionMilestone = 1;

// Value packings, chosen per slot and block by what its bytes allow.
enum class ValuePacking : std::uint8_t { Raw = 0, Bits = 1, Nibbles = 2, Crumbs = 3 };
// Chaining stores each value but the first as its difference (bytewise XOR, biased by 0x02) from
// the one before. Most changes of a bus flip a few bits, so the chained bytes are mostly alike and
// compress far better.
// `out` is the milestone (when not null) and then the values, chained.
void chainValues(const std::uint8_t* milestone, std::span<const std::uint8_t> values,
                 std::size_t valueSize, awf::Bytes& out);
void unchainValues(awf::Bytes& values, std::size_t valueSize);
void packValues(const awf::Bytes& values, awf::Bytes& out);
// Unpacks `size` value bytes from the reader (only the first `limit` of them into `out`); false
// when the data does not fit.
bool unpackValues(awf::ByteReader& in, std::size_t size, awf::Bytes& out,
                  std::size_t limit = SIZE_MAX);

std::string decodeDirectory(awf::Bytes raw, BlockDirectory& directory);
std::string decodeKeys(std::span<const std::uint8_t> raw, BlockKeys& keys);
std::string decodeSection(std::span<const std::uint8_t> raw, const DirectoryEntry& entry,
                          const BlockKeys& keys, SlotEvents& events);
// Where a time falls in a block's key table: how many keys are at or before it, of how many.
struct KeyBound {
    std::uint64_t atOrBefore = 0;
    std::uint64_t count = 0;
    SimTime firstTime = 0; // the table's first key
};
// Walks the raw key table only as far as `time`: what one value query needs of it.
std::string keysAtOrBefore(std::span<const std::uint8_t> raw, SimTime time, KeyBound& bound);
// The slot's value in force at the time of `keys` (its last event at or before it, else the
// milestone) read from its raw section without resolving its times or unpacking its values:
// what a value query on a block not decoded yet needs. `found` is false when the section has no
// such value.
std::string sectionValueAt(std::span<const std::uint8_t> raw, const DirectoryEntry& entry,
                           const KeyBound& keys, awf::Bytes& value, bool& found);

} // namespace evstream
