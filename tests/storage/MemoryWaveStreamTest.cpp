#include "storage/MemoryWaveStream.h"

#include "EventStoreTestUtil.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <numeric>
#include <random>
#include <vector>

namespace {

// Streams destroy themselves on their last Release; the tests hold them through this.
struct ReleaseStream {
    template <typename Stream> void operator()(Stream* stream) const { stream->Release(); }
};
using WritePtr = std::unique_ptr<KMemoryWaveStreamWrite, ReleaseStream>;
using ReadPtr = std::unique_ptr<KMemoryWaveStreamRead, ReleaseStream>;

WritePtr makeWriter() {
    return WritePtr(new KMemoryWaveStreamWrite());
}
ReadPtr snapshotOf(const WritePtr& writer) {
    return ReadPtr(writer->snapshot());
}

using evstream::test::Event;
using evstream::test::readAll;

void writeByte(KMemoryWaveStreamWrite& writer, SignalHandle handle, std::uint8_t byte) {
    std::uint64_t value = byte; // the usual 8-byte inline value
    ASSERT_TRUE(writer.WriteValue(handle, &value, sizeof value));
}

std::vector<std::uint8_t> word(std::uint8_t byte) {
    std::vector<std::uint8_t> value(8, 0);
    value[0] = byte;
    return value;
}

TEST(MemoryWaveStream, EventsComeBackInKeyOrderAndEqualKeysInTheOrderWritten) {
    auto writer = makeWriter();
    writer->SetTime(7);
    writeByte(*writer, 2, 20);
    writeByte(*writer, 1, 10);
    writeByte(*writer, 2, 21);
    writer->SetTime(5); // an earlier time written later is read first
    writeByte(*writer, 1, 2);
    writer->SetDelta(4);
    writer->SetTime(7); // a new time, or the same one again, restarts at delta 0
    writer->SetDelta(4);
    writer->SetTime(7);
    writeByte(*writer, 1, 3); // equal to the first keys: goes after them
    writer->SetTime(3);
    writer->SetDelta(2);
    writeByte(*writer, 1, 4);
    writer->SetDelta(1);
    writeByte(*writer, 1, 5);
    writer->SetTime(-4); // negative times order as signed numbers
    writeByte(*writer, 1, 6);
    auto reader = snapshotOf(writer);
    EXPECT_EQ(readAll(reader.get()), (std::vector<Event>{{-4, 0, 1, word(6)},
                                                         {3, 1, 1, word(5)},
                                                         {3, 2, 1, word(4)},
                                                         {5, 0, 1, word(2)},
                                                         {7, 0, 2, word(20)},
                                                         {7, 0, 1, word(10)},
                                                         {7, 0, 2, word(21)},
                                                         {7, 0, 1, word(3)}}));
}

TEST(MemoryWaveStream, ASnapshotDoesNotSeeLaterWrites) {
    auto writer = makeWriter();
    writer->SetTime(10);
    writeByte(*writer, 1, 1);
    auto reader = snapshotOf(writer);
    writer->SetTime(5);
    writeByte(*writer, 1, 2);
    EXPECT_EQ(readAll(reader.get()), (std::vector<Event>{{10, 0, 1, word(1)}}));
    EXPECT_EQ(reader->GetEndTime(), 10);
    EXPECT_EQ(readAll(snapshotOf(writer).get()).size(), 2u);
    // The end time is that of the last event, not of the last write; nothing written ends at 0.
    EXPECT_EQ(snapshotOf(writer)->GetEndTime(), 10);
    EXPECT_EQ(snapshotOf(makeWriter())->GetEndTime(), 0);
}

TEST(MemoryWaveStream, ValuesOfEverySizeRoundTripExactly) {
    for (std::uint32_t size : {0u, 1u, 4u, 8u, 9u, 64u, 1000u}) {
        SCOPED_TRACE(size);
        std::vector<std::uint8_t> bytes(size);
        std::iota(bytes.begin(), bytes.end(), std::uint8_t{3});
        auto writer = makeWriter();
        ASSERT_TRUE(writer->WriteValue(4, bytes.data(), size));
        auto reader = snapshotOf(writer);
        EXPECT_EQ(readAll(reader.get()), (std::vector<Event>{{0, 0, 4, bytes}}));
    }
    // A null value is refused unless it is empty.
    auto writer = makeWriter();
    EXPECT_FALSE(writer->WriteValue(1, nullptr, 8));
    EXPECT_TRUE(writer->WriteValue(1, nullptr, 0));
    EXPECT_EQ(writer->eventCount(), 1u);
}

TEST(MemoryWaveStream, NothingIsReadBeforeARewindAndEveryRewindRestartsAtTheFirstEvent) {
    auto writer = makeWriter();
    for (SimTime t : {10, 20, 30}) {
        writer->SetTime(t);
        writeByte(*writer, 1, 0);
    }
    auto reader = snapshotOf(writer);
    std::uint64_t value = 0;
    EXPECT_EQ(reader->ReadNextEvent(), kNoSignal);
    EXPECT_FALSE(reader->ReadNextEventOf(1, &value));
    EXPECT_EQ(reader->SkipTo(0), kNoTime);
    EXPECT_EQ(reader->GetValueSize(), 0u);
    EXPECT_TRUE(reader->GetValue(&value));

    EXPECT_TRUE(reader->Rewind(25));
    EXPECT_EQ(reader->ReadNextEvent(), 1);
    EXPECT_EQ(reader->GetTime(), 10);
    reader->ReadNextEvent();
    reader->ReadNextEvent();
    EXPECT_EQ(reader->ReadNextEvent(), kNoSignal);
    EXPECT_EQ(reader->GetTime(), 30); // the end changes nothing
    EXPECT_TRUE(reader->Rewind(0));
    reader->ReadNextEvent();
    EXPECT_EQ(reader->GetTime(), 10);
}

TEST(MemoryWaveStream, SkipToStopsAtTheFirstEventAtOrAfterTheTimeWithoutReading) {
    auto writer = makeWriter();
    for (SimTime t : {10, 20, 20, 30}) {
        writer->SetTime(t);
        writeByte(*writer, static_cast<SignalHandle>(t), 0);
    }
    auto reader = snapshotOf(writer);
    reader->Rewind(0);
    EXPECT_EQ(reader->SkipTo(15), 20);
    EXPECT_EQ(reader->GetTime(), 0); // nothing read yet
    EXPECT_EQ(reader->SkipTo(20), 20);
    EXPECT_EQ(reader->SkipTo(5), 20); // never backwards
    EXPECT_EQ(reader->ReadNextEvent(), 20);
    EXPECT_EQ(reader->SkipTo(31), kNoTime);
    EXPECT_EQ(reader->ReadNextEvent(), kNoSignal);
}

// Its writers refuse declarations (asserted through the write handle); its readers have no
// signal tree, file or refresh.
TEST(MemoryWaveStream, ReadersHaveOnlyTimesDeltasAndValues) {
    auto writer = makeWriter();
    evstream::SignalInfo info;
    info.name = "clk";
    writeByte(*writer, 1, 0);
    auto reader = snapshotOf(writer);
    evstream::Annotation annotation;
    EXPECT_EQ(reader->GetRootCount(), 0);
    EXPECT_EQ(reader->GetRoot(0), kNoSignal);
    EXPECT_EQ(reader->GetChild(1, 0), kNoSignal);
    EXPECT_FALSE(reader->GetSignalInfo(1, info));
    EXPECT_EQ(info.name, "clk"); // untouched
    EXPECT_EQ(reader->GetProperty(1, "Radix"), "");
    EXPECT_EQ(reader->GetTypeInfoString(1), "");
    EXPECT_EQ(reader->GetAnnotationCount(1), 0);
    EXPECT_FALSE(reader->GetAnnotation(1, 0, annotation));
    EXPECT_EQ(reader->GetFileName(), "");
    EXPECT_FALSE(reader->Refresh());
}

TEST(MemoryWaveStream, ClonesReadIndependently) {
    auto writer = makeWriter();
    for (SimTime t : {1, 2, 3}) {
        writer->SetTime(t);
        writeByte(*writer, 1, static_cast<std::uint8_t>(t));
    }
    auto first = snapshotOf(writer);
    first->Rewind(0);
    first->ReadNextEvent();
    first->ReadNextEvent();
    ReadPtr second(first->clone());
    EXPECT_EQ(second->ReadNextEvent(), kNoSignal); // its own cursor, not yet rewound
    EXPECT_EQ(readAll(second.get()).size(), 3u);
    EXPECT_EQ(first->ReadNextEvent(), 1);
    EXPECT_EQ(first->GetTime(), 3);
    first.reset(); // the clone keeps the events alive
    EXPECT_EQ(readAll(second.get()).back(), (Event{3, 0, 1, word(3)}));
}

// A replay of random writes (times going back and forth, repeated keys, values of many sizes)
// against the simplest model: every event with its write number, stably sorted by key.
TEST(MemoryWaveStream, RandomWritesMatchASortedModel) {
    std::mt19937 random(20261205);
    auto writer = makeWriter();
    std::vector<Event> model;
    std::vector<std::pair<ReadPtr, std::vector<Event>>> snapshots;
    auto sortedModel = [&model] {
        std::vector<Event> sorted = model;
        std::stable_sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) {
            return std::pair(a.time, a.delta) < std::pair(b.time, b.delta);
        });
        return sorted;
    };
    for (int step = 0; step < 5000; ++step) {
        const unsigned action = random() % 100;
        if (action < 10) {
            writer->SetTime(static_cast<SimTime>(random() % 200));
        } else if (action < 20) {
            writer->SetTime(writer->GetTime() + static_cast<SimTime>(random() % 5));
        } else if (action < 28) {
            writer->SetDelta(static_cast<DeltaCycle>(random() % 4));
        } else if (action < 30) {
            snapshots.emplace_back(snapshotOf(writer), sortedModel());
        } else {
            const std::uint32_t size = std::array{1u, 4u, 8u, 8u, 8u, 16u, 64u}[random() % 7];
            std::vector<std::uint8_t> value(size);
            for (auto& byte : value)
                byte = static_cast<std::uint8_t>(random());
            const auto handle = static_cast<SignalHandle>(random() % 6);
            ASSERT_TRUE(writer->WriteValue(handle, value.data(), size));
            model.push_back({writer->GetTime(), writer->GetDelta(), handle, value});
        }
    }
    ASSERT_GT(snapshots.size(), 10u);
    for (auto& [reader, expected] : snapshots)
        ASSERT_EQ(readAll(reader.get()), expected);
    EXPECT_EQ(readAll(snapshotOf(writer).get()), sortedModel());
}

} // namespace
