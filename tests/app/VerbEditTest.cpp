// The edit verb run as the real program: scripts and -e commands change a file as the window's
// actions would, and a bad command stops the script without touching any file.

#include "AppTestFolder.h"
#include "RunProgram.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <set>
#include <string>

namespace {

namespace fs = std::filesystem;

class EditVerb : public AppTestFolder {
protected: // The counter testbench's VCD saved as a waveform file.
    std::string makeAwf() const {
        const std::string file = path("counter.awf");
        const RunResult made = runProgram("convert " + m_vcd + " " + file);
        EXPECT_EQ(made.exitCode, 0) << made.output;
        return file;
    }
    // The names of the files in the test folder, sorted.
    std::string listing() const {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(m_dir))
            names.insert(entry.path().filename().string());
        std::string out;
        for (const std::string& name : names)
            out += name + " ";
        return out;
    }

    const std::string m_vcd = std::string(TESSEL_SOURCE_DIR) + "/tests/data/vcd/ghdl_counter.vcd";
};

TEST_F(EditVerb, ScriptOnAVcdAddsSignalsPropertiesCommentAndMeasurement) {
    const std::string script = write("edit.txt", "# stimulus for the counter\n"
                                                 "add tb/start std_logic in\n"
                                                 "add tb/data std_logic_vector(3 downto 0) out\n"
                                                 "\n"
                                                 "set colour #FF8000 tb/start\n"
                                                 "select tb/data counter_tb/count\n"
                                                 "set radix hex\n"
                                                 "set height 30\n"
                                                 "set bold on tb/start\n"
                                                 "set stimulator \"clock 10 ns\" tb/start\n"
                                                 "comment tb/start 10ns first edge, of two\n"
                                                 "measure counter_tb/clk 5 ns tb/start 25ns\n"
                                                 "save\n");
    const std::string out = path("out.awf");
    const RunResult edit = runProgram("edit " + m_vcd + " -o " + out + " --script " + script);
    ASSERT_EQ(edit.exitCode, 0) << edit.output;
    EXPECT_EQ(edit.output, "");

    const RunResult info = runProgram("info --json " + out);
    ASSERT_EQ(info.exitCode, 0) << info.output;
    const std::string start =
        R"({"name":"tb/start","type":"std_logic","typeString":"e#9#std_logicc9 UX01ZWLH-",)"
        R"("mode":"in",)";
    EXPECT_NE(info.output.find(start), std::string::npos) << info.output;
    EXPECT_NE(info.output.find(R"("properties":{"Bold":"1","Color":"33023",)"
                               R"("Stimulator":"clock 10 ns"},"annotations":[{"time":"10 ns",)"
                               R"("timePs":10000,"key":"Comment","text":"first edge, of two"}])"),
              std::string::npos)
        << info.output;
    EXPECT_NE(info.output.find(R"j("name":"tb/data","type":"std_logic_vector(3 downto 0)")j"),
              std::string::npos);
    EXPECT_NE(info.output.find(R"("mode":"out","endTime")"), std::string::npos);
    EXPECT_NE(info.output.find(R"j("name":"tb/data(0)")j"), std::string::npos);
    EXPECT_NE(info.output.find(R"("properties":{"Height":"30","Radix":"16"})"), std::string::npos)
        << info.output;
    EXPECT_NE(info.output.find(R"("key":"Measurement","text":"20 ns to tb/start at 25 ns")"),
              std::string::npos)
        << info.output;
    EXPECT_EQ(listing().find(".edit-"), std::string::npos) << listing();
}

TEST_F(EditVerb, CommandsGivenWithEEditTheInputInPlace) {
    const std::string awf = makeAwf();
    const RunResult edit = runProgram("edit " + awf +
                                      " -e 'rename counter_tb/count total' -e 'add flag bit'"
                                      " -e 'set shape literal flag' -e 'remove counter_tb/rst'");
    ASSERT_EQ(edit.exitCode, 0) << edit.output;
    const RunResult info = runProgram("info " + awf);
    EXPECT_NE(info.output.find("counter_tb/total : std_logic_vector(7 downto 0)"),
              std::string::npos)
        << info.output;
    EXPECT_NE(info.output.find("flag : bit  [signal]"), std::string::npos);
    EXPECT_NE(info.output.find("properties: Shape=2"), std::string::npos);
    EXPECT_EQ(info.output.find("counter_tb/rst"), std::string::npos);
    // The events of the renamed signal came along.
    const RunResult events = runProgram("events " + awf + " counter_tb/total --to 15ns");
    EXPECT_EQ(events.output, "0 ps             UUUUUUUU\n5000 ps          00000000\n"
                             "15 ns            00000001\n");
}

