#include "storage/NameChecks.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

TEST(NameChecks, VectorTypeTextsGiveNameAndBounds) {
    struct Case {
        const char* text;
        const char* name;
        std::int64_t left, right;
    };
    const std::vector<Case> cases = {
        {"std_logic_vector(7 downto 0)", "std_logic_vector", 7, 0},
        {"  STD_ULOGIC_VECTOR ( 0 TO 15 )  ", "std_ulogic_vector", 0, 15},
        {"Bit_Vector(3 to 3)", "bit_vector", 3, 3},
        {"bit_vector(2to5)", "bit_vector", 2, 5},
    };
    for (const Case& c : cases) {
        const std::optional<VectorTypeText> parsed = parseVectorTypeText(c.text);
        ASSERT_TRUE(parsed) << c.text;
        EXPECT_EQ(parsed->typeName, c.name);
        EXPECT_EQ(parsed->left, c.left);
        EXPECT_EQ(parsed->right, c.right);
    }
}

TEST(NameChecks, BadVectorTypeTextsFail) {
    for (const char* text :
         {"", "std_logic_vector", "std_logic_vector()", "integer(7 downto 0)",
          "std_logic_vector(7 downto)", "std_logic_vector(7 upto 0)", "std_logic_vector(-1 to 3)",
          "std_logic_vector(7 downto 0) x", "std_logic_vectorx(7 downto 0)",
          "std_logic_vector(7 downto 0", "std_logic_vector(99999999999999999999 downto 0)"})
        EXPECT_FALSE(parseVectorTypeText(text)) << text;
}

TEST(NameChecks, VectorTypeNames) {
    EXPECT_TRUE(isVectorTypeName("std_logic_vector"));
    EXPECT_TRUE(isVectorTypeName("STD_ULOGIC_VECTOR"));
    EXPECT_TRUE(isVectorTypeName("bit_vector"));
    EXPECT_FALSE(isVectorTypeName("std_logic"));
    EXPECT_FALSE(isVectorTypeName("signed"));
    EXPECT_FALSE(isVectorTypeName(""));
}

TEST(NameChecks, Identifiers) {
    for (const char* good :
         {"a", "clk", "data_in", "A1_b2", "x_", "\\abc\\", "\\a b\\", "\\a\\\\b\\", "\\\\\\\\"})
        EXPECT_TRUE(isValidIdentifier(good)) << good;
    for (const char* bad :
         {"", "_a", "1a", "a__b", "a-b", "a b", "\\\\", "\\a\\b\\", "\\\\\\", "\\abc", "ab\\"})
        EXPECT_FALSE(isValidIdentifier(bad)) << bad;
}

} // namespace
