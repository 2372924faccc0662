// A block's directory: where each signal's section lies, written and read.
//
// Records are bit-packed with field widths chosen per block from the largest value of each
// field, and the directory is stored uncompressed: finding one signal is a binary search over
// records read in place, with no decoding of the whole directory first. On the bus-heavy import
// benchmark this is smaller than the earlier fixed-width records after zstd, and a cold read of
// 50 values no longer pays for decompressing them. Directories of the fixed-width layout are
// still read.

#include "storage/evstream/BlockLayout.h"
#include "storage/evstream/ValuePlanes.h"

#include <bit>
#include <cstring>

namespace evstream {

namespace {

// The layout tags opening a directory. The fixed layout began with the key table's offset,
// which its writer always wrote as 0.
constexpr std::uint64_t kFixedLayoutTag = 0;
constexpr std::uint64_t kPackedLayoutTag = 1;
// Bytes after the packed records, so that every field is read with one 8-byte load.
constexpr std::size_t kPadding = 8;

std::uint32_t u32At(const awf::Bytes& bytes, std::size_t at) {
    std::uint32_t v;
    std::memcpy(&v, bytes.data() + at, 4);
    return v;
}

// `width` bits (at most 32) from bit `bit` of `base`, least significant bit first.
std::uint32_t bitsAt(const std::uint8_t* base, std::uint64_t bit, unsigned width) {
    std::uint64_t word;
    std::memcpy(&word, base + bit / 8, 8);
    return std::uint32_t((word >> (bit % 8)) & ((std::uint64_t(1) << width) - 1));
}

void setFieldStarts(BlockDirectory& d) {
    std::uint32_t bit = 0;
    for (std::size_t f = 0; f < BlockDirectory::kFields; ++f) {
        d.fieldStart[f] = std::uint8_t(bit);
        bit += d.widths[f];
    }
    d.entryBits = bit;
}

} // namespace

void encodeDirectory(std::uint64_t keysSize,
                     std::span<const std::pair<std::uint64_t, std::uint64_t>> groups,
                     std::span<const DirectoryPlacement> placed,
                     std::span<const std::uint32_t> valueSizes,
                     std::span<const std::uint32_t> counts, awf::Bytes& raw) {
    awf::ByteWriter dir(raw);
    dir.varint(kPackedLayoutTag);
    dir.varint(keysSize);
    dir.varint(groups.size());
    for (const auto& [offset, size] : groups) {
        dir.varint(offset);
        dir.varint(size);
    }
    dir.varint(placed.size());
    std::array<std::uint64_t, BlockDirectory::kFields> largest{};
    auto fields = [&](std::size_t i) {
        const DirectoryPlacement& p = placed[i];
        return std::array<std::uint64_t, BlockDirectory::kFields>{
            std::uint64_t(p.slot), valueSizes[i], counts[i], p.own ? 1u : 0u,
            p.own ? 0 : p.group,   p.offset,      p.size};
    };
    for (std::size_t i = 0; i < placed.size(); ++i) {
        const auto values = fields(i);
        for (std::size_t f = 0; f < values.size(); ++f)
            largest[f] = std::max(largest[f], values[f]);
    }
    std::array<unsigned, BlockDirectory::kFields> widths{};
    std::size_t entryBits = 0;
    for (std::size_t f = 0; f < widths.size(); ++f) {
        widths[f] = unsigned(std::bit_width(largest[f]));
        entryBits += widths[f];
        raw.push_back(std::uint8_t(widths[f]));
    }
    // The records and the padding at once, the records written a word at a time.
    const std::size_t start = raw.size();
    raw.resize(start + (placed.size() * entryBits + 7) / 8 + kPadding);
    PlaneWriter bits(raw.data() + start);
    for (std::size_t i = 0; i < placed.size(); ++i) {
        const auto values = fields(i);
        for (std::size_t f = 0; f < values.size(); ++f)
            bits.put(values[f], widths[f]);
    }
    bits.finish();
}

int BlockDirectory::slotAt(std::size_t index) const {
    if (layout == Layout::Fixed)
        return int(u32At(raw, entriesStart + index * kEntrySize));
    return int(bitsAt(raw.data() + entriesStart,
                      std::uint64_t(index) * entryBits + fieldStart[Slot], widths[Slot]));
}

DirectoryEntry BlockDirectory::entry(std::size_t index) const {
    DirectoryEntry e;
    if (layout == Layout::Fixed) {
        std::size_t at = entriesStart + index * kEntrySize;
        e.slot = int(u32At(raw, at));
        e.valueSize = u32At(raw, at + 4);
        e.eventCount = u32At(raw, at + 8);
        std::uint32_t location = u32At(raw, at + 12);
        e.ownBlob = (location & 0x80000000u) != 0;
        e.group = location & 0x7FFFFFFFu;
        e.offset = u32At(raw, at + 16);
        e.size = u32At(raw, at + 20);
        return e;
    }
    const std::uint8_t* base = raw.data() + entriesStart;
    const std::uint64_t bit = std::uint64_t(index) * entryBits;
    auto field = [&](Field f) { return bitsAt(base, bit + fieldStart[f], widths[f]); };
    e.slot = int(field(Slot));
    e.valueSize = field(ValueSize);
    e.eventCount = field(EventCount);
    e.ownBlob = field(Own) != 0;
    e.group = field(Group);
    e.offset = field(Offset);
    e.size = field(Size);
    return e;
}

std::ptrdiff_t BlockDirectory::indexOf(int slot) const {
    std::size_t low = 0, high = count;
    while (low < high) {
        std::size_t mid = (low + high) / 2;
        if (slotAt(mid) < slot)
            low = mid + 1;
        else
            high = mid;
    }
    if (low < count && slotAt(low) == slot)
        return std::ptrdiff_t(low);
    return -1;
}

std::ptrdiff_t BlockDirectory::indexOf(int slot, std::size_t hint) const {
    if (hint < count && slotAt(hint) == slot)
        return std::ptrdiff_t(hint);
    return indexOf(slot);
}

std::optional<DirectoryEntry> BlockDirectory::find(int slot) const {
    std::ptrdiff_t index = indexOf(slot);
    if (index < 0)
        return std::nullopt;
    return entry(std::size_t(index));
}

std::string checkFixedEntries(const BlockDirectory& d) {
    std::int64_t previous = -1;
    for (std::size_t i = 0; i < d.count; ++i) {
        DirectoryEntry e = d.entry(i);
        if (e.slot < 0 || e.slot <= previous)
            return "block directory names signal slots out of order";
        previous = e.slot;
        if (e.valueSize == 0 || e.valueSize > awf::kMaxValueSize)
            return "block directory gives a signal an impossible value size";
        if (!e.ownBlob && e.group >= d.groups.size())
            return "block directory names a missing section group";
    }
    return {};
}

// The packed records, checked with only the fields that can be wrong read: a block is checked
// on its first read, which a cold read of a few values pays in full.
std::string checkPackedEntries(const BlockDirectory& d) {
    using D = BlockDirectory;
    const std::uint8_t* base = d.raw.data() + d.entriesStart;
    const unsigned slotWidth = d.widths[D::Slot], sizeWidth = d.widths[D::ValueSize];
    const unsigned ownWidth = d.widths[D::Own], groupWidth = d.widths[D::Group];
    const std::uint32_t sizeStart = d.fieldStart[D::ValueSize], ownStart = d.fieldStart[D::Own];
    const std::uint32_t groupStart = d.fieldStart[D::Group];
    // A group index that its width cannot make too large needs no look.
    const bool groupsChecked = (std::uint64_t(1) << groupWidth) > d.groups.size();
    std::int64_t previous = -1;
    std::uint64_t bit = 0;
    if (groupStart + groupWidth <= 56 && sizeStart + sizeWidth <= 56 && slotWidth < 32) {
        // The fields to check lie in the first 56 bits of a record (nearly always): one load
        // takes them all.
        const std::uint64_t slotMask = (std::uint64_t(1) << slotWidth) - 1;
        const std::uint64_t sizeMask = (std::uint64_t(1) << sizeWidth) - 1;
        const std::uint64_t ownMask = (std::uint64_t(1) << ownWidth) - 1;
        const std::uint64_t groupMask = (std::uint64_t(1) << groupWidth) - 1;
        for (std::size_t i = 0; i < d.count; ++i, bit += d.entryBits) {
            std::uint64_t w;
            std::memcpy(&w, base + bit / 8, 8);
            w >>= bit % 8;
            const auto slot = std::int64_t(w & slotMask);
            // 0 wraps round to the largest value: one comparison for both bounds.
            const std::uint64_t sizeLess1 = ((w >> sizeStart) & sizeMask) - 1;
            if (slot <= previous)
                return "block directory names signal slots out of order";
            previous = slot;
            if (sizeLess1 >= awf::kMaxValueSize)
                return "block directory gives a signal an impossible value size";
            if (groupsChecked && ((w >> ownStart) & ownMask) == 0 &&
                ((w >> groupStart) & groupMask) >= d.groups.size())
                return "block directory names a missing section group";
        }
        return {};
    }
    for (std::size_t i = 0; i < d.count; ++i, bit += d.entryBits) {
        const auto slot = std::int64_t(bitsAt(base, bit + d.fieldStart[D::Slot], slotWidth));
        if (slot <= previous || slot > INT32_MAX)
            return "block directory names signal slots out of order";
        previous = slot;
        const std::uint32_t size = bitsAt(base, bit + sizeStart, sizeWidth);
        if (size == 0 || size > awf::kMaxValueSize)
            return "block directory gives a signal an impossible value size";
        if (groupsChecked && bitsAt(base, bit + ownStart, ownWidth) == 0 &&
            bitsAt(base, bit + groupStart, groupWidth) >= d.groups.size())
            return "block directory names a missing section group";
    }
    return {};
}

std::string decodeDirectory(awf::Bytes raw, BlockDirectory& d) {
    awf::ByteReader in(raw);
    const std::uint64_t tag = in.varint();
    if (tag != kFixedLayoutTag && tag != kPackedLayoutTag)
        return "block directory has an unknown layout";
    d.layout =
        tag == kFixedLayoutTag ? BlockDirectory::Layout::Fixed : BlockDirectory::Layout::Packed;
    d.keysOffset = 0;
    d.keysSize = in.varint();
    std::uint64_t groupCount = in.count(2);
    d.groups.resize(groupCount);
    for (auto& g : d.groups) {
        g.offset = in.varint();
        g.size = in.varint();
    }
    if (d.layout == BlockDirectory::Layout::Fixed) {
        std::uint64_t count = in.count(BlockDirectory::kEntrySize);
        if (in.failed() || in.remaining() != count * BlockDirectory::kEntrySize)
            return "block directory is damaged";
        d.entriesStart = in.position();
        d.count = count;
    } else {
        std::uint64_t count = in.count(0);
        for (std::uint8_t& width : d.widths)
            width = in.u8();
        if (in.failed())
            return "block directory is damaged";
        for (std::uint8_t width : d.widths)
            if (width > 32)
                return "block directory is damaged";
        setFieldStarts(d);
        const std::uint64_t bytes = (count * d.entryBits + 7) / 8 + kPadding;
        if (count > in.remaining() * 8 || in.remaining() != bytes)
            return "block directory is damaged";
        d.entriesStart = in.position();
        d.count = count;
    }
    d.raw = std::move(raw);
    // Checked once here, so that every later read of an entry can trust it.
    return d.layout == BlockDirectory::Layout::Fixed ? checkFixedEntries(d) : checkPackedEntries(d);
}

} // namespace evstream
