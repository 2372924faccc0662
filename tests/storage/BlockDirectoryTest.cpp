// The block directory: every placement reads back from the packed records, a slot is found by
// search without decoding others, and damaged directories are refused.
#include "storage/evstream/BlockLayout.h"

#include <gtest/gtest.h>

namespace evstream {
namespace {

struct Directory {
    std::vector<std::pair<std::uint64_t, std::uint64_t>> groups{{0, 700}, {700, 9000}};
    std::vector<DirectoryPlacement> placed;
    std::vector<std::uint32_t> valueSizes, counts;

    awf::Bytes encode() const {
        awf::Bytes raw;
        encodeDirectory(123, groups, placed, valueSizes, counts, raw);
        return raw;
    }
};

// Small sections in both groups, own blobs with large offsets, slots with gaps, one-byte values
// and megabyte ones: fields of very different widths side by side.
Directory mixed() {
    Directory d;
    for (int i = 0; i < 300; ++i) {
        const bool own = i % 37 == 5;
        d.placed.push_back({i * 3 + (i > 200 ? 70000 : 0), own, own ? 0u : std::uint64_t(i % 2),
                            own ? 4'000'000'000ull - std::uint64_t(i) : std::uint64_t(i * 13),
                            own ? 100'000u + std::uint64_t(i) : std::uint64_t(i % 1000)});
        d.valueSizes.push_back(i == 7 ? awf::kMaxValueSize : 1u + std::uint32_t(i % 64));
        d.counts.push_back(i % 11 == 0 ? 0u : std::uint32_t(i * 1000));
    }
    return d;
}

Directory narrow() {
    Directory d = mixed();
    for (std::size_t i = 0; i < d.placed.size(); ++i) {
        d.valueSizes[i] = 1u + std::uint32_t(i % 8);
        d.counts[i] = std::uint32_t(i % 40);
    }
    return d;
}

TEST(BlockDirectory, EveryPlacementReadsBackAndSlotsAreFoundBySearch) {
    const Directory d = mixed();
    BlockDirectory read;
    ASSERT_EQ(decodeDirectory(d.encode(), read), "");
    EXPECT_EQ(read.keysSize, 123u);
    ASSERT_EQ(read.groups.size(), 2u);
    EXPECT_EQ(read.groups[1].offset, 700u);
    ASSERT_EQ(read.count, d.placed.size());
    for (std::size_t i = 0; i < d.placed.size(); ++i) {
        const DirectoryPlacement& p = d.placed[i];
        const std::optional<DirectoryEntry> e = read.find(p.slot);
        ASSERT_TRUE(e) << i;
        EXPECT_EQ(e->slot, p.slot);
        EXPECT_EQ(e->ownBlob, p.own);
        if (!p.own) {
            EXPECT_EQ(e->group, p.group);
        }
        EXPECT_EQ(e->offset, p.offset);
        EXPECT_EQ(e->size, p.size);
        EXPECT_EQ(e->valueSize, d.valueSizes[i]);
        EXPECT_EQ(e->eventCount, d.counts[i]);
    }
    EXPECT_FALSE(read.find(1)); // between two slots
    EXPECT_FALSE(read.find(999'999));
}

TEST(BlockDirectory, DamagedDirectoriesAreRefused) {
    const awf::Bytes good = mixed().encode();
    BlockDirectory read;
    for (std::size_t cut : {std::size_t(1), std::size_t(10), good.size() / 2, good.size() - 1}) {
        awf::Bytes shortened(good.begin(), good.begin() + std::ptrdiff_t(cut));
        EXPECT_NE(decodeDirectory(shortened, read), "") << cut;
    }
    awf::Bytes unknownLayout = good;
    unknownLayout[0] = 7;
    EXPECT_EQ(decodeDirectory(unknownLayout, read), "block directory has an unknown layout");

    // A group that does not exist, slots out of order, a value size of 0: in records whose
    // checked fields come first (small value sizes and counts, as most blocks have) and in wide
    // ones.
    for (const Directory& shape : {mixed(), narrow()}) {
        Directory d = shape;
        d.placed[3].group = 2;
        EXPECT_EQ(decodeDirectory(d.encode(), read),
                  "block directory names a missing section group");
        d = shape;
        d.groups.clear(); // group 0 has a field of no bits, and still must exist
        for (DirectoryPlacement& p : d.placed)
            p.group = 0;
        EXPECT_EQ(decodeDirectory(d.encode(), read),
                  "block directory names a missing section group");
        d = shape;
        std::swap(d.placed[3].slot, d.placed[4].slot);
        EXPECT_EQ(decodeDirectory(d.encode(), read),
                  "block directory names signal slots out of order");
        d = shape;
        d.valueSizes[9] = 0;
        EXPECT_EQ(decodeDirectory(d.encode(), read),
                  "block directory gives a signal an impossible value size");
        d = shape;
        EXPECT_EQ(decodeDirectory(d.encode(), read), "");
        for (DirectoryPlacement& p : d.placed)
            p.own = true;
        d.groups.clear(); // own blobs need no group
        EXPECT_EQ(decodeDirectory(d.encode(), read), "");
    }
}

} // namespace
} // namespace evstream
