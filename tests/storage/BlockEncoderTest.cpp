// The block encoder's sections of wide values: the encoder packs bus values from bit planes made
// while it sorts (with either packer), and must store exactly what packValues() makes of the
// chained values, for every width (one plane word, several, under 16 bytes) and byte class,
// with and without a milestone, when only the milestone is unknown or high impedance, and when
// values with a Z come between values the planes hold.
#include "storage/evstream/BlockBuilder.h"

#include <gtest/gtest.h>
#include <random>

namespace evstream {
namespace {

struct WideCase {
    const char* name;
    std::uint32_t width;
    unsigned range; // bytes are base + rng() % range
    std::uint8_t base;
    ValuePacking packing;           // of the second block
    std::uint8_t firstBlockEnd = 0; // when set, a byte of the first block's last value
    int zEvery = 0; // when set, every so many values (not the first block's last) hold a Z
};

void PrintTo(const WideCase& c, std::ostream* out) {
    *out << c.name;
}

// The section of a slot in a block chunk, through the block's directory and group.
awf::Bytes sectionOf(const awf::Bytes& chunk, int slot = 0) {
    const auto header = awf::decodeChunkHeader(chunk.data());
    std::span<const std::uint8_t> payload(chunk.data() + awf::kChunkHeaderSize,
                                          header->payloadSize);
    std::string error;
    awf::Bytes raw, group;
    EXPECT_TRUE(awf::readBlob(payload, raw, error)) << error;
    BlockDirectory directory;
    EXPECT_EQ(decodeDirectory(raw, directory), "");
    const DirectoryEntry entry = *directory.find(slot);
    const auto data = payload.subspan(header->directorySize);
    const std::uint64_t blob = entry.ownBlob ? entry.offset : directory.groups[entry.group].offset;
    EXPECT_TRUE(awf::readBlob(data.subspan(blob), group, error)) << error;
    if (entry.ownBlob)
        return group;
    return awf::Bytes(group.begin() + std::ptrdiff_t(entry.offset),
                      group.begin() + std::ptrdiff_t(entry.offset + entry.size));
}

// The slot's section ends with what packValues() makes of `values` chained from `milestone`
// (none: the block has no milestone); returns that packing.
ValuePacking expectPackedLikeChained(const awf::Bytes& chunk, int slot,
                                     const std::uint8_t* milestone, const awf::Bytes& values,
                                     std::size_t width) {
    awf::Bytes chained, expected;
    chainValues(milestone, values, width, chained);
    packValues(chained, expected);
    const awf::Bytes section = sectionOf(chunk, slot);
    EXPECT_GE(section.size(), expected.size());
    if (section.size() >= expected.size()) {
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(),
                               section.end() - std::ptrdiff_t(expected.size())));
    }
    return ValuePacking(expected.front());
}

class BlockEncoderWideValues : public ::testing::TestWithParam<WideCase> {};

// Two blocks of one slot of wide values; the first has no milestone, the second starts with the
// first's last value.
void encodeWideValues(const WideCase& c) {
    std::mt19937 rng(3);
    BlockBuilder builder;
    builder.setSlotCount(1);
    builder.setValueSize(0, c.width);
    std::vector<std::uint8_t> value(c.width);
    awf::Bytes milestone, values, chunk;
    for (int block = 0; block < 2; ++block) {
        values.clear();
        for (int i = 0; i < 60; ++i) {
            for (auto& b : value)
                b = std::uint8_t(c.base + rng() % c.range);
            if (block == 0 && i == 59 && c.firstBlockEnd != 0)
                value[c.width / 2] = c.firstBlockEnd;
            // Values the planes do not hold, between ones they hold.
            if (c.zEvery != 0 && i % c.zEvery == 2)
                value[rng() % c.width] = 4;
            builder.add(0, EventKey{SimTime(block * 100 + i), 0}, value.data());
            values.insert(values.end(), value.begin(), value.end());
        }
        builder.finish(chunk);
        SCOPED_TRACE("block " + std::to_string(block));
        const ValuePacking packing = expectPackedLikeChained(
            chunk, 0, block == 0 ? nullptr : milestone.data(), values, c.width);
        if (block == 1) {
            EXPECT_EQ(packing, c.packing);
        }
        milestone = value;
    }
}

// Makes the encoder pack with the portable code on any processor meanwhile.
struct PortablePlanes {
    explicit PortablePlanes(bool on) { planesPortableOnly() = on; }
    ~PortablePlanes() { planesPortableOnly() = false; }
};

