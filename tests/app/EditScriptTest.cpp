// Splitting edit scripts into commands and words.

#include "app/EditScript.h"

#include <gtest/gtest.h>
#include <string>
#include <string_view>
#include <vector>

namespace {

std::string joined(const std::vector<EditWord>& words) {
    std::string out;
    for (const EditWord& word : words)
        out += (word.quoted ? "<q:" : "<") + word.text + ">";
    return out;
}

TEST(EditScript, SplitsWordsAtBlanksAndKeepsQuotedWordsWhole) {
    struct Case {
        std::string_view text;
        std::string_view words;
    };
    const Case cases[] = {
        {"select  clk\trst ", "<select><clk><rst>"},
        {"set stimulator \"clock 10 ns\" clk", "<set><stimulator><q:clock 10 ns><clk>"},
        {"say \"a \"\"b\"\" c\"", "<say><q:a \"b\" c>"},
        {"\"\" x", "<q:><x>"},
        {"fill value x\"A5\"", "<fill><value><x\"A5\">"},
        {"top/\\ext id\\", "<top/\\ext><id\\>"},
    };
    for (const Case& each : cases) {
        std::vector<EditWord> words;
        std::string error;
        ASSERT_TRUE(EditScript::splitWords(each.text, words, error)) << each.text;
        EXPECT_EQ(joined(words), each.words) << each.text;
    }
}

TEST(EditScript, AnUnclosedQuoteNamesItsColumn) {
    std::vector<EditWord> words;
    std::string error;
    EXPECT_FALSE(EditScript::splitWords("add \"x y", words, error));
    EXPECT_EQ(error, "the quote opened in column 5 is not closed");
    EXPECT_FALSE(EditScript::splitWords("add \"x\"\"", words, error));
}

TEST(EditScript, CommandsOfEKeepTheirPositionAndSkipComments) {
    const std::string_view commands[] = {"# nothing", "select clk", "  ",
                                         "comment clk 5ns  a, b  "};
    const EditScript script = EditScript::fromCommands(commands);
    ASSERT_EQ(script.lines().size(), 2u);
    EXPECT_EQ(script.lines()[0].number, 2);
    EXPECT_EQ(script.lines()[1].number, 4);
    EXPECT_EQ(script.lines()[1].source, "-e");
    // Free text runs from a word to the end of the line, blanks at both ends dropped.
    EXPECT_EQ(script.lines()[1].textFrom(3), "a, b");
    EXPECT_EQ(script.lines()[1].textFrom(6), "");
}

} // namespace
