#include "storage/ValueText.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

const std::string kStdLogic = "e#9#std_logicc9 UX01ZWLH-";
const std::string kInteger = "i#7#integer(-2147483648t2147483647)";
const std::string kVector = "a#16#std_logic_vector1(3d0)" + kStdLogic;
const std::string kRecord = "r#4#pair2#3#clk" + kStdLogic + "#5#count" + kInteger;

constexpr std::uint8_t kZero = 2, kOne = 3;

// A signal tree as the document will build it.
struct TestNode : IValueNode {
    std::uint32_t index = 0;
    int ownRadix = 0;
    bool inverted = false;
    std::vector<TestNode> children;

    TestNode(std::uint32_t typeIndex, std::vector<TestNode> kids = {}, int radix = 0)
        : index(typeIndex), ownRadix(radix), children(std::move(kids)) {}

    // IValueNode
    std::uint32_t typeIndex() const override { return index; }
    int radix() const override { return ownRadix; }
    bool isInverted() const override { return inverted; }
    int childCount() const override { return static_cast<int>(children.size()); }
    const IValueNode& child(int i) const override { return children[static_cast<std::size_t>(i)]; }
};

class ValueText : public ::testing::Test {
protected:
    std::string format(const TestNode& node, const std::vector<std::uint8_t>& value,
                       ValueFormat options = {}) {
        position = 0;
        return FormatValue(types, node, value, position, options);
    }
    // Parses into a zeroed buffer of the signal's size; nothing when the parse fails.
    std::optional<std::vector<std::uint8_t>> parse(const TestNode& node, std::string_view text,
                                                   int radix = 0) {
        std::vector<std::uint8_t> buffer(valueSize(types, node));
        position = 0;
        if (!ParseValue(types, text, node, buffer, position, radix))
            return std::nullopt;
        EXPECT_EQ(position, buffer.size());
        return buffer;
    }

    KTypesManager types;
    std::uint32_t logic = KTypesManager::kStdLogicIndex;
    std::uint32_t integer = types.registerType(kInteger);
    std::uint32_t vector = types.registerType(kVector);
    std::uint32_t record = types.registerType(kRecord);
    std::size_t position = 0;
};

std::vector<std::uint8_t> integerBytes(std::int32_t value) {
    const auto u = static_cast<std::uint32_t>(value);
    return {static_cast<std::uint8_t>(u), static_cast<std::uint8_t>(u >> 8),
            static_cast<std::uint8_t>(u >> 16), static_cast<std::uint8_t>(u >> 24)};
}

