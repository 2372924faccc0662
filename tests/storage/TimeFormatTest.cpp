#include "storage/TimeFormat.h"

#include <gtest/gtest.h>
#include <random>

namespace {

class TimeFormatTest : public testing::Test {
protected:
    void SetUp() override { setDecimalSeparator("."); }
    void TearDown() override { setDecimalSeparator(""); }
};

struct FormatCase {
    SimTime time;
    bool showUnit;
    int unit;
    int decimals;
    const char* expected;
};

TEST_F(TimeFormatTest, FormatsInGivenOrAutomaticUnit) {
    const FormatCase cases[] = {
        {0, true, kAutomaticUnit, 0, "0 ps"},
        {0, false, kAutomaticUnit, 0, "0"},
        {1500, true, kAutomaticUnit, 0, "1500 ps"},
        {5000, true, kAutomaticUnit, 0, "5000 ps"},
        {15000, true, kAutomaticUnit, 0, "15 ns"},
        {15500, true, kAutomaticUnit, 0, "15.5 ns"},
        {50000, true, kAutomaticUnit, 0, "50 ns"},
        {120'000'000'000'000, true, kAutomaticUnit, 0, "120 sec"},
        {600'000'000'000'000, true, kAutomaticUnit, 0, "10 min"},
        {36'000'000'000'000'000, true, kAutomaticUnit, 0, "10 hr"},
        {7, true, kAutomaticUnit, 0, "7000 fs"},
        {2'000'000, true, Ns, 3, "2000.000 ns"},
        {2'000'500, true, Ns, 3, "2000.500 ns"},
        {1'234'567, true, Us, 0, "1.234567 us"},
        {1, true, Ms, 0, "0.0 ms"},
        {1'999'999'999, true, Ms, 2, "2.00 ms"},
        {-15500, true, kAutomaticUnit, 0, "-15.5 ns"},
        {kMaxTime, true, Fs, 0, "9223372036854775807000 fs"},
    };
    for (const FormatCase& c : cases)
        EXPECT_EQ(FormatTime(c.time, c.showUnit, c.unit, c.decimals), c.expected)
            << "time " << c.time << " unit " << c.unit << " decimals " << c.decimals;
}

TEST_F(TimeFormatTest, FractionUsesLocaleSeparatorButZeroDecimalsUseDot) {
    setDecimalSeparator(",");
    EXPECT_EQ(FormatTime(15500), "15,5 ns");
    EXPECT_EQ(FormatTime(2'000'000, true, Ns, 3), "2000.000 ns");
    EXPECT_EQ(ParseTime("1,05", Ns)->time, 1050);
    EXPECT_EQ(ParseTime("1.05", Ns)->time, 1050) << "a dot is always understood";
}

struct ParseCase {
    const char* text;
    TimeUnit defaultUnit;
    SimTime expected;
    char sign;
};

TEST_F(TimeFormatTest, ParsesNumbersUnitsAndSigns) {
    const ParseCase cases[] = {
        {"+10ns", Ps, 10000, '+'},
        {"3 NS", Ps, 3000, 0},
        {"7", Ns, 7000, 0},
        {"-2 us", Ps, -2'000'000, '-'},
        {"1.5 us", Ps, 1'500'000, 0},
        {"250", Ps, 250, 0},
        {"  12 ps", Ns, 12, 0},
        {"1500 fs", Ps, 1, 0},
        {"5 parsecs", Ns, 5000, 0},
        {"2 min", Ps, 120'000'000'000'000, 0},
        {"1 hr", Ps, 3'600'000'000'000'000, 0},
        {"3s", Ps, 3'000'000'000'000, 0},
        {"9223372036854775807", Ps, kMaxTime, 0},
        {"0.000000000000000001 hr", Ps, 0, 0},
    };
    for (const ParseCase& c : cases) {
        auto parsed = ParseTime(c.text, c.defaultUnit);
        ASSERT_TRUE(parsed) << c.text;
        EXPECT_EQ(parsed->time, c.expected) << c.text;
        EXPECT_EQ(parsed->sign, c.sign) << c.text;
    }
}

TEST_F(TimeFormatTest, RejectsTextsWithoutNumberOrOutOfRange) {
    for (const char* text : {"", "ns", "+", "-", ".", " . ns", "9223372036854775808", "10000 hr",
                             "99999999999999999999999999999999999999999 fs"})
        EXPECT_FALSE(ParseTime(text, Ps)) << '"' << text << '"';
}

TEST_F(TimeFormatTest, ExactUnitsRoundTripEveryTime) {
    std::mt19937_64 random(42);
    for (int i = 0; i < 2000; ++i) {
        SimTime time = static_cast<SimTime>(random() >> (random() % 64));
        for (TimeUnit unit : {Fs, Ps}) {
            std::string text = FormatTime(time, true, unit, 0);
            auto parsed = ParseTime(text, Hr);
            ASSERT_TRUE(parsed) << text;
            EXPECT_EQ(parsed->time, time) << text;
        }
        // Automatic units keep seven fraction digits: exact for times below 10 us.
        SimTime small = time % 10'000'000;
        auto parsed = ParseTime(FormatTime(small), Hr);
        ASSERT_TRUE(parsed);
        EXPECT_EQ(parsed->time, small) << FormatTime(small);
    }
}

} // namespace
