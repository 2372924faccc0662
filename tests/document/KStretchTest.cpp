#include "document/KStretch.h"

#include <climits>
#include <gtest/gtest.h>

namespace {

EventValue byte(std::uint8_t value) {
    return EventValue(&value, 1);
}

std::string text(const std::vector<KTimedValue>& events) {
    std::string out;
    for (const KTimedValue& event : events)
        out += (out.empty() ? "" : " ") + std::to_string(event.time) + ":" +
               std::to_string(event.value.data()[0]);
    return out;
}

TEST(KStretch, ReadsTheLeadingIntegerOfThePercentText) {
    const std::pair<const char*, int> cases[] = {
        {"200 %", 200}, {" 50%", 50}, {"7", 7},      {"abc", 0},
        {"", 0},        {"-5 %", -5}, {"+12 %", 12}, {"99999999999 %", INT_MAX}};
    for (const auto& [input, expected] : cases)
        EXPECT_EQ(KStretch::leadingInteger(input), expected) << input;
    EXPECT_EQ(KStretch::percentText(200), "200 %");
}

TEST(KStretch, SpinStaysBetweenOneAndTenThousand) {
    EXPECT_EQ(KStretch::spin(200, 1), 210);
    EXPECT_EQ(KStretch::spin(200, -1), 190);
    EXPECT_EQ(KStretch::spin(5, -1), 1);
    EXPECT_EQ(KStretch::spin(1, -1), 1);
    EXPECT_EQ(KStretch::spin(9995, 1), 10000);
    EXPECT_EQ(KStretch::spin(10000, 1), 10000);
    EXPECT_EQ(KStretch::spin(0, 1), 10);
}

TEST(KStretch, RangeTexts) {
    const KStretch stretch(10000, 25000);
    EXPECT_EQ(stretch.originalRangeText(), "Original range 15 ns, from 10 ns  to 25 ns");
    EXPECT_EQ(stretch.newRangeText(200), "New range 30 ns, from 10 ns  to 40 ns");
    EXPECT_EQ(stretch.newRangeText(10000), "New range 1500 ns, from 10 ns  to 1510 ns");
    EXPECT_FALSE(stretch.newRangeText(0));
    EXPECT_FALSE(stretch.newRangeText(10001));
}

TEST(KStretch, NewLengthTruncates) {
    EXPECT_EQ(KStretch(0, 7).newLength(50), 3);
    EXPECT_EQ(KStretch(100, 107).newEnd(50), 103);
    EXPECT_EQ(KStretch(0, 3).newLength(1), 0);
    EXPECT_FALSE(KStretch(0, 10).newLength(0));
    EXPECT_FALSE(KStretch(0, kMaxTime / 2).newEnd(10000));
}

TEST(KStretch, ScalesFromTheStart) {
    const std::vector<KTimedValue> events = {
        {5, byte(9)}, {12, byte(1)}, {15, byte(2)}, {19, byte(3)}, {20, byte(4)}};
    const KStretch stretch(10, 20);
    // Events outside [10, 20) are not part of the range.
    EXPECT_EQ(text(stretch.stretchEvents(byte(0), events, 200)), "10:0 14:1 20:2 28:3");
    EXPECT_EQ(text(stretch.stretchEvents(byte(0), events, 50)), "10:0 11:1 12:2 14:3");
    EXPECT_EQ(text(stretch.stretchEvents(byte(0), events, 100)), "10:0 12:1 15:2 19:3");
}

TEST(KStretch, CompressionKeepsTheLastEventAtEachTime) {
    const std::vector<KTimedValue> events = {
        {10, byte(1)}, {50, byte(0)}, {120, byte(5)}, {150, byte(1)}};
    EXPECT_EQ(text(KStretch(0, 200).stretchEvents(byte(7), events, 1)), "0:0 1:1");
    // An empty start value (no value before the range) adds nothing.
    EXPECT_EQ(text(KStretch(0, 200).stretchEvents({}, {}, 1)), "");
}

} // namespace
