#include "document/KSignalRecord.h"

#include "storage/KEventsWriteHandle.h"

#include <gtest/gtest.h>

namespace {

TEST(KSignalRecord, RadixRoundTripsThroughItsSixBitsOnlyAllSetReadingMinusOne) {
    KSignalRecord record;
    record.setFlagsB(0x3Fu << 2);
    EXPECT_EQ(record.radix(), -1);
    record.setFlagsB(16u << 2 | 1u); // radix 16, bold
    EXPECT_EQ(record.radix(), 16);
    EXPECT_TRUE(record.isBold());
    record.setFlagsB(0);
    record.setBold(true);
    record.setInverted(true);
    for (int radix : {-32, -1, 0, 2, 8, 10, 16, 31}) {
        ASSERT_TRUE(record.setRadix(radix));
        EXPECT_EQ(record.radix(), radix);
        EXPECT_TRUE(record.isBold());
        EXPECT_TRUE(record.isInverted());
    }
    for (int bad : {-33, 32, 63, 1000}) {
        EXPECT_FALSE(record.setRadix(bad));
        EXPECT_EQ(record.radix(), 31);
    }
}

TEST(KSignalRecord, FlagAccessorsTouchOnlyTheirBit) {
    KSignalRecord record;
    // A new record: default radix, automatic colour, no flags set.
    EXPECT_EQ(record.radix(), -1);
    EXPECT_TRUE(record.hasAutomaticColor());
    EXPECT_EQ(record.flagsA(), 0u);
    record.setVirtualBus(true);
    record.setReadOnly(true);
    EXPECT_EQ(record.flagsA(), 3u);
    record.setVirtualBus(false);
    EXPECT_FALSE(record.isVirtualBus());
    EXPECT_TRUE(record.isReadOnly());
    record.setInverted(true);
    EXPECT_EQ(record.flagsB(), 0xFEu);
}

TEST(KSignalRecord, AnalogRangeIsSetWhileLowIsNotAboveHigh) {
    KSignalRecord record;
    record.setAnalogRange(5.0, 5.0);
    EXPECT_TRUE(record.hasAnalogRange());
    record.setAnalogRange(-1.5, 3.0);
    EXPECT_TRUE(record.hasAnalogRange());
    record.setAnalogRange(2.0, 1.0);
    EXPECT_FALSE(record.hasAnalogRange());
    record.clearAnalogRange();
    EXPECT_FALSE(record.hasAnalogRange());
}

TEST(KSignalRecord, CopySharesSourcesCopiesFieldsAndHasNoChildren) {
    KSignalRecordPtr record = KSignalRecord::create("data", 7);
    record->setParent(3);
    record->setRadix(16);
    record->setStimulator("clock 10 ns");
    record->children().push_back(KSignalRecord::create("data(0)", 8));
    KEventsWriteHandle writer = KEventsWriteHandle::createMemory();
    KEventsReadHandle source = KEventsReadHandle::fromWriter(writer);
    record->segments().insert(KEventSegment({0, 0}, {10, 0}, source, 0), InsertForm::Overwrite);

    const KSignalRecordPtr copy = record->copy();
    ASSERT_NE(copy, record);
    EXPECT_EQ(copy.use_count(), 1);
    EXPECT_EQ(copy->handle(), 7);
    EXPECT_EQ(copy->parent(), 3);
    EXPECT_EQ(copy->radix(), 16);
    EXPECT_EQ(copy->stimulator(), "clock 10 ns");
    EXPECT_TRUE(copy->children().empty());
    EXPECT_EQ(record->children().size(), 1u);
    ASSERT_EQ(copy->segments().size(), 1u);
    EXPECT_EQ(source.useCount(), 3u); // ours, the record's segment, the copy's segment
    copy->setStimulator("changed");
    EXPECT_EQ(record->stimulator(), "clock 10 ns");
}

TEST(KSignalRecord, DeclarationJoinsThePiecesWithNothingAdded) {
    const std::pair<std::uint32_t, const char*> cases[] = {
        {0, "std_logic"},
        {1, "port (clk : in std_logic)"},
        {2, "port (clk : out std_logic)"},
        {3, "port (clk : inout std_logic)"},
        {4, "port (clk : buffer std_logic)"},
        {5, "port (clk : linkage std_logic)"},
        {6, "signal clk : std_logic"},
        {7, "variable clk : std_logic"},
        {8, ""},
        {0xFFFFFFFF, ""},
    };
    for (const auto& [mode, expected] : cases)
        EXPECT_EQ(KSignalRecord::declarationText(mode, "clk", "std_logic"), expected) << mode;
}

} // namespace
