#include "document/KSignalRecord.h"

#include "storage/KEventsWriteHandle.h"

#include <gtest/gtest.h>

namespace {

TEST(KSignalRecord, NewRecordHasTheDefaults) {
    const KSignalRecordPtr record = KSignalRecord::create();
    EXPECT_EQ(record->handle(), 0);
    EXPECT_EQ(record->parent(), 0);
    EXPECT_TRUE(record->isTopLevel());
    EXPECT_EQ(record->color(), 0xFF000000u);
    EXPECT_TRUE(record->hasAutomaticColor());
    EXPECT_EQ(record->height(), 22);
    EXPECT_EQ(record->drawingOffset(), 0);
    EXPECT_EQ(record->flagsA(), 0u);
    EXPECT_EQ(record->flagsB() & 0xFF, 0xFCu);
    EXPECT_EQ(record->radix(), -1);
    EXPECT_FALSE(record->isBold());
    EXPECT_FALSE(record->isInverted());
    EXPECT_EQ(record->shape(), 0u);
    EXPECT_FALSE(record->hasAnalogRange());
    EXPECT_FALSE(record->hasTypeInfo());
    EXPECT_EQ(record->traceIndex(), -1);
    EXPECT_TRUE(record->segments().empty());
}

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
    record->setMode(SignalMode::Signal);
    record->setColor(0x00FF00);
    record->setRadix(16);
    record->setStimulator("clock 10 ns");
    record->setTypeIndex(4);
    record->children().push_back(KSignalRecord::create("data(0)", 8));
    KEventsWriteHandle writer = KEventsWriteHandle::createMemory();
    KEventsReadHandle source = KEventsReadHandle::fromWriter(writer);
    record->segments().insert(KEventSegment({0, 0}, {10, 0}, source, 0), InsertForm::Overwrite);

    const KSignalRecordPtr copy = record->copy();
    ASSERT_NE(copy, record);
    EXPECT_EQ(copy.use_count(), 1);
    EXPECT_EQ(copy->name(), "data");
    EXPECT_EQ(copy->handle(), 7);
    EXPECT_EQ(copy->parent(), 3);
    EXPECT_EQ(copy->mode(), 6u);
    EXPECT_EQ(copy->color(), 0x00FF00u);
    EXPECT_EQ(copy->radix(), 16);
    EXPECT_EQ(copy->typeIndex(), 4u);
    EXPECT_EQ(copy->stimulator(), "clock 10 ns");
    EXPECT_TRUE(copy->children().empty());
    EXPECT_EQ(record->children().size(), 1u);
    ASSERT_EQ(copy->segments().size(), 1u);
    EXPECT_EQ(source.useCount(), 3u); // ours, the record's segment, the copy's segment
    copy->setStimulator("changed");
    EXPECT_EQ(record->stimulator(), "clock 10 ns");
}

struct DeclarationCase {
    std::uint32_t mode;
    const char* expected;
};

class Declaration : public testing::TestWithParam<DeclarationCase> {};

TEST_P(Declaration, JoinsThePiecesWithNothingAdded) {
    EXPECT_EQ(KSignalRecord::declarationText(GetParam().mode, "clk", "std_logic"),
              GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Modes, Declaration,
                         testing::Values(DeclarationCase{0, "std_logic"},
                                         DeclarationCase{1, "port (clk : in std_logic)"},
                                         DeclarationCase{2, "port (clk : out std_logic)"},
                                         DeclarationCase{3, "port (clk : inout std_logic)"},
                                         DeclarationCase{4, "port (clk : buffer std_logic)"},
                                         DeclarationCase{5, "port (clk : linkage std_logic)"},
                                         DeclarationCase{6, "signal clk : std_logic"},
                                         DeclarationCase{7, "variable clk : std_logic"},
                                         DeclarationCase{8, ""}, DeclarationCase{0xFFFFFFFF, ""}));

} // namespace
