#include "RunProgram.h"

#include <array>
#include <cstdio>
#include <gtest/gtest.h>
#include <string>

namespace {

TEST(CommandLine, VersionPrintsProgramAndVersion) {
    RunResult result = runProgram("--version");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.output.rfind("tessel-wave ", 0), 0u) << result.output;
}

TEST(CommandLine, HelpListsVerbs) {
    RunResult result = runProgram("--help");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_NE(result.output.find("types"), std::string::npos) << result.output;
}

TEST(CommandLine, UnknownVerbIsUsageError) {
    RunResult result = runProgram("frobnicate");
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.output.find("unknown verb or option 'frobnicate'"), std::string::npos);
}

TEST(CommandLine, BadArgumentsOfVerbAreUsageError) {
    RunResult result = runProgram("types");
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.output.find("tessel-wave types:"), std::string::npos) << result.output;
}

TEST(CommandLine, TypesVerbShowsTheBundledExampleInEveryRadix) {
    RunResult result = runProgram(std::string(TESSEL_SOURCE_DIR) + "/examples/values.txt");
    EXPECT_EQ(result.exitCode, 2) << "a file is not a verb";
    result = runProgram("types " + std::string(TESSEL_SOURCE_DIR) + "/examples/values.txt");
    EXPECT_EQ(result.exitCode, 0) << result.output;
    EXPECT_NE(result.output.find("std_logic_vector(7 downto 0)"), std::string::npos);
    EXPECT_NE(result.output.find("hex A5"), std::string::npos) << result.output;
    EXPECT_NE(result.output.find("15.5 ns"), std::string::npos) << result.output;
}

TEST(CommandLine, TypesVerbNamesFileAndLineOfBadInput) {
    const std::string path = std::string(TESSEL_BINARY_DIR) + "/bad-types.txt";
    FILE* file = std::fopen(path.c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fputs("type e#9#std_logicc9 UX01ZWLH-\ntype a#99#broken\n", file);
    std::fclose(file);
    RunResult result = runProgram("types " + path);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.output.find("bad-types.txt:2: bad type-information string"), std::string::npos)
        << result.output;
}

} // namespace
