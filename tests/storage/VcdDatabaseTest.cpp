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
    ASSERT_EQ(target.events.size(), direct.events.size());
    for (std::size_t i = 0; i < direct.events.size(); ++i) {
        EXPECT_EQ(target.events[i].time, direct.events[i].time);
        EXPECT_EQ(target.events[i].delta, direct.events[i].delta);
        EXPECT_EQ(target.events[i].handle, direct.events[i].handle);
        EXPECT_EQ(target.events[i].value, direct.events[i].value);
    }
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
