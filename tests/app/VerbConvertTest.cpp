// The convert and info verbs, run as the real program on real files.

#include "AppTestFolder.h"
#include "RunProgram.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>

namespace {

namespace fs = std::filesystem;

class ConvertVerb : public AppTestFolder {
protected:
    // No file of the directory is a left-over temporary.
    void expectNoPartialFiles() const {
        for (const auto& entry : fs::directory_iterator(m_dir))
            EXPECT_EQ(entry.path().filename().string().find(".partial."), std::string::npos)
                << entry.path();
    }

    const std::string m_data = std::string(TESSEL_SOURCE_DIR) + "/tests/data/vcd/";
};

TEST_F(ConvertVerb, VcdToDatabaseToVcdReadsBackTheSameValues) {
    RunResult in = runProgram("convert " + m_data + "ghdl_counter.vcd " + path("a.awf"));
    ASSERT_EQ(in.exitCode, 0) << in.output;
    EXPECT_NE(in.output.find("9 signals, 170 events, 0 to 200 ns"), std::string::npos) << in.output;
    RunResult out = runProgram("convert " + path("a.awf") + " " + path("b.vcd"));
    ASSERT_EQ(out.exitCode, 0) << out.output;
    RunResult direct = runProgram("convert " + m_data + "ghdl_counter.vcd " + path("c.vcd"));
    ASSERT_EQ(direct.exitCode, 0) << direct.output;
    std::string text = read(path("b.vcd"));
    EXPECT_EQ(text, read(path("c.vcd")));
    EXPECT_NE(text.find("$var wire 8 # count [7:0] $end"), std::string::npos) << text;
    EXPECT_NE(text.find("#15000\n1!\nb00000001 #\nb0000 $\n"), std::string::npos) << text;
    // The exported file imports to the same signals and events as the original.
    RunResult original = runProgram("info --json " + m_data + "ghdl_counter.vcd");
    RunResult back = runProgram("info --json " + path("b.vcd"));
    auto signalsPart = [](const std::string& json) { return json.substr(json.find("\"events\"")); };
    EXPECT_EQ(signalsPart(back.output), signalsPart(original.output));
    expectNoPartialFiles();
}

TEST_F(ConvertVerb, GzipAndThreadsAndFourStates) {
    ASSERT_EQ(
        runProgram("convert " + m_data + "verilog_style.vcd.gz " + path("v.awf") + " --threads 2")
            .exitCode,
        0);
    ASSERT_EQ(runProgram("convert " + path("v.awf") + " " + path("v.vcd") + " --4state").exitCode,
              0);
    std::string text = read(path("v.vcd"));
    EXPECT_NE(text.find("#50\n1!\nb00001010 \"\n"), std::string::npos) << text;
    EXPECT_EQ(text.find_first_of("UWLH-", text.find("$enddefinitions")), std::string::npos);
}

TEST_F(ConvertVerb, BadInputFailsWithFileAndLineAndLeavesNoOutput) {
    std::string bad = path("bad.vcd");
    std::ofstream(bad) << "$var wire 1 ! x $end\n$enddefinitions $end\n#0\n1?\n";
    RunResult result = runProgram("convert " + bad + " " + path("out.awf"));
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.output.find(bad + ": line 4: identifier code '?' was never declared"),
              std::string::npos)
        << result.output;
    EXPECT_FALSE(fs::exists(path("out.awf")));
    expectNoPartialFiles();
}

TEST_F(ConvertVerb, FailureKeepsAnExistingOutputFile) {
    std::ofstream(path("keep.vcd")) << "precious";
    std::ofstream(path("empty.vcd")) << "";
    RunResult result = runProgram("convert " + path("empty.vcd") + " " + path("keep.vcd"));
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.output.find("the file is empty"), std::string::npos) << result.output;
    EXPECT_EQ(read(path("keep.vcd")), "precious");
    expectNoPartialFiles();
}

TEST_F(ConvertVerb, UsageErrors) {
    for (const char* arguments :
         {"convert a.vcd", "convert a.txt b.awf", "convert a.awf b.awf",
          "convert a.vcd b.awf --threads 0", "convert a.vcd b.awf --fast"}) {
        RunResult result = runProgram(arguments);
        EXPECT_EQ(result.exitCode, 2) << arguments;
        EXPECT_NE(result.output.find("tessel-wave convert:"), std::string::npos) << arguments;
    }
}

TEST_F(ConvertVerb, MissingInputIsAnError) {
    RunResult result = runProgram("convert " + path("none.vcd") + " " + path("x.awf"));
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.output.find(path("none.vcd") + ": cannot open"), std::string::npos)
        << result.output;
    EXPECT_FALSE(fs::exists(path("x.awf")));
}

TEST_F(ConvertVerb, InfoShowsTreeTypesModesAndCounts) {
    ASSERT_EQ(runProgram("convert " + m_data + "ghdl_counter.vcd " + path("a.awf")).exitCode, 0);
    for (const std::string& file : {m_data + "ghdl_counter.vcd", path("a.awf")}) {
        RunResult text = runProgram("info " + file);
        ASSERT_EQ(text.exitCode, 0) << text.output;
        EXPECT_NE(text.output.find("end 200 ns, 170 events"), std::string::npos) << text.output;
        EXPECT_NE(text.output.find("counter_tb/count : std_logic_vector(7 downto 0)  [signal]  "
                                   "end 200 ns, 21 events"),
                  std::string::npos)
            << text.output;
        EXPECT_NE(text.output.find("counter_tb/up : std_logic_vector(0 to 3)"), std::string::npos);
        RunResult json = runProgram("info --json " + file);
        ASSERT_EQ(json.exitCode, 0);
        EXPECT_NE(json.output.find("{\"name\":\"counter_tb/n\",\"type\":\"integer\","
                                   "\"typeString\":\"i#7#integer(-2147483648t2147483647)\","
                                   "\"mode\":\"signal\",\"endTime\":\"200 ns\","
                                   "\"endTimePs\":200000,\"events\":21"),
                  std::string::npos)
            << json.output;
    }
    RunResult bad = runProgram("info " + path("missing.awf"));
    EXPECT_EQ(bad.exitCode, 1);
}

} // namespace