TEST_F(EditVerb, GroupingSelectsTheNewBusForTheNextCommands) {
    const std::string awf = makeAwf();
    const RunResult edit = runProgram("edit " + awf +
                                      " -e 'select counter_tb/rst counter_tb/clk' -e group"
                                      " -e 'set bold on' -e 'select all' -e 'set height 40'");
    ASSERT_EQ(edit.exitCode, 0) << edit.output;
    const RunResult info = runProgram("info " + awf);
    EXPECT_NE(info.output.find("  VBUS1 : Virtual Bus  [unspecified]  end 200 ns, 42 events\n"
                               "    properties: Bold=1, Height=40, VBus=1\n"
                               "    counter_tb/rst : std_logic"),
              std::string::npos)
        << info.output;
    EXPECT_NE(info.output.find("    counter_tb/clk : std_logic"), std::string::npos);
}

TEST_F(EditVerb, RemovingASignalTakesItsCommentsAndMeasurementsAlong) {
    const std::string awf = makeAwf();
    const RunResult edit =
        runProgram("edit " + awf +
                   " -e 'comment counter_tb/rst 5ns reset' -e 'comment counter_tb/clk 5ns tick'"
                   " -e 'measure counter_tb/clk 0 counter_tb/rst 10ns'"
                   " -e 'measure counter_tb/clk 10ns 20ns' -e 'remove counter_tb/rst'");
    ASSERT_EQ(edit.exitCode, 0) << edit.output;
    const RunResult info = runProgram("info " + awf);
    EXPECT_NE(info.output.find("Comment at 5000 ps: tick\n"
                               "    Measurement at 10 ns: 10 ns to counter_tb/clk at 20 ns\n"),
              std::string::npos)
        << info.output;
    EXPECT_EQ(info.output.find("reset"), std::string::npos);
    EXPECT_EQ(info.output.find("Measurement at 0 ps"), std::string::npos);
}

TEST_F(EditVerb, ASaveToAFileKeepsTheDocumentAsItWasThen) {
    const std::string awf = makeAwf();
    const std::string snapshot = path("snapshot.awf");
    const RunResult edit =
        runProgram("edit " + awf + " -o " + path("out.awf") + " -e 'add early bit' -e 'save " +
                   snapshot + "' -e 'add late bit'");
    ASSERT_EQ(edit.exitCode, 0) << edit.output;
    const RunResult then = runProgram("info " + snapshot);
    EXPECT_NE(then.output.find("early : bit"), std::string::npos) << then.output;
    EXPECT_EQ(then.output.find("late : bit"), std::string::npos);
    EXPECT_NE(runProgram("info " + path("out.awf")).output.find("late : bit"), std::string::npos);
}

TEST_F(EditVerb, AScriptFromTheStandardInputWithQuotesUnitsAndMixedCase) {
    const std::string awf = makeAwf();
    fs::permissions(awf, fs::perms(0640));
    const std::string script =
        write("edit.txt", "  # quoted words, a time in two words\n"
                          "SELECT \"counter_tb/count\"\n"
                          "Set Stimulator \"clock \"\"fast\"\"\"\n"
                          "set range 10 200\n"
                          "comment counter_tb/count 1.5 us  says \"hi\"  \n");
    const RunResult edit = runProgram("edit " + awf + " --script - < " + script);
    ASSERT_EQ(edit.exitCode, 0) << edit.output;
    const RunResult info = runProgram("info " + awf);
    EXPECT_NE(info.output.find("properties: Analog range=10.000 200.00, "
                               "Stimulator=clock \"fast\"\n"
                               "    Comment at 1500 ns: says \"hi\"\n"),
              std::string::npos)
        << info.output;
    // An edit in place keeps the file's permissions.
    EXPECT_EQ(fs::status(awf).permissions() & fs::perms::all, fs::perms(0640));
}

