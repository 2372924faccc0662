#include "storage/TypeMakers.h"

#include "storage/KTypeInfo.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

const std::string kStdLogic = "e#9#std_logicc9 UX01ZWLH-";

TEST(TypeMakers, LengthProtocolReportsLengthThenFillsABufferLongEnough) {
    std::size_t length = 0;
    ASSERT_EQ(CreateStdTypeInfo(1, nullptr, &length), kTypeMakerOk);
    EXPECT_EQ(length, kStdLogic.size());
    std::vector<char> buffer(length + 1, 'x');
    ASSERT_EQ(CreateStdTypeInfo(1, buffer.data(), &length), kTypeMakerOk);
    EXPECT_EQ(std::string(buffer.data()), kStdLogic);
    EXPECT_EQ(length, kStdLogic.size());
    // A too short buffer or a missing length fails, leaving the buffer alone.
    length = 3;
    std::fill(buffer.begin(), buffer.end(), 'x');
    EXPECT_EQ(CreateStdTypeInfo(1, buffer.data(), &length), kTypeMakerInvalidArgument);
    EXPECT_EQ(buffer[0], 'x');
    EXPECT_EQ(CreateStdTypeInfo(1, nullptr, nullptr), kTypeMakerInvalidArgument);
}

TEST(TypeMakers, StandardTypesHaveFixedStringsAndUnknownOnesNone) {
    const std::vector<std::pair<int, std::string>> cases = {
        {1, kStdLogic},
        {2, "e#10#std_ulogicc9 UX01ZWLH-"},
        {3, "e#3#bitc2 01"},
        {4, "e#7#booleanl2#5#false#4#true"},
        {5, "i#7#integer(-2147483648t2147483647)"},
        {6, "i#7#natural(0t2147483647)"},
        {7, "i#8#positive(1t2147483647)"},
        {8, "f#4#real(-1.7976931348623157e308t1.7976931348623157e308)"},
        {9, "p#4#time(-9223372036854775808t9223372036854775807)u8#2#fs1;#2#ps1000;#2#ns1000000;"
            "#2#us1000000000;#2#ms1000000000000;#3#sec1000000000000000;"
            "#3#min60000000000000000;#2#hr3600000000000000000;"},
    };
    for (const auto& [number, expected] : cases) {
        EXPECT_EQ(makeStdTypeInfo(number), expected) << "standard type " << number;
        EXPECT_TRUE(KTypeInfo::CheckTypeInfo(expected)) << expected;
    }
    for (int number : {0, 11, -1, 1000})
        EXPECT_EQ(makeStdTypeInfo(number), std::nullopt) << number;
}

TEST(TypeMakers, CharacterTypeNamesControlsAndQuotesPrintables) {
    const std::optional<std::string> text = makeStdTypeInfo(10);
    ASSERT_TRUE(text);
    EXPECT_TRUE(text->starts_with("e#9#characterl256#3#NUL#3#SOH#3#STX"));
    EXPECT_NE(text->find("#3#USP#3#' '#3#'!'"), std::string::npos);
    EXPECT_NE(text->find("#3#'~'#3#DEL#4#C128"), std::string::npos);
    EXPECT_NE(text->find("#4#C159#3#'\xA0'"), std::string::npos);
    EXPECT_TRUE(text->ends_with("#3#'\xFF'"));
    EXPECT_TRUE(KTypeInfo::CheckTypeInfo(*text));
}

TEST(TypeMakers, ArrayOfStdLogic) {
    const ArrayRange range{7, 0, 1};
    EXPECT_EQ(makeArrayTypeInfo("std_logic_vector", {&range, 1}, kStdLogic),
              "a#16#std_logic_vector1(7d0)" + kStdLogic);
    const std::vector<ArrayRange> two = {{0, 3, 0}, {-2, 2, 0}};
    const std::optional<std::string> matrix = makeArrayTypeInfo("m", two, "e#3#bitc2 01");
    EXPECT_EQ(matrix, "a#1#m2(0t3)(-2t2)e#3#bitc2 01");
    EXPECT_TRUE(KTypeInfo::CheckTypeInfo(*matrix));
}

