#include "storage/KTypesManager.h"

#include "storage/TypeMakers.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

const std::string kStdLogic = "e#9#std_logicc9 UX01ZWLH-";
const std::string kBit = "e#3#bitc2 01";
const std::string kBoolean = "e#7#booleanl2#5#false#4#true";
const std::string kInteger = "i#7#integer(-2147483648t2147483647)";
const std::string kReal = "f#4#real(-1e308t1e308)";
const std::string kVector = "a#16#std_logic_vector1(7d0)" + kStdLogic;

std::vector<std::uint8_t> bytesOf(std::span<const std::uint8_t> image) {
    return {image.begin(), image.end()};
}

TEST(KTypesManager, StartsWithStdLogicAndRegistersEachReadableStringOnce) {
    KTypesManager types;
    EXPECT_EQ(types.count(), 1u);
    ASSERT_TRUE(types.hasType(1));
    EXPECT_EQ(types.type(1).GetTypeInfoString(), kStdLogic);
    EXPECT_EQ(types.registerType(kStdLogic), 1u);
    EXPECT_EQ(types.registerType(*makeStdTypeInfo(1)), 1u);
    // Each distinct string is registered once; empty or unreadable ones are not.
    for (const char* text : {"", "garbage", "e#99#x", "i#1#x(1t"})
        EXPECT_EQ(types.registerType(text), KTypesManager::kNoType) << text;
    EXPECT_EQ(types.registerType(kBit), 2u);
    EXPECT_EQ(types.registerType(kInteger), 3u);
    EXPECT_EQ(types.registerType(kBit), 2u);
    // Letter case matters: this is a different enumeration.
    EXPECT_EQ(types.registerType("e#3#BITc2 01"), 4u);
    EXPECT_EQ(types.count(), 4u);
}

TEST(KTypesManager, UnknownIndicesHaveEmptyTypesAndNoImages) {
    KTypesManager types;
    for (KTypesManager::TypeIndex index : {0u, 2u, 1000u}) {
        EXPECT_FALSE(types.hasType(index));
        EXPECT_EQ(types.type(index).GetKind(), KTypeInfo::None);
        EXPECT_FALSE(types.zeroImage(index));
        EXPECT_FALSE(types.oneImage(index));
        EXPECT_FALSE(types.isRadixAllowed(index));
        EXPECT_FALSE(types.isInversionAllowed(index));
        EXPECT_FALSE(types.isShapeAllowed(index, SignalShape::Analog));
        EXPECT_FALSE(types.isShapeAllowed(index, SignalShape::Logic));
        EXPECT_TRUE(types.isShapeAllowed(index, SignalShape::Literal));
        const std::uint8_t value = 3;
        EXPECT_EQ(types.stdLogicValue(index, &value), StdLogic::X);
    }
}

TEST(KTypesManager, LogicTypesKeepZeroAndOneImages) {
    KTypesManager types;
    const auto bit = types.registerType(kBit);
    ASSERT_TRUE(types.zeroImage(1) && types.oneImage(1));
    EXPECT_EQ(bytesOf(*types.zeroImage(1)), std::vector<std::uint8_t>{2});
    EXPECT_EQ(bytesOf(*types.oneImage(1)), std::vector<std::uint8_t>{3});
    ASSERT_TRUE(types.zeroImage(bit) && types.oneImage(bit));
    EXPECT_EQ(bytesOf(*types.zeroImage(bit)), std::vector<std::uint8_t>{0});
    EXPECT_EQ(bytesOf(*types.oneImage(bit)), std::vector<std::uint8_t>{1});
    const auto integer = types.registerType(kInteger);
    EXPECT_FALSE(types.zeroImage(integer));
    EXPECT_FALSE(types.oneImage(integer));
}

TEST(KTypesManager, ShapesAndCapabilitiesFollowTheType) {
    KTypesManager types;
    struct Case {
        std::string type;
        bool analog, logic;
    };
    const std::vector<Case> cases = {
        {kStdLogic, false, true}, {kInteger, true, false}, {kReal, true, false},
        {kVector, true, false},   {kBoolean, false, true},
    };
    for (const Case& c : cases) {
        const auto index = types.registerType(c.type);
        ASSERT_NE(index, KTypesManager::kNoType) << c.type;
        EXPECT_EQ(types.isShapeAllowed(index, SignalShape::Analog), c.analog) << c.type;
        EXPECT_EQ(types.isShapeAllowed(index, SignalShape::Logic), c.logic) << c.type;
        EXPECT_TRUE(types.isShapeAllowed(index, SignalShape::Literal)) << c.type;
    }
    // Radix and inversion come from the type; so does the std_logic meaning of a value.
    const auto vector = types.registerType(kVector);
    const auto integer = types.registerType(kInteger);
    EXPECT_TRUE(types.isRadixAllowed(vector));
    EXPECT_TRUE(types.isInversionAllowed(vector));
    EXPECT_FALSE(types.isInversionAllowed(integer));
    const std::uint8_t one = 3, low = 6;
    EXPECT_EQ(types.stdLogicValue(1, &one), StdLogic::One);
    EXPECT_EQ(types.stdLogicValue(1, &low), StdLogic::L);
}

} // namespace