TEST_F(EditVerb, EachPropertyIsSavedAsTheWindowSavesIt) {
    struct Case {
        std::string commands;
        std::string properties; // of counter_tb/count; empty: none differ from the defaults
    };
    const Case cases[] = {
        {"-e 'set radix bin'", "Radix=2"},
        {"-e 'set radix hex' -e 'set radix default'", ""},
        {"-e 'set colour red'", "Color=255"},
        {"-e 'set color #0000FF' -e 'set colour auto'", ""},
        {"-e 'set shape analog'", "Shape=1"},
        {"-e 'set reverse on'", "Inverted=1"},
        {"-e 'set range 0 255'", ""}, // the type's own range
        {"-e 'set range 3 7'", "Analog range=3.0000 7.0000"},
        {"-e 'set range 3 7' -e 'set range auto'", ""},
        {"-e 'set bold on' -e 'set bold off' -e 'set height 22'", ""},
    };
    const std::string awf = makeAwf();
    for (const Case& each : cases) {
        const std::string out = path("out.awf");
        const RunResult edit = runProgram("edit " + awf + " -o " + out +
                                          " -e 'select counter_tb/count' " + each.commands);
        ASSERT_EQ(edit.exitCode, 0) << each.commands << "\n" << edit.output;
        const std::string info = runProgram("info " + out).output;
        const std::size_t at = info.find("counter_tb/count :");
        const std::size_t next = info.find("counter_tb/up :");
        ASSERT_NE(at, std::string::npos);
        const std::string shown = info.substr(at, next - at);
        if (each.properties.empty())
            EXPECT_EQ(shown.find("properties:"), std::string::npos) << each.commands << shown;
        else
            EXPECT_NE(shown.find("properties: " + each.properties + "\n"), std::string::npos)
                << each.commands << "\n"
                << shown;
    }
}

TEST_F(EditVerb, ABadCommandNamesItsLineAndLeavesEveryFileAsItWas) {
    struct Case {
        std::string line;
        std::string message;
    };
    const Case cases[] = {
        {"fil value 1", "edit.txt:4: unknown command 'fil'"},
        {"fill colour 1", "edit.txt:4: fill: expected value|clock|formula, got 'colour'"},
        {"select nosuch", "edit.txt:4: select: no signal 'nosuch'"},
        {"stretch 0", "edit.txt:4: stretch: expected PERCENT (a whole number from 1 to 10000), "
                      "got '0'"},
        {"fill value 2", "edit.txt:4: fill value: Wrong value format for signal: counter_tb/clk"},
        {"fill clock 10ns width 120", "edit.txt:4: fill clock: expected WIDTH"},
        {"fill formula '0' 0 ns, '1' 5 ns -r 3 ns", "edit.txt:4: fill formula: The repeat period"},
        {"set height 60", "edit.txt:4: set: expected HEIGHT (a whole number from 22 to 50)"},
        {"set range 0 300 counter_tb/count",
         "edit.txt:4: set: 'counter_tb/count': Maximum range is from 0 to 255"},
        {"add 2x std_logic", "edit.txt:4: add: Invalid signal name."},
        {"rename counter_tb/rst clk", "edit.txt:4: rename: Signal already exists."},
        {"comment counter_tb/clk 10 ns", "edit.txt:4: comment: missing TEXT"},
        {"paste counter_tb/clk 0", "edit.txt:4: paste: nothing to paste"},
        {"add s \"std_logic", "edit.txt:4: the quote opened in column 7 is not closed"},
        {"save copy.vcd", "edit.txt:4: save: " + path("copy.vcd") + ": only waveform files"},
    };
    const std::string awf = makeAwf();
    const std::string before = read(awf);
    for (const Case& each : cases) {
        std::string line = each.line;
        if (line.starts_with("save "))
            line = "save " + path(line.substr(5));
        const std::string script = write("edit.txt", "save " + path("early.awf") +
                                                         "\nselect counter_tb/clk\n"
                                                         "select time 10ns 50ns\n" +
                                                         line + "\nadd later bit\n");
        const RunResult edit =
            runProgram("edit " + awf + " -o " + path("out.awf") + " --script " + script);
        EXPECT_EQ(edit.exitCode, 1) << each.line;
        EXPECT_EQ(edit.output.rfind(path(each.message), 0), 0) << each.line << "\n" << edit.output;
        EXPECT_EQ(read(awf), before) << each.line;
        EXPECT_EQ(listing(), "counter.awf edit.txt ") << each.line;
    }
}

