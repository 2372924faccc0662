#include "VcdTestUtil.h"
#include "storage/KFileException.h"
#include "storage/vcd/KVcdReader.h"
#include "storage/vcd/KVcdWriter.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

using vcdtest::RecordingStreamWrite;
using vcdtest::ReplayStreamRead;
using vcdtest::tempPath;

namespace {

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void importFile(const std::string& path, RecordingStreamWrite& sink) {
    KVcdReader(path).importInto(sink);
}

const std::string kSource =
    "$timescale 1 fs $end\n"
    "$scope module top $end\n$var wire 1 ! clk $end\n$var wire 8 \" data [7:0] $end\n"
    "$var wire 4 # up [0:3] $end\n$var integer 32 $ n $end\n$var real 64 % r $end\n"
    "$scope module inner $end\n$var wire 1 & clk_alias $end\n$var wire 1 ! clk $end\n"
    "$var wire 1 ' one [5:5] $end\n$upscope $end\n$upscope $end\n$enddefinitions $end\n"
    "#0\n$dumpvars\nU!\nbUUUUUUUU \"\nb0000 #\nbx $\nr0 %\nz&\n0'\n$end\n"
    "#1000\n1!\nb1010ZWLH \"\nb1 $\nr3.25 %\n1'\n"
    "#2000\n0!\nb- \"\nb0110 #\nb11111111111111111111111111111011 $\nr-1e-300 %\nH&\n"
    "#3000000\nX!\n#4000000\n";

std::string writeSource() {
    std::string path = tempPath("source.vcd");
    std::ofstream(path, std::ios::binary) << kSource;
    return path;
}

TEST(VcdWriter, RoundTripKeepsScopesRangesSharedCodesTypesAndEveryValue) {
    std::string source = writeSource();
    RecordingStreamWrite first;
    importFile(source, first);
    ReplayStreamRead replay(first);
    std::string exported = tempPath("exported.vcd");
    KVcdExportSummary summary = KVcdWriter().write(replay, exported);
    EXPECT_EQ(summary.signals, 8);
    EXPECT_EQ(summary.skippedSignals, 0);
    EXPECT_EQ(summary.endTime, 4000);
    std::string text = readFile(exported);
    EXPECT_NE(text.find("$timescale 1ps $end"), std::string::npos) << text;
    EXPECT_NE(text.find("$scope module top $end\n$var wire 1 ! clk $end\n"
                        "$var wire 8 \" data [7:0] $end\n$var wire 4 # up [0:3] $end\n"
                        "$var integer 32 $ n $end\n$var real 64 % r $end\n"
                        "$scope module inner $end\n$var wire 1 & clk_alias $end\n"
                        "$var wire 1 ! clk $end\n$var wire 1 ' one [5:5] $end\n"
                        "$upscope $end\n$upscope $end\n$enddefinitions $end\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("#1\n1!\nb1010ZWLH \"\n"), std::string::npos) << text;

    RecordingStreamWrite second;
    importFile(exported, second);
    vcdtest::expectSameEvents(first, second);
    EXPECT_EQ(second.lastSetTime, 4000);
    std::filesystem::remove(source);
    std::filesystem::remove(exported);
}

// A recording of one signal per type string, all declared as scalars.
void declare(RecordingStreamWrite& recording, const std::vector<std::string>& types) {
    recording.BeginDeclarations();
    evstream::SignalInfo info;
    for (std::size_t i = 0; i < types.size(); ++i) {
        info.name = "s" + std::to_string(i);
        recording.DeclareScalar(static_cast<SignalHandle>(i), info);
    }
    recording.EndDeclarations();
    for (std::size_t i = 0; i < types.size(); ++i)
        recording.SetTypeInfoString(static_cast<SignalHandle>(i), types[i]);
}

TEST(VcdWriter, FourStateMapsWeakAndMetaValues) {
    RecordingStreamWrite recording;
    declare(recording, {"a#16#std_logic_vector1(8d0)e#9#std_logicc9 UX01ZWLH-"});
    std::vector<std::uint8_t> all{0, 1, 2, 3, 4, 5, 6, 7, 8};
    recording.SetTime(0);
    recording.WriteValue(0, all.data(), 9);
    ReplayStreamRead replay(recording);
    std::string nine = tempPath("nine.vcd");
    std::string four = tempPath("four.vcd");
    KVcdWriter().write(replay, nine);
    KVcdExportOptions options;
    options.states = KVcdExportOptions::States::Four;
    KVcdWriter(options).write(replay, four);
    EXPECT_NE(readFile(nine).find("bUX01ZWLH- !"), std::string::npos);
    EXPECT_NE(readFile(four).find("bxx01zx01x !"), std::string::npos);
    std::filesystem::remove(nine);
    std::filesystem::remove(four);
}

TEST(VcdWriter, SkipsTypesVcdCannotCarryAndWritesGzip) {
    RecordingStreamWrite recording;
    declare(recording, {"e#5#statel2 #4#idle#3#run", "e#3#bitc2 01"});
    std::uint8_t one = 1;
    recording.SetTime(5);
    recording.WriteValue(0, &one, 1);
    recording.WriteValue(1, &one, 1);
    ReplayStreamRead replay(recording);
    std::string exported = tempPath("out.vcd.gz");
    KVcdExportSummary summary = KVcdWriter().write(replay, exported);
    EXPECT_EQ(summary.signals, 1);
    EXPECT_EQ(summary.skippedSignals, 1);
    EXPECT_EQ(summary.events, 1);
    RecordingStreamWrite back;
    importFile(exported, back);
    ASSERT_EQ(back.events.size(), 1u);
    EXPECT_EQ(back.events[0].time, 5);
    EXPECT_EQ(back.events[0].value, std::vector<std::uint8_t>{3}) << "bit 1 reads back as '1'";
    std::filesystem::remove(exported);
}

TEST(VcdWriter, UnwritableFileThrows) {
    RecordingStreamWrite recording;
    ReplayStreamRead replay(recording);
    EXPECT_THROW(KVcdWriter().write(replay, "/nonexistent/dir/out.vcd"), KFileException);
}

} // namespace
