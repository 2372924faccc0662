// The events, value and info verbs reading files through the document, run as the real program.

#include "AppTestFolder.h"
#include "RunProgram.h"
#include "document/KDoc.h"
#include "document/KEventsExtent.h"
#include "document/KWaveComment.h"
#include "storage/KEventsWriteHandle.h"

#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>

namespace {

namespace fs = std::filesystem;

class DocumentVerbs : public AppTestFolder {
protected:
    // A saved document: a std_logic signal with properties, a comment and a long measurement.
    std::string makeAwf() {
        KDoc doc;
        KEventsWriteHandle writer = KEventsWriteHandle::createMemory();
        const std::uint8_t values[] = {2, 3, 2};
        const SimTime times[] = {0, 10000, 20000};
        for (int i = 0; i < 3; ++i) {
            writer.setTime(times[i]);
            writer.writeValue(0, &values[i], 1);
        }
        KSignalRecordPtr clk = KSignalRecord::create("clk");
        clk->setHierarchyIndex(doc.hierarchy().intern("tb/"));
        clk->setTypeIndex(KTypesManager::kStdLogicIndex);
        clk->setColor(255);
        clk->setBold(true);
        clk->segments().insert(
            KEventSegment({0, 0}, {30000, 0}, KEventsReadHandle::fromWriter(writer), 0),
            InsertForm::Overwrite);
        const SignalHandle handle = doc.addRecord(clk);
        const SignalHandle rows[] = {handle};
        doc.insertRows(0, rows);
        doc.addItem(std::make_unique<KWaveComment>(handle, 0, 10000, "edge, first"));
        doc.addItem(std::make_unique<KEventsExtent>(handle, 0, handle, 3000000000000, 0));
        const std::string file = path("doc.awf");
        EXPECT_TRUE(doc.saveDocument(file));
        return file;
    }