TEST_F(EditVerb, AFailingCommandOfEIsNamedByItsPositionAndLeavesTheFile) {
    const std::string awf = makeAwf();
    const std::string before = read(awf);
    const RunResult edit = runProgram("edit " + awf + " -e 'add x bit' -e 'set bold maybe x'");
    EXPECT_EQ(edit.exitCode, 1);
    EXPECT_EQ(edit.output, "-e:2: set: expected SWITCH (on|off), got 'maybe' "
                           "(usage: set bold on|off [SIGNAL...])\n");
    EXPECT_EQ(read(awf), before);
    const RunResult undo = runProgram("edit " + awf + " -e undo");
    EXPECT_EQ(undo.exitCode, 1);
    EXPECT_NE(undo.output.find("-e:1: undo: nothing to undo"), std::string::npos) << undo.output;
    EXPECT_EQ(read(awf), before);
}

TEST_F(EditVerb, BadUsageExitsWithTwo) {
    const std::string awf = makeAwf();
    const std::string script = write("edit.txt", "add x bit\n");
    const std::string arguments[] = {
        m_vcd + " -e 'add x bit'",                          // a VCD is not written back
        awf + " -o " + path("out.vcd") + " -e 'add x bit'", // nor written at all
        awf,                                                // no commands
        awf + " --script " + script + " -e 'add x bit'",    // two sources of commands
        awf + " " + awf + " -e 'add x bit'",                // two inputs
        awf + " --frobnicate -e 'add x bit'",               // unknown option
    };
    for (const std::string& each : arguments) {
        const RunResult edit = runProgram("edit " + each);
        EXPECT_EQ(edit.exitCode, 2) << each << "\n" << edit.output;
    }
    const RunResult missing = runProgram("edit " + awf + " --script " + path("none.txt"));
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.output.find("none.txt: cannot read the script"), std::string::npos);
}

// A script's waveform commands, checked through the events verb: each command is one undo step,
// and undo/redo replay them.
TEST_F(EditVerb, WaveformCommandsFillStretchInsertPasteAndUndo) {
    const std::string script = write("wave.txt", "add stim std_logic in\n"
                                                 "add bus std_logic_vector(7 downto 0) in\n"
                                                 "select stim\n"
                                                 "select time 0 100ns\n"
                                                 "fill clock 20ns low\n"
                                                 "select bus\n"
                                                 "fill value x\"A5\"\n"
                                                 "select time 40ns 60ns\n"
                                                 "fill formula x\"17\" 0 ns, x\"3C\" 5 ns\n"
                                                 "select stim\n"
                                                 "stretch 200 insert\n"
                                                 "select bus\n"
                                                 "select time 40ns 50ns\n"
                                                 "copy\n"
                                                 "paste bus 80ns\n"
                                                 "insert time 5ns at 0\n"
                                                 "undo\n"
                                                 "undo\n"
                                                 "redo\n"
                                                 "save\n");
    const std::string out = path("wave.awf");
    const RunResult edit = runProgram("edit " + m_vcd + " -o " + out + " --script " + script);
    ASSERT_EQ(edit.exitCode, 0) << edit.output;

    // The clock, its [40, 60) stretched to [40, 80) pushing the rest later; insert time undone.
    const RunResult stim = runProgram("events " + out + " stim");
    EXPECT_EQ(stim.output, "0 ps             0\n10 ns            1\n20 ns            0\n"
                           "30 ns            1\n40 ns            0\n60 ns            1\n"
                           "80 ns            0\n90 ns            1\n100 ns           0\n"
                           "110 ns           1\n");
    // The formula's piece [40, 50) pasted again at 80.
    const RunResult bus = runProgram("events " + out + " bus --radix hex");
    EXPECT_EQ(bus.output, "0 ps             A5\n40 ns            17\n45 ns            3C\n"
                          "60 ns            A5\n80 ns            17\n85 ns            3C\n"
                          "90 ns            A5\n");
}

} // namespace
