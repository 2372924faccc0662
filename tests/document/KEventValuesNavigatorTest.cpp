#include "document/KEventValuesNavigator.h"

#include "QueryTestUtil.h"

#include <gtest/gtest.h>

using namespace querytest;
using Direction = KEventValuesNavigator::Direction;

namespace {

// A bus "bus0" of two std_logic elements read from one source: element 0 is source signal 0,
// element 1 source signal 1.
struct BusFixture {
    BusFixture() {
        const auto source = memorySource({{0, 0, 0, 2},
                                          {0, 0, 1, 2},
                                          {10, 0, 0, 3},
                                          {20, 0, 1, 3},
                                          {30, 0, 0, 2},
                                          {40, 0, 0, 3}});
        bus = addBus(doc);
        for (SignalHandle element : {0, 1})
            addLeaf(doc, {segmentOver(0, 100, source, element)}, bus);
        doc.rebuildNameIndex();
    }
    KDoc doc;
    SignalHandle bus = 0;
};

KEventValuesNavigator::Test isValue(std::uint8_t first, std::uint8_t second) {
    return [=](const EventValue& value) {
        return value.size() == 2 && value.data()[0] == first && value.data()[1] == second;
    };
}

} // namespace

TEST(KEventValuesNavigator, CombinesTheElementsAtEachChange) {
    struct Case {
        Direction direction;
        SimTime reference;
        std::uint8_t first, second;
        SimTime expected; // kNoTime: not found
    };
    const Case cases[] = {
        {Direction::Forward, 0, 3, 3, 20},       // element 1 changes while element 0 holds
        {Direction::Forward, 20, 3, 3, 40},      // strictly after the reference
        {Direction::Forward, 40, 3, 3, kNoTime}, // nothing after the last change
        {Direction::Forward, 5, 2, 3, 30},        {Direction::Backward, 45, 3, 3, 40},
        {Direction::Backward, 40, 3, 3, 20}, // strictly before the reference
        {Direction::Backward, 35, 2, 2, 0},  // the value in force at 0 counts
        {Direction::Backward, 15, 2, 3, kNoTime}, {Direction::Backward, 0, 2, 2, kNoTime},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.reference << " " << int(c.direction));
        BusFixture fixture;
        KEventValuesNavigator navigator(fixture.doc, "bus0", c.reference, c.direction);
        EXPECT_EQ(navigator.handle(), fixture.bus);
        const auto found = navigator.find(isValue(c.first, c.second));
        EXPECT_EQ(found ? found->time() : kNoTime, c.expected);
    }
}

TEST(KEventValuesNavigator, KeepsTheStartValueAndTheChangesItSaw) {
    BusFixture fixture;
    KEventValuesNavigator navigator(fixture.doc, "BUS0", 15, Direction::Forward);
    ASSERT_TRUE(navigator.find(isValue(2, 3)).has_value());
    ASSERT_TRUE(navigator.startValue().has_value());
    EXPECT_EQ(bytesText(navigator.startValue()->value()), "3.2.");
    ASSERT_EQ(navigator.events().size(), 2u); // 20 and 30, where the search stopped
    EXPECT_EQ(navigator.events().back().time(), 30);
}

TEST(KEventValuesNavigator, MatchesTheValueTextWithoutRegardToCase) {
    KDoc doc;
    const SignalHandle s = addLeaf(
        doc, {segmentOver(0, 100, memorySource({{0, 0, 0, 2}, {10, 0, 0, 4}, {20, 0, 0, 3}}))});
    doc.rebuildNameIndex();
    KEventValuesNavigator forward(doc, doc.fullName(s), 0, Direction::Forward);
    const auto high = forward.findText(" z ");
    ASSERT_TRUE(high.has_value());
    EXPECT_EQ(high->time(), 10);
    EXPECT_FALSE(forward.findText("zz").has_value());
    EXPECT_FALSE(forward.findText("").has_value());
}

TEST(KEventValuesNavigator, AnUnknownSignalFindsNothing) {
    BusFixture fixture;
    KEventValuesNavigator navigator(fixture.doc, "nosuch", 0, Direction::Forward);
    EXPECT_EQ(navigator.handle(), 0);
    EXPECT_FALSE(navigator.find([](const EventValue&) { return true; }).has_value());
    EXPECT_FALSE(navigator.findText("0").has_value());
    EXPECT_FALSE(navigator.startValue().has_value());
}
