#include "document/KFillHistory.h"

#include <gtest/gtest.h>

namespace {

using Entries = std::vector<std::string>;

TEST(KFillHistory, SplitsAndJoinsOnBars) {
    const KFillHistory history("'1' 0|x\"A5\" 0||");
    EXPECT_EQ(history.entries(), (Entries{"'1' 0", "x\"A5\" 0"}));
    EXPECT_EQ(history.joined(), "'1' 0|x\"A5\" 0");
    EXPECT_TRUE(KFillHistory("").entries().empty());
}

TEST(KFillHistory, NewestFormulaFirstAndAtMostTen) {
    KFillHistory history;
    for (int i = 0; i < 12; ++i)
        EXPECT_TRUE(history.add(std::to_string(i), KFillHistory::Place::First, 10));
    EXPECT_EQ(history.entries().size(), 10u);
    EXPECT_EQ(history.entries().front(), "11");
    EXPECT_EQ(history.entries().back(), "2");
    // A formula used again moves to the front instead of repeating.
    EXPECT_TRUE(history.add(" 5 ", KFillHistory::Place::First, 10));
    EXPECT_EQ(history.entries().front(), "5");
    EXPECT_EQ(history.entries().size(), 10u);
    EXPECT_FALSE(history.add("5", KFillHistory::Place::First, 10));
}

TEST(KFillHistory, ValuesAppendWhenNew) {
    KFillHistory history("1|0");
    EXPECT_FALSE(history.add(" 0 ", KFillHistory::Place::Last));
    EXPECT_TRUE(history.add("Z", KFillHistory::Place::Last));
    EXPECT_EQ(history.joined(), "1|0|Z");
    for (const char* bad : {"", "   ", "a|b"})
        EXPECT_FALSE(history.add(bad, KFillHistory::Place::Last)) << bad;
}

TEST(KFillHistory, FormulaFromPairs) {
    const std::vector<KFormulaPair> pairs = {
        {"'0'", "0 ns"}, {"'1'", ""}, {"", "3 ns"}, {"'1'", "5 ns"}, {"", ""}};
    EXPECT_EQ(formulaFromPairs(pairs, "10 ns"), "'0' 0 ns, '1' 5 ns -r 10 ns");
    EXPECT_EQ(formulaFromPairs(pairs, ""), "'0' 0 ns, '1' 5 ns");
    EXPECT_EQ(formulaFromPairs({}, "5"), " -r 5");
}

} // namespace
