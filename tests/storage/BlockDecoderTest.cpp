// Value packing and chaining of event block sections: every byte class packs and unpacks to the
// same bytes, a prefix can be unpacked alone, and damaged packed data is refused.
#include "storage/evstream/BlockLayout.h"

#include <gtest/gtest.h>
#include <random>

namespace evstream {
namespace {

struct ByteClass {
    const char* name;
    unsigned range; // bytes are base + rng() % range
    std::uint8_t base;
    ValuePacking packing;
};

void PrintTo(const ByteClass& c, std::ostream* out) {
    *out << c.name;
}

class BlockValuePacking : public ::testing::TestWithParam<ByteClass> {};

TEST_P(BlockValuePacking, ChainedValuesRoundTripWholeAndAsAPrefix) {
    const ByteClass& c = GetParam();
    std::mt19937 rng(11);
    const std::size_t valueSize = 13; // not a multiple of eight: the byte tails count too
    awf::Bytes values(valueSize * 41);
    for (auto& b : values)
        b = std::uint8_t(c.base + rng() % c.range);
    const awf::Bytes milestone(values.begin(), values.begin() + valueSize);
    const awf::Bytes events(values.begin() + valueSize, values.end());

    awf::Bytes chained, packed;
    chainValues(milestone.data(), events, valueSize, chained);
    packValues(chained, packed);
    EXPECT_EQ(ValuePacking(packed.front()), c.packing);

    for (std::size_t limit : {values.size(), valueSize * 7, std::size_t(0)}) {
        awf::ByteReader in(packed);
        awf::Bytes out;
        ASSERT_TRUE(unpackValues(in, values.size(), out, limit));
        EXPECT_TRUE(in.atEnd()) << "the reader moves past every packed value";
        unchainValues(out, valueSize);
        EXPECT_EQ(out, awf::Bytes(values.begin(), values.begin() + std::ptrdiff_t(limit)));
    }

    // Packed data cut short, or an unknown packing, is refused.
    awf::Bytes cut(packed.begin(), packed.end() - 1), out;
    awf::ByteReader shortReader(cut);
    EXPECT_FALSE(unpackValues(shortReader, values.size(), out));
    awf::Bytes unknown = packed;
    unknown.front() = 9;
    awf::ByteReader unknownReader(unknown);
    EXPECT_FALSE(unpackValues(unknownReader, values.size(), out));
}

INSTANTIATE_TEST_SUITE_P(Classes, BlockValuePacking,
                         ::testing::Values(ByteClass{"Logic01", 2, 2, ValuePacking::Bits},
                                           ByteClass{"LogicUX01", 4, 0, ValuePacking::Crumbs},
                                           ByteClass{"LogicNine", 9, 0, ValuePacking::Nibbles},
                                           ByteClass{"AnyByte", 256, 0, ValuePacking::Raw}),
                         [](const auto& param) { return std::string(param.param.name); });

} // namespace
} // namespace evstream
