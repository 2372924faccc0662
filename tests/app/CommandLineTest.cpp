#include "RunProgram.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <string>

namespace {

TEST(CommandLine, VersionHelpAndUsageErrors) {
    struct Case {
        const char* arguments;
        int exitCode;
        const char* shown;
    };
    for (const Case& c : {Case{"--version", 0, "tessel-wave "}, Case{"--help", 0, "types"},
                          Case{"frobnicate", 2, "unknown verb or option 'frobnicate'"},
                          Case{"types", 2, "tessel-wave types:"}}) {
        const RunResult result = runProgram(c.arguments);
        EXPECT_EQ(result.exitCode, c.exitCode) << c.arguments;
        EXPECT_NE(result.output.find(c.shown), std::string::npos) << c.arguments << result.output;
    }
    EXPECT_EQ(runProgram("--version").output.rfind("tessel-wave ", 0), 0u);
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
