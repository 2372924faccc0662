#include "document/KFillGenerators.h"

#include <cmath>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

const std::string kStdLogic = "e#9#std_logicc9 UX01ZWLH-";
const std::string kBit = "e#3#bitc2 01";
const std::string kInteger = "i#7#integer(-2147483648t2147483647)";
const std::string kVector = "a#16#std_logic_vector1(3d0)" + kStdLogic;

struct Node : IValueNode {
    std::uint32_t index = 0;
    explicit Node(std::uint32_t typeIndex) : index(typeIndex) {}
    std::uint32_t typeIndex() const override { return index; }
    int radix() const override { return 0; }
    bool isInverted() const override { return false; }
    int childCount() const override { return 0; }
    const IValueNode& child(int) const override { return *this; }
};

class FillGenerators : public ::testing::Test {
protected:
    // "time:text" for each event, the value shown through the std_logic or integer type.
    std::string text(const std::vector<KTimedValue>& events) const {
        std::string out;
        for (const KTimedValue& event : events) {
            if (!out.empty())
                out += ' ';
            const KTypeInfo& type =
                event.value.size() == 1 ? types.type(logic) : types.type(integer);
            out += std::to_string(event.time) + ":" +
                   type.GetValueString(event.value.data(), 0, false);
        }
        return out;
    }
    std::string clock(const KClock& c, SimTime start, SimTime end) const {
        const auto events = clockEvents(c, start, end, *logicLevels(types, logicNode));
        return events ? text(*events) : "refused";
    }
    KFormulaEvents formula(std::string_view formulaText, const IValueNode& node, SimTime start,
                           SimTime end, std::size_t maxEvents = kMaxFillEvents) const {
        const FormulaResult parsed = parseFormula(formulaText);
        EXPECT_TRUE(parsed) << formulaText;
        return formulaEvents(*parsed, types, node, start, end, 0, maxEvents);
    }

    KTypesManager types;
    std::uint32_t logic = KTypesManager::kStdLogicIndex;
    std::uint32_t bit = types.registerType(kBit);
    std::uint32_t integer = types.registerType(kInteger);
    std::uint32_t vector = types.registerType(kVector);
    Node logicNode{logic};
    Node integerNode{integer};
    Node vectorNode{vector};
};

TEST_F(FillGenerators, ClockEntriesTruncateAndRefuseInvalidOnes) {
    const auto clock = KClock::fromEntries({10.9, 99.99, 30, false});
    ASSERT_TRUE(clock);
    EXPECT_EQ(clock->offset, 10);
    EXPECT_EQ(clock->period, 99);
    EXPECT_FALSE(clock->startHigh);
    const KClockEntries invalid[] = {{-1.0, 100, 50, true}, {0, -1.0, 50, true},
                                     {0, 100, -1, true},    {0, 0.5, 50, true},
                                     {-5, 100, 50, true},   {0, 100, 101, true},
                                     {0, 1e300, 50, true},  {0, std::nan(""), 50, true}};
    for (const KClockEntries& entries : invalid)
        EXPECT_FALSE(KClock::fromEntries(entries)) << entries.offset << " " << entries.period;
}

TEST_F(FillGenerators, ClockShapes) {
    struct Case {
        KClock clock;
        SimTime start, end;
        const char* expected;
    };
    const Case cases[] = {
        // Offset 0 starts with the first level at the start.
        {{0, 100, 50, true}, 100, 400, "100:1 150:0 200:1 250:0 300:1 350:0"},
        {{0, 100, 50, false}, 0, 200, "0:0 50:1 100:0 150:1"},
        // A positive offset writes the second level at the start.
        {{30, 100, 50, true}, 0, 250, "0:0 30:1 80:0 130:1 180:0 230:1"},
        // Width 100 never leaves the first level.
        {{0, 100, 100, true}, 0, 1000, "0:1"},
        {{20, 100, 100, true}, 0, 1000, "0:0 20:1"},
        // Width 0 is the second level throughout.
        {{0, 100, 0, true}, 0, 1000, "0:0"},
        // The first phase reaching the end writes only the first level.
        {{10, 100, 50, true}, 0, 60, "0:0 10:1"},
        {{0, 100, 50, true}, 0, 50, "0:1"},
        // 3 × 50 / 100 truncates to 1.
        {{0, 3, 50, true}, 0, 7, "0:1 1:0 3:1 4:0 6:1"},
        // An offset past the end leaves the second level alone.
        {{500, 100, 50, true}, 0, 200, "0:0"},
        {{0, 100, 50, true}, 100, 100, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(clock(c.clock, c.start, c.end), c.expected) << c.expected;
}

TEST_F(FillGenerators, ClockStopsAtTheEndOfTimeAndAtTheCap) {
    const KLogicLevels levels = *logicLevels(types, logicNode);
    const auto last = clockEvents({0, 4, 50, true}, kMaxTime - 9, kMaxTime, levels);
    ASSERT_TRUE(last);
    EXPECT_EQ(last->size(), 5u);
    EXPECT_EQ(last->back().time, kMaxTime - 1);
    EXPECT_EQ(clock({0, kMaxTime, 100, true}, 0, kMaxTime), "0:1");
    EXPECT_FALSE(clockEvents({0, 2, 50, true}, 0, 1000, levels, 100));
}

TEST_F(FillGenerators, LogicLevelsOnlyForScalarLogicTypes) {
    EXPECT_TRUE(logicLevels(types, logicNode));
    EXPECT_TRUE(logicLevels(types, Node(bit)));
    EXPECT_FALSE(logicLevels(types, integerNode));
    EXPECT_FALSE(logicLevels(types, vectorNode));
    EXPECT_FALSE(logicLevels(types, Node(KTypesManager::kNoType)));
}

TEST_F(FillGenerators, FormulaFillsItsOffsetsOnceOrRepeatsUntilTheEnd) {
    const KFormulaEvents once = formula("'1' 10, '0' 20, 'Z' 2000", logicNode, 100, 1000);
    EXPECT_EQ(once.status, KFormulaEvents::Status::Complete);
    EXPECT_EQ(text(once.events), "110:1 120:0");
    EXPECT_EQ(text(formula("'0' 0, '1' 5 -r 10", logicNode, 0, 30).events),
              "0:0 5:1 10:0 15:1 20:0 25:1");
    EXPECT_EQ(text(formula("5 0, -7 10 -r 100", integerNode, 50, 200).events),
              "50:5 60:-7 150:5 160:-7");
    // Equal offsets: the later value wins.
    EXPECT_EQ(text(formula("'1' 10, '0' 10", logicNode, 0, 30).events), "10:0");
}

TEST_F(FillGenerators, FormulaLimits) {
    const KFormulaEvents overflow =
        formula("'1' 0, '0' 5 -r 10", logicNode, kMaxTime - 12, kMaxTime);
    EXPECT_EQ(overflow.status, KFormulaEvents::Status::TimeOverflow);
    EXPECT_EQ(overflow.events.size(), 3u);
    const KFormulaEvents many = formula("'1' 0, '0' 1 -r 2", logicNode, 0, 1000, 50);
    EXPECT_EQ(many.status, KFormulaEvents::Status::TooManyEvents);
    EXPECT_TRUE(many.events.empty());
}

} // namespace
