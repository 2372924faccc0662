// Integration with a real simulator: GHDL simulates a small design of ours, the importer reads
// its VCD, and the values at chosen times must be those the design produces. A round trip
// through the exporter must give back the same values at every event.

#include "VcdTestUtil.h"
#include "storage/evstream/EventStore.h"
#include "storage/vcd/KVcdReader.h"
#include "storage/vcd/KVcdWriter.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>

using vcdtest::expectSameEvents;
using vcdtest::kData;
using vcdtest::logic;
using vcdtest::RecordingStreamWrite;
using vcdtest::ReplayStreamRead;

namespace {

using Bytes = std::vector<std::uint8_t>;

template <typename T> Bytes bytesOf(T value) {
    Bytes bytes(sizeof value);
    std::memcpy(bytes.data(), &value, sizeof value);
    return bytes;
}

// The value of a signal at a time: that of its last event at or before it.
Bytes valueAt(const RecordingStreamWrite& sink, const std::string& name, SimTime time) {
    SignalHandle handle = sink.handleOf(name);
    Bytes value;
    for (const auto& [at, bytes] : sink.eventsOf(handle))
        if (at <= time)
            value = bytes;
    return value;
}

constexpr SimTime ns(SimTime n) {
    return n * 1000;
}

// What counter_tb must produce: rising edges at 5, 15, 25 ... ns; reset until 12 ns.
void expectCounterValues(const RecordingStreamWrite& sink) {
    for (SimTime k = 1; k <= 12; ++k) {
        SimTime t = ns(5 + 10 * k) + 1;
        std::string count;
        for (int bit = 7; bit >= 0; --bit)
            count += ((k >> bit) & 1) ? '1' : '0';
        EXPECT_EQ(valueAt(sink, "counter_tb/count", t), logic(count)) << t;
        EXPECT_EQ(valueAt(sink, "counter_tb/n", t), bytesOf<std::int32_t>(static_cast<int>(k) - 3));
        EXPECT_EQ(valueAt(sink, "counter_tb/r", t), bytesOf<double>(0.5 * static_cast<double>(k)));
        EXPECT_EQ(valueAt(sink, "counter_tb/b", t), logic(k % 2 ? "1" : "0"));
        std::string up; // up(0 to 3) <= count(3 downto 0) of the edge before
        for (int bit = 3; bit >= 0; --bit)
            up += (((k - 1) >> bit) & 1) ? '1' : '0';
        EXPECT_EQ(valueAt(sink, "counter_tb/up", t), logic(up)) << t;
    }
    EXPECT_EQ(valueAt(sink, "counter_tb/count", ns(4)), logic("UUUUUUUU"));
    EXPECT_EQ(valueAt(sink, "counter_tb/up", ns(4)), logic("ZZZZ"));
    EXPECT_EQ(valueAt(sink, "counter_tb/rst", ns(11)), logic("1"));
    EXPECT_EQ(valueAt(sink, "counter_tb/rst", ns(12)), logic("0"));
    for (auto [at, state] :
         {std::pair{ns(30), "H"}, {ns(33), "L"}, {ns(44), "W"}, {ns(55), "-"}, {ns(70), "X"}})
        EXPECT_EQ(valueAt(sink, "counter_tb/weak", at), logic(state)) << at;
    EXPECT_EQ(sink.typeStrings.at(sink.handleOf("counter_tb/up")),
              "a#16#std_logic_vector1(0t3)e#9#std_logicc9 UX01ZWLH-");
}

void roundTrip(const RecordingStreamWrite& first, const std::string& path) {
    ReplayStreamRead replay(first);
    KVcdWriter().write(replay, path);
    RecordingStreamWrite second;
    KVcdReader(path).importInto(second);
    expectSameEvents(first, second);
    std::filesystem::remove(path);
}

TEST(VcdGhdl, GoldenGhdlFileHasTheDesignsValues) {
    RecordingStreamWrite sink;
    KVcdImportSummary summary = KVcdReader(kData + "ghdl_counter.vcd").importInto(sink);
    EXPECT_EQ(summary.timescale, "1 fs");
    EXPECT_EQ(summary.roundedTimes, 0);
    expectCounterValues(sink);
    roundTrip(sink, (std::filesystem::temp_directory_path() / "tessel-ghdl-golden.vcd").string());
}

TEST(VcdGhdl, FreshSimulationImportsAndRoundTrips) {
    if (std::system("ghdl --version >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "ghdl is not installed (scripts/setup installs it)";
    auto work =
        std::filesystem::temp_directory_path() / ("tessel-ghdl-" + std::to_string(::getpid()));
    std::filesystem::create_directories(work);
    std::string command = "cd '" + work.string() + "' && ghdl -a --std=08 '" + kData +
                          "counter_tb.vhd' && ghdl -e --std=08 counter_tb && "
                          "ghdl -r --std=08 counter_tb --vcd=out.vcd --stop-time=250ns "
                          ">/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    RecordingStreamWrite sink;
    KVcdReader((work / "out.vcd").string()).importInto(sink);
    expectCounterValues(sink);
    roundTrip(sink, (work / "back.vcd").string());
    vcdtest::expectSameThroughDatabase((work / "out.vcd").string(), sink);
    std::filesystem::remove_all(work);
}

// hier_tb: scopes of an instance, and femtosecond delays that round to picoseconds.
void expectHierValues(const RecordingStreamWrite& sink, const KVcdImportSummary& summary) {
    EXPECT_NE(sink.handleOf("hier_tb/u_child/q"), kNoSignal);
    EXPECT_NE(sink.handleOf("hier_tb/u_child/inner"), kNoSignal);
    EXPECT_EQ(summary.roundedTimes, 4) << "1.5, 11.5, 21.5 and 31.5 ps";
    EXPECT_EQ(valueAt(sink, "hier_tb/u_child/q", 11), logic("01"));
    EXPECT_EQ(valueAt(sink, "hier_tb/u_child/q", 12), logic("11")) << "11.5 ps rounds up";
    EXPECT_EQ(valueAt(sink, "hier_tb/result", 22), logic("00"));
    EXPECT_EQ(valueAt(sink, "hier_tb/u_child/inner", 32), logic("Z"));
    EXPECT_EQ(sink.lastSetTime, 32);
}

TEST(VcdGhdl, GoldenHierarchyFileHasScopesAndRoundedTimes) {
    RecordingStreamWrite sink;
    expectHierValues(sink, KVcdReader(kData + "ghdl_hier.vcd").importInto(sink));
}

TEST(VcdGhdl, FreshHierarchySimulation) {
    if (std::system("ghdl --version >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "ghdl is not installed (scripts/setup installs it)";
    auto work =
        std::filesystem::temp_directory_path() / ("tessel-ghdl-hier-" + std::to_string(::getpid()));
    std::filesystem::create_directories(work);
    std::string command =
        "cd '" + work.string() + "' && ghdl -a --std=08 '" + kData +
        "hier_tb.vhd' && ghdl -e --std=08 hier_tb && "
        "ghdl -r --std=08 hier_tb --vcd=out.vcd --stop-time=100ps >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    RecordingStreamWrite sink;
    expectHierValues(sink, KVcdReader((work / "out.vcd").string()).importInto(sink));
    vcdtest::expectSameThroughDatabase((work / "out.vcd").string(), sink);
    std::filesystem::remove_all(work);
}

TEST(VcdGhdl, VerilogStyleFileAndItsGzipGiveTheSameEvents) {
    RecordingStreamWrite plain;
    RecordingStreamWrite packed;
    KVcdReader(kData + "verilog_style.vcd").importInto(plain);
    KVcdReader(kData + "verilog_style.vcd.gz").importInto(packed);
    expectSameEvents(plain, packed);
    EXPECT_EQ(plain.declarations[4].second.name, "tb/dut/clk_in");
    EXPECT_EQ(plain.declarations[4].second.sameEventsAs, plain.handleOf("tb/clk"));
    EXPECT_EQ(valueAt(plain, "tb/data", 50), logic("00001010"));
    EXPECT_EQ(valueAt(plain, "tb/i", 100), bytesOf<std::int32_t>(3));
    EXPECT_EQ(valueAt(plain, "tb/i", 250), bytesOf<std::int32_t>(INT32_MIN)) << "dumpoff: x";
    EXPECT_EQ(valueAt(plain, "tb/dut/bus[3]", 0), logic("Z"));
    EXPECT_EQ(plain.lastSetTime, 400);
    roundTrip(plain, (std::filesystem::temp_directory_path() / "tessel-verilog.vcd").string());
}

} // namespace
