// VCD through the real event database: import into a .awf file, export that file back to VCD,
// and the values at every event must be those of the original VCD. Also the threaded sink that
// overlaps parsing with the database writer.

#include "VcdTestUtil.h"
#include "storage/KFileException.h"
#include "storage/evstream/EventStore.h"
#include "storage/vcd/KThreadedStreamWrite.h"
#include "storage/vcd/KVcdReader.h"
#include "storage/vcd/KVcdWriter.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

using vcdtest::expectSameEvents;
using vcdtest::kData;
using vcdtest::RecordingStreamWrite;
using vcdtest::tempPath;

namespace {

void importToDatabase(const std::string& vcd, const std::string& awf, bool threaded) {
    evstream::IEventsStreamWrite* stream = evstream::OpenStreamWrite(awf);
    if (threaded) {
        KThreadedStreamWrite pipe(*stream, 256, 2); // tiny blocks: many hand-overs
        KVcdReader(vcd).importInto(pipe);
        pipe.finish();
    } else {
        KVcdReader(vcd).importInto(*stream);
    }
    ASSERT_TRUE(stream->Release());
}

class VcdDatabase : public testing::TestWithParam<std::string> {};

TEST_P(VcdDatabase, VcdToDatabaseToVcdKeepsEveryValue) {
    for (bool threaded : {false, true}) {
        std::string awf = tempPath("round.awf");
        std::string back = tempPath("back.vcd");
        importToDatabase(kData + GetParam(), awf, threaded);
        evstream::IEventsStreamRead* stream = evstream::OpenStreamRead(awf);
        KVcdExportSummary summary = KVcdWriter().write(*stream, back);
        stream->Release();

        RecordingStreamWrite original;
        RecordingStreamWrite roundTrip;
        KVcdReader(kData + GetParam()).importInto(original);
        KVcdReader(back).importInto(roundTrip);
        expectSameEvents(original, roundTrip);
        EXPECT_EQ(summary.events, static_cast<std::int64_t>(original.events.size()));
        EXPECT_EQ(roundTrip.lastSetTime, original.lastSetTime);
        std::filesystem::remove(awf);
        std::filesystem::remove(back);
    }
}

INSTANTIATE_TEST_SUITE_P(Files, VcdDatabase,
                         testing::Values("ghdl_counter.vcd", "verilog_style.vcd.gz"));

// Buses of many widths whose parsed values go straight into the database's block log, over
// several blocks, with and without the writer thread, on every build of the parser: what the
// database holds is what the parser saw. Values wider than 64 digits, unknown digits, a
// repeated first change at a new time and a first value take the other ways in between.
TEST(VcdDatabase, BusValuesStoredByTheParserReadBackOnEveryPath) {
    const std::vector<int> widths = {1, 3, 8, 16, 17, 31, 32, 33, 48, 63, 64, 65, 100};
    std::string text = "$timescale 1ps $end\n";
    for (std::size_t i = 0; i < widths.size(); ++i)
        text += "$var wire " + std::to_string(widths[i]) + " v" + std::to_string(i) + " bus" +
                std::to_string(i) + " [" + std::to_string(widths[i] - 1) + ":0] $end\n";
    text += "$enddefinitions $end\n";
    std::uint64_t state = 7;
    for (int t = 0; t < 5000; ++t) {
        text += "#" + std::to_string(t) + "\n";
        for (std::size_t i = 0; i < widths.size(); ++i) {
            state = state * 6364136223846793005ull + 1442695040888963407ull;
            if ((state >> 60) < 3)
                continue;
            std::string digits(static_cast<std::size_t>(widths[i]), 'x');
            if ((state >> 58) % 16 != 0)
                for (std::size_t d = 0; d < digits.size(); ++d)
                    digits[d] = static_cast<char>('0' + ((state >> (d % 53)) & 1));
            text += "b" + digits + " v" + std::to_string(i) + "\n";
        }
    }
    const std::string vcd = tempPath("buses.vcd");
    std::ofstream(vcd, std::ios::binary) << text;
    RecordingStreamWrite original;
    KVcdReader(vcd).importInto(original);
    ASSERT_GT(original.events.size(), 40000u);
    struct Restore {
        ~Restore() { KVcdReader::setSimdLimit(KVcdReader::Simd::Avx512Vbmi2); }
    } restore;
    for (auto limit : {KVcdReader::Simd::Avx512Vbmi2, KVcdReader::Simd::Avx512,
                       KVcdReader::Simd::Avx2, KVcdReader::Simd::Sse2}) {
        KVcdReader::setSimdLimit(limit);
        for (bool thread : {false, true}) {
            SCOPED_TRACE(std::to_string(static_cast<int>(limit)) + (thread ? " thread" : ""));
            vcdtest::expectSameThroughDatabase(vcd, original, thread);
        }
    }
    std::filesystem::remove(vcd);
}

// A sink whose WriteValue fails after a number of events.
class FailingSink : public RecordingStreamWrite {
public:
    bool WriteValue(SignalHandle handle, const void* value, std::uint32_t size) override {
        if (events.size() >= 3)
            return false;
        return RecordingStreamWrite::WriteValue(handle, value, size);
    }
};

TEST(ThreadedStreamWrite, ReplaysEveryCallInOrder) {
    RecordingStreamWrite direct;
    RecordingStreamWrite target;
    KVcdReader(kData + "ghdl_counter.vcd").importInto(direct);
    {
        KThreadedStreamWrite pipe(target, 100, 2);
        KVcdReader(kData + "ghdl_counter.vcd").importInto(pipe);
        pipe.finish();
    }
    EXPECT_EQ(target.events, direct.events);
}

TEST(ThreadedStreamWrite, TargetFailureReachesTheCaller) {
    FailingSink target;
    KThreadedStreamWrite pipe(target, 64, 1);
    EXPECT_THROW(
        {
            KVcdReader(kData + "ghdl_counter.vcd").importInto(pipe);
            pipe.finish();
        },
        KFileException);
}

} // namespace