std::vector<std::uint8_t> concat(std::vector<std::vector<std::uint8_t>> parts) {
    std::vector<std::uint8_t> out;
    for (const auto& part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

TEST_F(ValueText, ScalarsAndSimpleBusesAreOneTextAdvancingByTheirSize) {
    EXPECT_EQ(format(TestNode(logic), {kOne}), "1");
    EXPECT_EQ(position, 1u);
    EXPECT_EQ(format(TestNode(integer), integerBytes(-42)), "-42");
    EXPECT_EQ(position, 4u);
    // A bus of its own type is one text, in the radix of its own if it has one.
    const std::vector<std::uint8_t> value = {kOne, kZero, kOne, kZero};
    const TestNode plain(vector), hex(vector, {}, 16);
    EXPECT_EQ(format(plain, value), "1010");
    EXPECT_EQ(format(plain, value, {16, false}), "A");
    EXPECT_EQ(format(hex, value, {2, false}), "A");
    const TestNode bus(vector,
                       {TestNode(logic), TestNode(logic), TestNode(logic), TestNode(logic)});
    EXPECT_EQ(format(bus, {kOne, kOne, kZero, kZero}), "1100");
    EXPECT_EQ(position, 4u);
}

TEST_F(ValueText, CompositesListTheirChildren) {
    const TestNode withRows(record, {TestNode(logic), TestNode(integer)});
    const TestNode withoutRows(record);
    const auto value = concat({{kOne}, integerBytes(5)});
    EXPECT_EQ(format(withRows, value), "(1,5)");
    EXPECT_EQ(position, 5u);
    EXPECT_EQ(format(withoutRows, value), "(1,5)");
    EXPECT_EQ(position, 5u);
    // A virtual bus has no type of its own; a nested composite gives a nested aggregate.
    const TestNode virtualBus(KTypesManager::kNoType, {TestNode(vector), withRows});
    EXPECT_EQ(format(virtualBus, concat({{kZero, kZero, kOne, kOne}, value})), "(0011,(1,5))");
    EXPECT_EQ(position, 9u);
}

TEST_F(ValueText, AbsentValuesShowAsQuestionMarkWhenAsked) {
    const TestNode pair(record, {TestNode(logic), TestNode(integer)});
    EXPECT_EQ(format(TestNode(logic), {}), "");
    EXPECT_EQ(format(TestNode(logic), {}, {0, true}), "?");
    EXPECT_EQ(format(pair, {kOne, 0, 0}, {0, true}), "(1,?)");
    EXPECT_EQ(position, 5u);
    EXPECT_EQ(format(TestNode(KTypesManager::kNoType), {kOne}, {0, true}), "?");
}

TEST_F(ValueText, LongCompositeTextsAreCut) {
    std::vector<TestNode> members(200, TestNode(integer));
    const TestNode bus(KTypesManager::kNoType, std::move(members));
    std::vector<std::uint8_t> value;
    for (int i = 0; i < 200; ++i) {
        const auto bytes = integerBytes(100000 + i);
        value.insert(value.end(), bytes.begin(), bytes.end());
    }
    const std::string text = format(bus, value);
    EXPECT_EQ(text.size(), kMaxCompositeText + 4);
    EXPECT_TRUE(text.starts_with("(100000,100001,"));
    EXPECT_TRUE(text.ends_with("...)"));
    // The elements cut from the text still take their bytes.
    EXPECT_EQ(position, 800u);
}

TEST_F(ValueText, ParsesScalarsBusesCompositesAndWhatFormatGives) {
    const TestNode pair(record, {TestNode(logic), TestNode(integer)});
    const TestNode virtualBus(KTypesManager::kNoType, {TestNode(vector), pair});
    EXPECT_EQ(parse(TestNode(logic), "1"), std::vector<std::uint8_t>{kOne});
    EXPECT_EQ(parse(TestNode(vector), "0101"),
              (std::vector<std::uint8_t>{kZero, kOne, kZero, kOne}));
    EXPECT_EQ(parse(TestNode(vector), "C", 16),
              (std::vector<std::uint8_t>{kOne, kOne, kZero, kZero}));
    EXPECT_EQ(parse(pair, "(1,-7)"), concat({{kOne}, integerBytes(-7)}));
    EXPECT_EQ(parse(TestNode(record), " ( 0 , 9 ) "), concat({{kZero}, integerBytes(9)}));
    EXPECT_EQ(parse(virtualBus, "(0011,(1,5))"),
              concat({{kZero, kZero, kOne, kOne}, {kOne}, integerBytes(5)}));
    // Formatted texts parse back.
    const TestNode nested(KTypesManager::kNoType, {pair, TestNode(vector, {}, 16), pair});
    const auto value =
        concat({{kOne}, integerBytes(3), {kOne, kZero, kZero, kOne}, {kZero}, integerBytes(-1)});
    const std::string text = format(nested, value);
    EXPECT_EQ(text, "((1,3),9,(0,-1))");
    EXPECT_EQ(parse(nested, text), value);
}

TEST_F(ValueText, BadValueTextsAndShortBuffersFail) {
    const TestNode pair(record, {TestNode(logic), TestNode(integer)});
    for (const char* text : {"", "(", "()", "(1)", "(1,5,6)", "(1,,5)", "1,5", "((1,5)", "(1,5))",
                             "(q,5)", "(1,5)x", "(1,(5))", ")1,5("})
        EXPECT_FALSE(parse(pair, text)) << text;
    EXPECT_FALSE(parse(TestNode(logic), "q"));
    EXPECT_FALSE(parse(TestNode(KTypesManager::kNoType), "1"));
    // The buffer must have room for the value.
    std::vector<std::uint8_t> buffer(3);
    position = 0;
    EXPECT_FALSE(ParseValue(types, "5", TestNode(integer), buffer, position, 0));
    position = 4;
    EXPECT_FALSE(ParseValue(types, "1", TestNode(logic), buffer, position, 0));
}

TEST_F(ValueText, RangeTexts) {
    EXPECT_EQ(rangeText(types.type(vector)), "(3 downto 0)");
    EXPECT_EQ(rangeText(*KTypeInfo::fromString("a#1#v1(0t7)" + kStdLogic)), "(0 to 7)");
    EXPECT_EQ(rangeText(types.type(integer)), "");
    EXPECT_EQ(rangeText(KTypeInfo()), "");
    EXPECT_EQ(rangeText(7, 0), "(7 downto 0)");
    EXPECT_EQ(rangeText(0, 7), "(0 to 7)");
    EXPECT_EQ(rangeText(3, 3), "(3 to 3)");
    EXPECT_EQ(rangeText(-1, -4), "(-1 downto -4)");
}

} // namespace