TEST(TypeMakers, ArrayRejectsBadArguments) {
    const ArrayRange range{0, 3, 0};
    const ArrayRange badDirection{0, 3, 2};
    EXPECT_EQ(makeArrayTypeInfo("v", {}, kStdLogic), std::nullopt);
    EXPECT_EQ(makeArrayTypeInfo("", {&range, 1}, kStdLogic), std::nullopt);
    EXPECT_EQ(makeArrayTypeInfo("v", {&range, 1}, ""), std::nullopt);
    EXPECT_EQ(makeArrayTypeInfo("v", {&range, 1}, "e#9#std_logi"), std::nullopt);
    EXPECT_EQ(makeArrayTypeInfo("v", {&range, 1}, "q#1#x"), std::nullopt);
    EXPECT_EQ(makeArrayTypeInfo("v", {&range, 1}, kStdLogic + "x"), std::nullopt);
    EXPECT_EQ(makeArrayTypeInfo("v", {&badDirection, 1}, kStdLogic), std::nullopt);
    std::size_t length = 0;
    EXPECT_EQ(CreateArrayTypeInfo(nullptr, &range, 1, kStdLogic.c_str(), nullptr, &length),
              kTypeMakerInvalidArgument);
    EXPECT_EQ(CreateArrayTypeInfo("v", &range, 1, nullptr, nullptr, &length),
              kTypeMakerInvalidArgument);
}

TEST(TypeMakers, RecordOfFields) {
    std::vector<TRecordField> fields(2);
    fields[0].SetBoth("clk", kStdLogic);
    fields[1].SetBoth("count", "i#7#natural(0t2147483647)");
    const std::optional<std::string> text = makeRecordTypeInfo("new_type_name", fields);
    EXPECT_EQ(text, "r#13#new_type_name2#3#clk" + kStdLogic + "#5#counti#7#natural(0t2147483647)");
    ASSERT_TRUE(text);
    // A record can nest in an array and in another record.
    std::vector<TRecordField> outer(1);
    outer[0].SetBoth("inner", *text);
    const std::optional<std::string> nested = makeRecordTypeInfo("outer", outer);
    ASSERT_TRUE(nested);
    const ArrayRange range{0, 1, 0};
    EXPECT_TRUE(makeArrayTypeInfo("pair", {&range, 1}, *nested));
}

TEST(TypeMakers, RecordsOfEmptyOrBrokenFieldsAndResultsTheParserRefusesAreNotMade) {
    std::vector<TRecordField> fields(1);
    EXPECT_EQ(makeRecordTypeInfo("r", {}), std::nullopt);
    fields[0].SetBoth("", kStdLogic);
    EXPECT_EQ(makeRecordTypeInfo("r", fields), std::nullopt);
    fields[0].SetBoth("f", "q#1#x");
    EXPECT_EQ(makeRecordTypeInfo("r", fields), std::nullopt);
    fields[0].SetBoth("f", kStdLogic);
    EXPECT_EQ(makeRecordTypeInfo("", fields), std::nullopt);
    EXPECT_EQ(makeRecordTypeInfo(std::string("a\0b", 3), fields), std::nullopt);
    // Results the type parser refuses are not made: each dimension is fine alone, together they
    // pass the element limit.
    const std::vector<ArrayRange> huge = {{0, 1 << 20, 0}, {0, 1 << 20, 0}};
    EXPECT_EQ(makeArrayTypeInfo("big", huge, "e#3#bitc2 01"), std::nullopt);
    fields[0].SetBoth("f", "i#1#x(5t1)");
    EXPECT_EQ(makeRecordTypeInfo("r", fields), std::nullopt);
}

} // namespace
