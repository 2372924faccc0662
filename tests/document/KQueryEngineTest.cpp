// Hand-picked cases of the start value and of merging, requests and bad sources. Segment layouts
// (changes of source, gaps, offsets, constant segments), buses and merging across segments are
// checked against a reference in KQueryEngineRandomTest, which also checks that a provider stopping
// one signal leaves the others as they are alone.

#include "QueryTestUtil.h"
#include "storage/KFileException.h"

#include <cstdio>
#include <gtest/gtest.h>

using namespace querytest;

namespace {

Lines run(const KDoc& doc, SimTime start, std::vector<std::pair<SignalHandle, SimTime>> signals,
          int limit = 1 << 30) {
    RecordingProvider provider(doc, start, limit);
    for (auto [handle, distance] : signals)
        provider.addSignal(handle, distance);
    provider.run();
    return provider.lines;
}

} // namespace

TEST(KQueryEngine, StartValueIsTheLastEventAtOrBeforeTheStart) {
    KDoc doc;
    const auto source = memorySource({{10, 0, 0, 1}, {20, 0, 0, 2}, {20, 1, 0, 3}, {30, 0, 0, 4}});
    const SignalHandle s = addLeaf(doc, {segmentOver(0, 100, source)});
    EXPECT_EQ(run(doc, 15, {{s, 0}}), (Lines{"1 start 10=1.", "1 20=2.", "1 20+1=3.", "1 30=4."}));
    // Every delta at the start time belongs to the start value, which then lies at the start.
    EXPECT_EQ(run(doc, 20, {{s, 0}}), (Lines{"1 start 20+1=3. at-start", "1 30=4."}));
    EXPECT_EQ(run(doc, 5, {{s, 0}}),
              (Lines{"1 none", "1 10=1.", "1 20=2.", "1 20+1=3.", "1 30=4."}));
    EXPECT_EQ(run(doc, 30, {{s, 0}}), (Lines{"1 start 30=4. at-start"}));
}

TEST(KQueryEngine, SignalsWithoutSourcesHaveNoStartValueAndNoEvents) {
    KDoc doc;
    const SignalHandle empty = addLeaf(doc, {});
    const SignalHandle blank = addLeaf(doc, {KEventSegment({0, 0}, {50, 0}, {}, kNoSignal)});
    const SignalHandle unknownSignal = addLeaf(doc, {segmentOver(0, 50, memorySource({}), 7)});
    EXPECT_EQ(run(doc, 0, {{empty, 0}, {blank, 0}, {unknownSignal, 0}, {99, 0}}),
              (Lines{"1 none", "2 none", "3 none", "99 none"}));
}

TEST(KQueryEngine, StartValuesComeFirstThenEachSignalInTurn) {
    KDoc doc;
    const SignalHandle a =
        addLeaf(doc, {segmentOver(0, 100, memorySource({{5, 0, 0, 1}, {20, 0, 0, 2}}))});
    const SignalHandle b = addLeaf(doc, {segmentOver(0, 100, memorySource({{10, 0, 0, 7}}))});
    EXPECT_EQ(run(doc, 0, {{a, 0}, {b, 0}, {a, 0}}),
              (Lines{"1 none", "2 none", "1 5=1.", "1 20=2.", "2 10=7."}));
}

TEST(KQueryEngine, MergeDistanceFoldsCloseEventsLatestValueWins) {
    KDoc doc;
    const auto source = memorySource({{100, 0, 0, 1},
                                      {101, 0, 0, 2},
                                      {105, 0, 0, 3},
                                      {150, 0, 0, 4},
                                      {200, 0, 0, 5},
                                      {203, 0, 0, 6}});
    const SignalHandle s = addLeaf(doc, {segmentOver(0, 1000, source)});
    // 100 is far from the start; 101 and 105 fold into one merged change at 101, delivered before
    // 150; 203 stays pending alone until the end of the events.
    EXPECT_EQ(run(doc, 0, {{s, 10}}),
              (Lines{"1 none", "1 100=1.", "1 101=3. merged", "1 150=4.", "1 200=5.", "1 203=6."}));
    // Close to the start, the first event is already folded.
    EXPECT_EQ(run(doc, 95, {{s, 10}}),
              (Lines{"1 none", "1 100=3. merged", "1 150=4.", "1 200=5.", "1 203=6."}));
    // A merged change stops where the provider says.
    EXPECT_EQ(run(doc, 0, {{s, 5}}, 2), (Lines{"1 none", "1 100=1.", "1 101=3. merged"}));
}

TEST(KQueryEngine, MergeDistanceZeroLosesNothing) {
    KDoc doc;
    std::vector<SourceEvent> events;
    Lines expected{"1 none"};
    for (int i = 1; i <= 50; ++i) {
        events.push_back({i, 0, 0, static_cast<std::uint8_t>(i)});
        expected.push_back("1 " + std::to_string(i) + "=" + std::to_string(i) + ".");
    }
    const SignalHandle s = addLeaf(doc, {segmentOver(0, 1000, memorySource(events))});
    EXPECT_EQ(run(doc, 0, {{s, 0}}), expected);
    // A repeated request keeps the smaller distance.
    EXPECT_EQ(run(doc, 0, {{s, 10}, {s, 0}}), expected);
}

TEST(KQueryEngine, LongValuesAreSharedThroughTheRecord) {
    KDoc doc;
    KEventsWriteHandle writer = KEventsWriteHandle::createMemory();
    const std::vector<std::uint8_t> bytes(32, 3);
    writer.setTime(10);
    writer.writeValue(0, bytes.data(), 32);
    KSignalRecordPtr record = KSignalRecord::create("wide");
    record->segments().insert(segmentOver(0, 100, KEventsReadHandle::fromWriter(writer)),
                              InsertForm::Overwrite);
    const SignalHandle s = doc.addRecord(record);
    struct Shared : KEventsProvider {
        using KEventsProvider::KEventsProvider;
        bool OnEvent(SignalHandle, const KEventRecord& record) override {
            flags = record.flags();
            size = record.value().size();
            return true;
        }
        std::uint16_t flags = 0;
        std::uint32_t size = 0;
    } provider(doc, 0);
    provider.addSignal(s);
    provider.run();
    EXPECT_EQ(provider.size, 32u); // a leaf without type gives its value as it is
    EXPECT_EQ(provider.flags & KEventRecord::kSharedBlock, KEventRecord::kSharedBlock);
}

TEST(KQueryEngine, DamagedDatabaseFileThrowsAndKeepsWhatWasDelivered) {
    TempPath file;
    std::vector<SourceEvent> events;
    for (int i = 0; i < 20000; ++i)
        events.push_back(
            {i * 10, 0, static_cast<SignalHandle>(i % 3), static_cast<std::uint8_t>(i)});
    const KEventsReadHandle source = databaseSource(file.path(), events);
    ASSERT_TRUE(source);
    // Scribble over the middle of the file, where the event blocks are.
    {
        std::FILE* stream = std::fopen(file.path().c_str(), "r+b");
        ASSERT_NE(stream, nullptr);
        std::fseek(stream, 0, SEEK_END);
        const long size = std::ftell(stream);
        std::fseek(stream, size / 4, SEEK_SET);
        const std::vector<char> garbage(static_cast<std::size_t>(size / 2), '\x5a');
        std::fwrite(garbage.data(), 1, garbage.size(), stream);
        std::fclose(stream);
    }
    KDoc doc;
    const SignalHandle s = addLeaf(doc, {segmentOver(0, 1'000'000, source)});
    RecordingProvider provider(doc, 0);
    provider.addSignal(s);
    EXPECT_THROW(provider.run(), KFileException);
}