    const std::string m_data = std::string(TESSEL_SOURCE_DIR) + "/tests/data/vcd/";
};

TEST_F(DocumentVerbs, EventsListsTheChangesOfOneSignalInARange) {
    RunResult all = runProgram("events " + m_data + "ghdl_counter.vcd counter_tb/count --to 30ns");
    ASSERT_EQ(all.exitCode, 0) << all.output;
    EXPECT_EQ(all.output, "0 ps             UUUUUUUU\n5000 ps          00000000\n"
                          "15 ns            00000001\n25 ns            00000010\n");
    RunResult json = runProgram("events " + m_data +
                                "ghdl_counter.vcd count --from 20ns --to 35ns --radix hex "
                                "--json");
    ASSERT_EQ(json.exitCode, 0) << json.output;
    EXPECT_EQ(json.output,
              "{\"file\":\"" + m_data +
                  "ghdl_counter.vcd\",\"signal\":\"counter_tb/count\",\"events\":["
                  "{\"time\":\"15 ns\",\"timePs\":15000,\"delta\":0,\"value\":\"01\"},"
                  "{\"time\":\"25 ns\",\"timePs\":25000,\"delta\":0,\"value\":\"02\"},"
                  "{\"time\":\"35 ns\",\"timePs\":35000,\"delta\":0,\"value\":\"03\"}]}\n");
}

TEST_F(DocumentVerbs, ValueShowsEveryRowOrTheNamedSignals) {
    RunResult all = runProgram("value " + m_data + "ghdl_counter.vcd --at 15ns");
    ASSERT_EQ(all.exitCode, 0) << all.output;
    EXPECT_NE(all.output.find("counter_tb/count = 00000001\ncounter_tb/up = 0000\n"
                              "counter_tb/n = -2\n"),
              std::string::npos)
        << all.output;
    RunResult some = runProgram("value " + m_data +
                                "ghdl_counter.vcd --at \"1.5 us\" r COUNTER_TB/COUNT --json");
    ASSERT_EQ(some.exitCode, 0) << some.output;
    EXPECT_NE(some.output.find("\"timePs\":1500000,\"values\":[{\"name\":\"counter_tb/r\","
                               "\"value\":\"9.5\"},{\"name\":\"counter_tb/count\""),
              std::string::npos)
        << some.output;
}

TEST_F(DocumentVerbs, BadArgumentsExitWithTwoAndFileErrorsWithOne) {
    const std::string vcd = m_data + "ghdl_counter.vcd";
    for (const std::string& arguments :
         {"events " + vcd, "events " + vcd + " clk --from", "events " + vcd + " clk --from 5xs",
          "events " + vcd + " clk --radix 7", "events " + vcd + " clk --from 9ns --to 1ns",
          "events " + vcd + " clk --from -5ns", "events " + vcd + " clk --to \"3.5e1ns\"",
          "events " + vcd + " clk --fast", "value " + vcd, std::string("value --at 5ns"),
          "value " + vcd + " --at soon"}) {
        RunResult result = runProgram(arguments);
        EXPECT_EQ(result.exitCode, 2) << arguments << "\n" << result.output;
        EXPECT_NE(result.output.find("tessel-wave "), std::string::npos) << arguments;
    }
    for (const std::string& arguments :
         {"events " + path("missing.awf") + " clk", "value " + path("missing.vcd") + " --at 1",
          "events " + vcd + " nosuchsignal", "value " + vcd + " --at 1 nosuchsignal"}) {
        RunResult result = runProgram(arguments);
        EXPECT_EQ(result.exitCode, 1) << arguments << "\n" << result.output;
    }
    const std::string garbage = path("garbage.awf");
    {
        std::FILE* out = std::fopen(garbage.c_str(), "w");
        std::fputs("garbage", out);
        std::fclose(out);
    }
    RunResult bad = runProgram("events " + garbage + " clk");
    EXPECT_EQ(bad.exitCode, 1);
    // The file, and what is wrong with it in the database's own words.
    EXPECT_NE(bad.output.find(garbage + ": Invalid file format. "), std::string::npos)
        << bad.output;
    EXPECT_NE(bad.output.find("too short to be a waveform database"), std::string::npos)
        << bad.output;
}

TEST_F(DocumentVerbs, InfoShowsPropertiesCommentsAndMeasurements) {
    const std::string file = makeAwf();
    RunResult text = runProgram("info " + file);
    ASSERT_EQ(text.exitCode, 0) << text.output;
    EXPECT_NE(text.output.find("  tb/clk : std_logic  [unspecified]  end 29.999 ns, 3 events\n"
                               "    properties: Bold=1, Color=255\n"
                               "    Measurement at 0 ps: 3000 ms to tb/clk at 3000 ms\n"
                               "    Comment at 10 ns: edge, first\n"),
              std::string::npos)
        << text.output;
    RunResult json = runProgram("info --json " + file);
    ASSERT_EQ(json.exitCode, 0);
    EXPECT_NE(json.output.find("\"properties\":{\"Bold\":\"1\",\"Color\":\"255\"}"),
              std::string::npos)
        << json.output;
    EXPECT_NE(json.output.find("{\"time\":\"10 ns\",\"timePs\":10000,\"key\":\"Comment\","
                               "\"text\":\"edge, first\"}"),
              std::string::npos)
        << json.output;
}

TEST_F(DocumentVerbs, ReadingAVcdLeavesNoTemporaryFile) {
    const fs::path temporary = m_dir / "tmp";
    fs::create_directories(temporary);
    RunResult result =
        runProgram("info " + m_data + "ghdl_hier.vcd", "TMPDIR=" + temporary.string());
    ASSERT_EQ(result.exitCode, 0) << result.output;
    result = runProgram("events " + m_data + "ghdl_hier.vcd nosuchsignal",
                        "TMPDIR=" + temporary.string());
    EXPECT_EQ(result.exitCode, 1);
    // A reader that stops after the first line.
    result = runProgram("events " + m_data + "ghdl_counter.vcd clk | head -1",
                        "TMPDIR=" + temporary.string());
    EXPECT_EQ(result.output, "0 ps             0\n");
    EXPECT_TRUE(fs::is_empty(temporary));
}

} // namespace