TEST_P(BlockEncoderWideValues, PackLikeTheChainedBytes) {
    for (bool portable : {false, true}) {
        PortablePlanes packers(portable);
        SCOPED_TRACE(portable ? "portable packer" : "fastest packer");
        encodeWideValues(GetParam());
    }
}

// A block without events of a bus holds its milestone alone, packed by that value's bytes
// only: an unknown bit earlier in the block before is no reason for two planes.
TEST(BlockEncoder, AMilestoneAlonePacksByItsOwnBytes) {
    BlockBuilder builder;
    builder.setSlotCount(2);
    builder.setValueSize(0, 40);
    builder.setValueSize(1, 1);
    std::vector<std::uint8_t> bus(40, 2);
    const std::uint8_t bit = 3;
    awf::Bytes chunk;
    bus[5] = 1; // X
    builder.add(0, EventKey{1, 0}, bus.data());
    bus[5] = 3;
    builder.add(0, EventKey{2, 0}, bus.data());
    builder.finish(chunk);
    builder.add(1, EventKey{3, 0}, &bit);
    builder.finish(chunk);
    EXPECT_EQ(expectPackedLikeChained(chunk, 0, bus.data(), {}, bus.size()), ValuePacking::Bits);
}

// A bus left high impedance at a block's end, then driven to 0 and 1 only in the next block
// after another bus's events: its section is made from the values where that block holds them,
// not where the block before held its values.
TEST(BlockEncoder, AMilestoneWithZBeforeDrivenValuesAfterOtherEvents) {
    BlockBuilder builder;
    builder.setSlotCount(2);
    builder.setValueSize(0, 24);
    builder.setValueSize(1, 24);
    std::vector<std::uint8_t> bus(24, 2), other(24, 3);
    awf::Bytes chunk;
    builder.add(0, EventKey{1, 0}, bus.data());
    bus[3] = 4; // Z
    builder.add(0, EventKey{2, 0}, bus.data());
    builder.finish(chunk);
    const std::vector<std::uint8_t> milestone = bus;
    awf::Bytes values;
    for (int i = 0; i < 3; ++i) {
        other[std::size_t(i)] = 2;
        builder.add(1, EventKey{3 + i, 0}, other.data());
    }
    for (int i = 0; i < 2; ++i) {
        bus.assign(24, std::uint8_t(2 + i));
        builder.add(0, EventKey{10 + i, 0}, bus.data());
        values.insert(values.end(), bus.begin(), bus.end());
    }
    builder.finish(chunk);
    expectPackedLikeChained(chunk, 0, milestone.data(), values, 24);
}

INSTANTIATE_TEST_SUITE_P(
    Widths, BlockEncoderWideValues,
    ::testing::Values(WideCase{"Bits9", 9, 2, 2, ValuePacking::Bits},
                      WideCase{"Bits16", 16, 2, 2, ValuePacking::Bits},
                      WideCase{"Bits26", 26, 2, 2, ValuePacking::Bits},
                      WideCase{"Bits37", 37, 2, 2, ValuePacking::Bits},
                      WideCase{"Bits64", 64, 2, 2, ValuePacking::Bits},
                      WideCase{"Bits100", 100, 2, 2, ValuePacking::Bits},
                      WideCase{"Crumbs13", 13, 4, 0, ValuePacking::Crumbs},
                      WideCase{"Crumbs48", 48, 4, 0, ValuePacking::Crumbs},
                      WideCase{"Crumbs130", 130, 4, 0, ValuePacking::Crumbs},
                      WideCase{"Nibbles40", 40, 9, 0, ValuePacking::Nibbles},
                      WideCase{"Raw70", 70, 256, 0, ValuePacking::Raw},
                      WideCase{"BitsAfterUnknown37", 37, 2, 2, ValuePacking::Crumbs, 1},
                      WideCase{"BitsAfterHighImpedance64", 64, 2, 2, ValuePacking::Nibbles, 4},
                      WideCase{"BitsWithZ9", 9, 2, 2, ValuePacking::Nibbles, 0, 5},
                      WideCase{"CrumbsWithZ64", 64, 4, 0, ValuePacking::Nibbles, 0, 5},
                      WideCase{"CrumbsWithZ130", 130, 4, 0, ValuePacking::Nibbles, 0, 5},
                      WideCase{"RawAfterZ33", 33, 2, 2, ValuePacking::Raw, 0xFF, 5}),
    [](const auto& param) { return std::string(param.param.name); });

} // namespace
} // namespace evstream
