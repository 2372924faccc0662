#include "storage/Formula.h"

#include "storage/KFormulaIterator.h"
#include "storage/KTypeInfo.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

constexpr SimTime kNs = 1000;

struct ExpectedItem {
    const char* value;
    SimTime offset;
    TimeUnit unit;
};

struct ValidCase {
    const char* text;
    TimeUnit defaultUnit;
    std::vector<ExpectedItem> items;
    std::optional<SimTime> repeat;
};

TEST(FormulaTest, ParsesEveryKindOfValue) {
    const ValidCase cases[] = {
        {"'0' 0 ns, '1' 5 ns -r 10 ns", Ps, {{"'0'", 0, Ns}, {"'1'", 5 * kNs, Ns}}, 10 * kNs},
        {"x\"00\" 0, x\"01\" 10ns, x\"02\" 20ns",
         Ps,
         {{"x\"00\"", 0, Ps}, {"x\"01\"", 10 * kNs, Ns}, {"x\"02\"", 20 * kNs, Ns}},
         std::nullopt},
        {"idle 0, load 20 ns, run 30 ns -r 100 ns",
         Ns,
         {{"idle", 0, Ns}, {"load", 20 * kNs, Ns}, {"run", 30 * kNs, Ns}},
         100 * kNs},
        {"\"0101\" 3", Ns, {{"\"0101\"", 3 * kNs, Ns}}, std::nullopt},
        {"b\"01_01\" 0, o\"17\" 1, X\"A5\" 2",
         Ps,
         {{"b\"01_01\"", 0, Ps}, {"o\"17\"", 1, Ps}, {"X\"A5\"", 2, Ps}},
         std::nullopt},
        {"16#FF# 0, -42 1us, 1.5e3 2 US",
         Ps,
         {{"16#FF#", 0, Ps}, {"-42", 1000 * kNs, Us}, {"1.5e3", 2000 * kNs, Us}},
         std::nullopt},
        {"(1,0,Z) 0, ( 1 , 'Z' , 0 ) 7",
         Ps,
         {{"(1,0,Z)", 0, Ps}, {"( 1 , 'Z' , 0 )", 7, Ps}},
         std::nullopt},
        {"(idle, (x\"0F\", \"a b\")) 0", Ps, {{"(idle, (x\"0F\", \"a b\"))", 0, Ps}}, std::nullopt},
        {"\"ab\" & LF & \"c\" 4, \"say \"\"hi\"\"\" 5",
         Ps,
         {{"\"ab\" & LF & \"c\"", 4, Ps}, {"\"say \"\"hi\"\"\"", 5, Ps}},
         std::nullopt},
        {"',' 0, ''' 1, '(' 2", Ps, {{"','", 0, Ps}, {"'''", 1, Ps}, {"'('", 2, Ps}}, std::nullopt},
        {"10ns 0, true 1 sec, 'Z' 2 min, 'U' 1 hr",
         Ps,
         {{"10ns", 0, Ps},
          {"true", 1'000'000'000'000, Sec},
          {"'Z'", 120'000'000'000'000, Min},
          {"'U'", 3'600'000'000'000'000, Hr}},
         std::nullopt},
        {"  '1'   1.5ns ,'0' 1.5 ns -r1.5ns  ", Ps, {{"'1'", 1500, Ns}, {"'0'", 1500, Ns}}, 1500},
        {"'1' 2500 fs, '0' 3 PS -R 1 Ms", Ps, {{"'1'", 2, Fs}, {"'0'", 3, Ps}}, 1'000'000'000},
        {"'1' 50 ns -r 10 ns", Ps, {{"'1'", 50 * kNs, Ns}}, 10 * kNs},
    };
    for (const ValidCase& c : cases) {
        FormulaResult result = parseFormula(c.text, c.defaultUnit);
        ASSERT_TRUE(result) << c.text << ": " << result.error().message;
        ASSERT_EQ(result->items.size(), c.items.size()) << c.text;
        for (std::size_t i = 0; i < c.items.size(); ++i) {
            EXPECT_EQ(result->items[i].value, c.items[i].value) << c.text;
            EXPECT_EQ(result->items[i].offset, c.items[i].offset) << c.text;
            EXPECT_EQ(result->items[i].unit, c.items[i].unit) << c.text;
        }
        EXPECT_EQ(result->repeatPeriod, c.repeat) << c.text;
        FormulaErrorCode code = FormulaErrorCode::Empty;
        EXPECT_EQ(CheckFormula(c.text, code, c.defaultUnit), -1) << c.text;
        EXPECT_EQ(code, FormulaErrorCode::None);
    }
}

struct ErrorCase {
    const char* text;
    FormulaErrorCode code;
    int position;
    const char* message;
};

TEST(FormulaTest, ReportsTheFirstErrorWithWhatWasExpected) {
    using C = FormulaErrorCode;
    const ErrorCase cases[] = {
        {"", C::Empty, 0,
         "The formula is empty: expected value-time pairs such as '0' 0 ns, '1' 5 ns"},
        {"   ", C::Empty, 3,
         "The formula is empty: expected value-time pairs such as '0' 0 ns, '1' 5 ns"},
        {"'1'", C::ExpectedTime, 3,
         "Expected a time (a number with an optional unit, such as 10 ns) after the value ''1'' at "
         "column 4 (the end of the formula)"},
        {"'1' 0, '0'", C::ExpectedTime, 10, nullptr},
        {"'1' ns", C::ExpectedTime, 4, nullptr},
        {"'1', 10", C::ExpectedTime, 3,
         "Expected a blank and a time after the value ''1'' at column 4"},
        {"'1' 10xs", C::UnknownUnit, 6,
         "Expected a time unit (fs, ps, ns, us, ms, sec, min, hr) after '10' at column 7"},
        {"'1' 10 idle 20", C::UnknownUnit, 7,
         "Expected a time unit (fs, ps, ns, us, ms, sec, min, hr) after '10' at column 8, or ', ' "
         "before the next pair"},
        {"\"0101 0", C::UnclosedString, 0,
         "Expected a closing '\"' for the string that starts at column 1"},
        {"'1 0", C::UnclosedCharacter, 0, nullptr},
        {"'1' 0, x\"0F 5", C::UnclosedString, 8, nullptr},
        {"(1,(0,Z) 0", C::UnclosedParenthesis, 0, "Expected ')' to close the '(' at column 1"},
        {"(1,0)) 0", C::UnexpectedParenthesis, 5,
         "Unexpected ')' at column 6: there is no '(' for it to close"},
        {"'1' 0 '0' 10", C::ExpectedSeparator, 6,
         "Expected ', ' before the next pair, ' -r ' or the end of the formula at column 7"},
        {"'1' 0 ns;", C::ExpectedSeparator, 8, nullptr},
        {"'1' 0, ", C::ExpectedValue, 7,
         "Expected a value after ', ' at column 8 (the end of the formula)"},
        {"'1' 0,, '0' 1", C::ExpectedValue, 6, nullptr},
        {"'1' 0, -r 10", C::ExpectedValue, 7, nullptr},
        {"\"a\" & 0", C::ExpectedTime, 7, nullptr},
        {"'1' 10 ns, '0' 5 ns", C::TimeBackwards, 15,
         "The time '5 ns' at column 16 is earlier than the one before it, '10 ns': expected "
         "offsets from the fill start that never decrease"},
        {"'1' -5 ns", C::NegativeTime, 4, nullptr},
        {"'1' 1. ns", C::BadNumber, 6, nullptr},
        {"'1' 9223372036854776 ns", C::TimeTooLarge, 4, nullptr},
        {"'1' 3000000 hr", C::TimeTooLarge, 4, nullptr},
        {"'1' 0 -r", C::ExpectedRepeat, 8, nullptr},
        {"'1' 0 -r 0 ns", C::RepeatNotPositive, 9, nullptr},
        {"'1' 0 -r 0.5 ps", C::RepeatNotPositive, 9, nullptr},
        {"'0' 0 ns, '1' 5 ns -r 5 ns", C::RepeatTooShort, 22,
         "The repeat period '5 ns' at column 23 is too short: expected more than 5 ns, the time "
         "from the first offset to the last, so that the sequence fits in it"},
        {"'1' 0 -r 10 ns xyz", C::TrailingText, 15,
         "Expected the end of the formula after the repeat period at column 16: the repeat "
         "period comes last"},
        {"'1' 0 -r 10 ns, '0' 20", C::TrailingText, 14, nullptr},
    };
    for (const ErrorCase& c : cases) {
        FormulaErrorCode code = FormulaErrorCode::None;
        EXPECT_EQ(CheckFormula(c.text, code), c.position) << c.text;
        EXPECT_EQ(code, c.code) << c.text;
        char buffer[255];
        int length = GetErrorDescription(code, buffer, 255, c.text, c.position);
        EXPECT_EQ(length, static_cast<int>(std::strlen(buffer)));
        if (c.message != nullptr)
            EXPECT_STREQ(buffer, c.message) << c.text;
        else
            EXPECT_NE(std::string(buffer).find("column " + std::to_string(c.position + 1)),
                      std::string::npos)
                << c.text << ": " << buffer;
    }
    // The default unit decides whether offsets go backwards.
    FormulaErrorCode code = FormulaErrorCode::None;
    EXPECT_EQ(CheckFormula("'1' 10, '0' 5 ns", code, Ps), -1);
    EXPECT_EQ(CheckFormula("'1' 10, '0' 5 ns", code, Ns), 12);
    EXPECT_EQ(code, FormulaErrorCode::TimeBackwards);
    std::string text = "'1' 0";
    text.resize(kMaxFormulaLength + 1, ' ');
    EXPECT_EQ(CheckFormula(text, code), static_cast<int>(kMaxFormulaLength));
    EXPECT_EQ(code, FormulaErrorCode::TooLong);
}

TEST(FormulaTest, ErrorDescriptionFitsTheBufferAndFallsBackWhenCodeDoesNotMatch) {
    const std::string formula = "'1' 10xs";
    char small[12];
    EXPECT_EQ(GetErrorDescription(FormulaErrorCode::UnknownUnit, small, 12, formula, 6), 11);
    EXPECT_STREQ(small, "Expected a ");
    EXPECT_EQ(GetErrorDescription(FormulaErrorCode::UnknownUnit, nullptr, 12, formula, 6), 0);
    EXPECT_EQ(GetErrorDescription(FormulaErrorCode::UnknownUnit, small, 0, formula, 6), 0);

    char buffer[255];
    GetErrorDescription(FormulaErrorCode::RepeatTooShort, buffer, 255, formula, 3);
    EXPECT_STREQ(buffer, "The repeat period at column 4 is shorter than the sequence");
    GetErrorDescription(static_cast<FormulaErrorCode>(999), buffer, 255, formula, -5);
    EXPECT_STREQ(buffer, "Unknown formula error at column 1");

    // A long value in a message is cut short, and the buffer never ends inside a UTF-8 character.
    const std::string accented = "\"" + std::string(300, 'a') + "\xC3\xA9";
    GetErrorDescription(FormulaErrorCode::UnclosedString, buffer, 255, accented, 0);
    EXPECT_STREQ(buffer, "Expected a closing '\"' for the string that starts at column 1");
    const std::string value = std::string(60, 'v') + ",";
    FormulaErrorCode code = FormulaErrorCode::None;
    int position = CheckFormula(value, code);
    int length = GetErrorDescription(code, buffer, 255, value, position);
    EXPECT_EQ(std::string(buffer, static_cast<std::size_t>(length)),
              "Expected a blank and a time after the value '" + std::string(40, 'v') +
                  "...' at column 61");
    const std::string control("a\0b\n,", 5);
    position = CheckFormula(control, code);
    GetErrorDescription(code, buffer, 255, control, position);
    EXPECT_STREQ(buffer,
                 "Expected a time (a number with an optional unit, such as 10 ns) after the "
                 "value 'a?b' at column 5")
        << "a zero byte in a value must not end the message";
}

struct TypeCase {
    const char* type;
    const char* formula;
    int rejectedAt; // -1: every value fits
};

TEST(FormulaTest, ValuesAreCheckedAgainstAType) {
    const char* stdLogic = "e#9#std_logicc9 UX01ZWLH-";
    const char* vector = "a#16#std_logic_vector1(7d0)e#9#std_logicc9 UX01ZWLH-";
    const char* state = "e#7#state_tl3#4#idle#3#run#4#stop";
    const char* record = "r#5#rec_t2#1#ae#9#std_logicc9 UX01ZWLH-#1#bi#7#integer(0t255)";
    const char* integer = "i#7#integer(-2147483648t2147483647)";
    const TypeCase cases[] = {
        {stdLogic, "'0' 0 ns, '1' 5 ns, Z 6 ns, z 7 ns -r 10 ns", -1},
        {stdLogic, "'0' 0, '2' 5", 7},
        {vector, "x\"00\" 0, x\"A5\" 10ns, b\"0101_0101\" 20ns, \"ZZZZ0000\" 30ns", -1},
        {vector, "x\"00\" 0, x\"1FF\" 10ns", 9},
        {state, "idle 0, RUN 20 ns, stop 30 ns -r 100 ns", -1},
        {state, "idle 0, load 20 ns", 8},
        {record, "('1', 16#FF#) 0, (Z, 0) 10", -1},
        {record, "('1', 256) 0", 0},
        {integer, "16#FF# 0, -42 1, 1_000 2", -1},
    };
    for (const TypeCase& c : cases) {
        auto type = KTypeInfo::fromString(c.type);
        ASSERT_TRUE(type) << c.type;
        FormulaResult formula = parseFormula(c.formula);
        ASSERT_TRUE(formula) << c.formula << ": " << formula.error().message;
        auto error = checkFormulaValues(*formula, *type);
        if (c.rejectedAt < 0) {
            EXPECT_FALSE(error) << c.formula << ": " << error->message;
            continue;
        }
        ASSERT_TRUE(error) << c.formula;
        EXPECT_EQ(error->code, FormulaErrorCode::ValueRejected);
        EXPECT_EQ(error->position, static_cast<std::size_t>(c.rejectedAt)) << c.formula;
    }
    auto error = checkFormulaValues(*parseFormula("'2' 0"), *KTypeInfo::fromString(stdLogic));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->message, "The value ''2'' at column 1 is not a value of type std_logic");
}

using Events = std::vector<std::pair<std::string, SimTime>>;

Events evaluate(const Formula& formula, SimTime start, SimTime end, bool* overflowed = nullptr) {
    Events events;
    KFormulaIterator iterator(formula, start, end);
    while (auto event = iterator.next())
        events.emplace_back(std::string(event->value), event->time);
    if (overflowed != nullptr)
        *overflowed = iterator.overflowed();
    return events;
}

struct EvaluationCase {
    const char* formula;
    SimTime start;
    SimTime end;
    Events expected;
};

TEST(FormulaTest, EvaluatesItemsInsideTheRangeOnlyRepeatingWithAPeriod) {
    const EvaluationCase cases[] = {
        {"'0' 0 ns, '1' 5 ns -r 10 ns",
         100 * kNs,
         125 * kNs,
         {{"'0'", 100 * kNs},
          {"'1'", 105 * kNs},
          {"'0'", 110 * kNs},
          {"'1'", 115 * kNs},
          {"'0'", 120 * kNs}}},
        {"'0' 0 ns, '1' 5 ns -r 10 ns", 0, 10 * kNs, {{"'0'", 0}, {"'1'", 5 * kNs}}},
        {"x\"00\" 0, x\"01\" 10ns, x\"02\" 20ns",
         1000,
         1000 + 15 * kNs,
         {{"x\"00\"", 1000}, {"x\"01\"", 1000 + 10 * kNs}}},
        {"x\"00\" 0, x\"01\" 10ns, x\"02\" 20ns",
         0,
         1'000'000 * kNs,
         {{"x\"00\"", 0}, {"x\"01\"", 10 * kNs}, {"x\"02\"", 20 * kNs}}},
        {"idle 5 ns, run 8 ns -r 10 ns",
         0,
         20 * kNs,
         {{"idle", 5 * kNs}, {"run", 8 * kNs}, {"idle", 15 * kNs}, {"run", 18 * kNs}}},
        {"'1' 20 ns", 0, 20 * kNs, {}},
        {"'1' 0", 50, 50, {}},
        {"'1' 0 -r 1 ps", 7, 10, {{"'1'", 7}, {"'1'", 8}, {"'1'", 9}}},
    };
    for (const EvaluationCase& c : cases) {
        FormulaResult formula = parseFormula(c.formula);
        ASSERT_TRUE(formula) << c.formula;
        bool overflowed = true;
        EXPECT_EQ(evaluate(*formula, c.start, c.end, &overflowed), c.expected) << c.formula;
        EXPECT_FALSE(overflowed) << c.formula;
    }
}

TEST(FormulaTest, HugeTimesEndTheEvaluationInsteadOfWrapping) {
    FormulaResult largest = parseFormula("'1' 0, '0' 9223372036854775807 ps");
    ASSERT_TRUE(largest);
    EXPECT_EQ(largest->items[1].offset, kMaxTime);
    bool overflowed = false;
    EXPECT_EQ(evaluate(*largest, 0, kMaxTime, &overflowed), (Events{{"'1'", 0}}));
    EXPECT_FALSE(overflowed) << "the last item is at the end, not past the range";
    EXPECT_EQ(evaluate(*largest, 5, kMaxTime, &overflowed), (Events{{"'1'", 5}}));
    EXPECT_TRUE(overflowed);

    FormulaResult repeated = parseFormula("'1' 0 -r 2562 hr");
    ASSERT_TRUE(repeated);
    Events events = evaluate(*repeated, 0, kMaxTime, &overflowed);
    EXPECT_EQ(events.size(), 2u);
    EXPECT_TRUE(overflowed);

    FormulaResult fractional = parseFormula("'1' 0.0015 ns, '0' 1999 fs");
    ASSERT_TRUE(fractional);
    EXPECT_EQ(fractional->items[0].offset, 1);
    EXPECT_EQ(fractional->items[1].offset, 1) << "times are truncated to whole picoseconds";
}

} // namespace
