#include "document/KBusRange.h"

#include <climits>
#include <gtest/gtest.h>

namespace {

TEST(KBusRange, AcceptsAtMostTenThousandElements) {
    struct Case {
        std::int32_t left, right;
        bool accepted;
    };
    const Case cases[] = {{0, 9999, true},           {9999, 0, true},          {5, 5, true},
                          {-5000, 4999, true},       {0, 10000, false},        {10000, 0, false},
                          {INT_MIN, INT_MAX, false}, {INT_MAX, INT_MIN, false}};
    for (const Case& c : cases) {
        const auto refusal = KBusRange(c.left, c.right).check();
        EXPECT_EQ(!refusal, c.accepted) << c.left << " " << c.right;
        if (refusal) {
            EXPECT_EQ(*refusal, "The maximum bus width is 10000");
        }
    }
    EXPECT_EQ(KBusRange(INT_MIN, INT_MAX).width(), 4294967296LL);
}

TEST(KBusRange, ParsesBounds) {
    EXPECT_EQ(KBusRange::parseBound("12"), 12);
    EXPECT_EQ(KBusRange::parseBound(" -3 "), -3);
    EXPECT_EQ(KBusRange::parseBound("+7"), 7);
    EXPECT_EQ(KBusRange::parseBound("-2147483648"), INT_MIN);
    for (const char* bad : {"", " ", "abc", "1x", "2147483648", "+-5", "1.5", "+"})
        EXPECT_FALSE(KBusRange::parseBound(bad)) << bad;
}

} // namespace
