// Coarse folds checked against the events they fold (read exactly, with no merge distance):
// every delivery is a real event, folds end within an eighth of a merge distance after the exact
// rule, and where no summary serves nothing changes.

#include "QueryTestUtil.h"
#include "storage/evstream/EventStore.h"
#include "storage/query/KEventsQuery.h"

#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <random>

using namespace querytest;

namespace {

struct Delivery {
    EventKey key;
    std::uint8_t value = 0;
    bool merged = false;
};

class Collector final : public KEventsProvider {
public:
    using KEventsProvider::KEventsProvider;
    bool OnEvent(SignalHandle, const KEventRecord& record) override {
        got.push_back({record.key(), record.value().data()[0], record.isMerged()});
        return true;
    }
    std::vector<Delivery> got;
};

std::vector<Delivery> deliveries(const KDoc& doc, SignalHandle handle, SimTime start,
                                 SimTime distance, bool coarse) {
    Collector collector(doc, start);
    collector.setCoarseFolds(coarse);
    collector.addSignal(handle, distance);
    collector.run();
    return collector.got;
}

// A database writer with one signal "s0" (handle 0) declared, ready for events.
evstream::IEventsStreamWrite* openOneSignalWriter(const std::string& path) {
    evstream::IEventsStreamWrite* writer = evstream::OpenStreamWrite(path);
    writer->BeginDeclarations();
    evstream::SignalInfo info;
    info.name = "s0";
    writer->DeclareScalar(0, info);
    writer->EndDeclarations();
    return writer;
}

// Checks coarse deliveries against the signal's events; true when they differ from the exact
// engine's deliveries.
bool checkCoarse(const KDoc& doc, SignalHandle handle, SimTime start, SimTime distance) {
    const std::vector<Delivery> events = deliveries(doc, handle, start, 0, false);
    const std::vector<Delivery> got = deliveries(doc, handle, start, distance, true);
    std::size_t at = 0;
    for (std::size_t i = 0; i < got.size(); ++i) {
        SCOPED_TRACE("delivery at " + std::to_string(got[i].key.time));
        if (at >= events.size() || !(events[at].key == got[i].key)) {
            ADD_FAILURE() << "not the next event of the signal";
            return false;
        }
        std::size_t end = at + 1; // the events folded into this delivery
        while (end < events.size() && (i + 1 == got.size() || events[end].key < got[i + 1].key))
            ++end;
        EXPECT_EQ(got[i].value, events[end - 1].value);
        EXPECT_EQ(got[i].merged, end - at > 1);
        EXPECT_LT(events[end - 1].key.time, got[i].key.time + distance + distance / 8);
        // A merged change keeps the next one a merge distance away; a change delivered as it
        // came may be followed closely by the opening of a fold, which then keeps the distance.
        if (i + 1 < got.size() && got[i].merged) {
            EXPECT_GE(got[i + 1].key.time - got[i].key.time, distance);
        }
        if (i + 2 < got.size()) {
            EXPECT_GE(got[i + 2].key.time - got[i].key.time, distance);
        }
        at = end;
    }
    EXPECT_EQ(at, events.size()) << "events left over";
    const std::vector<Delivery> exact = deliveries(doc, handle, start, distance, false);
    auto same = [](const Delivery& a, const Delivery& b) {
        return a.key == b.key && a.value == b.value && a.merged == b.merged;
    };
    return !std::equal(got.begin(), got.end(), exact.begin(), exact.end(), same);
}

std::vector<SourceEvent> randomEvents(std::mt19937& random, bool dense) {
    std::vector<SourceEvent> events;
    SimTime time = 0;
    const int count = std::uniform_int_distribution<int>(200, 1500)(random);
    for (int i = 0; i < count; ++i) {
        const bool burst = std::uniform_int_distribution<int>(0, 9)(random) < 7;
        time += dense || burst ? std::uniform_int_distribution<SimTime>(0, 4)(random)
                               : std::uniform_int_distribution<SimTime>(50, 400)(random);
        const DeltaCycle delta =
            !events.empty() && events.back().time == time ? events.back().delta + 1 : 0;
        events.push_back({time, delta, std::uniform_int_distribution<int>(0, 2)(random) / 2,
                          static_cast<std::uint8_t>(1 + i % 250)});
    }
    return events;
}

std::vector<std::uint8_t> fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

} // namespace

TEST(KQueryEngineCoarse, FoldsAreRealEventsWithinAnEighthOfTheDistance) {
    std::mt19937 random(6122026);
    int differing = 0;
    for (int round = 0; round < 60; ++round) {
        SCOPED_TRACE(round);
        TempPath file;
        const std::vector<SourceEvent> events = randomEvents(random, round % 2 == 0);
        KEventsReadHandle source = databaseSource(file.path(), events);
        ASSERT_TRUE(source);
        const SimTime end = events.back().time + 10;
        const SimTime cut = std::uniform_int_distribution<SimTime>(0, end)(random);
        const SimTime shift = std::uniform_int_distribution<SimTime>(-40, 40)(random);
        std::vector<KEventSegment> segments;
        switch (round % 3) {
        case 0:
            segments = {segmentOver(0, end, source)};
            break;
        case 1:
            segments = {segmentOver(cut / 3, cut, source.sharedWithShift(shift))};
            break;
        default:
            segments = {segmentOver(0, cut, source),
                        segmentOver(cut, end + 100, source.sharedWithShift(shift))};
        }
        KDoc doc;
        const SignalHandle leaf = addLeaf(doc, segments);
        const SimTime start = std::uniform_int_distribution<SimTime>(-5, end / 4)(random);
        for (SimTime distance : {16, 64, 200, 1000})
            differing += checkCoarse(doc, leaf, start, distance) ? 1 : 0;
    }
    EXPECT_GT(differing, 20) << "the coarse folds were hardly ever taken";
}

TEST(KQueryEngineCoarse, NothingChangesWhereNoSummaryServes) {
    std::mt19937 random(99);
    const std::vector<SourceEvent> dense = randomEvents(random, true);
    TempPath file;
    KEventsReadHandle database = databaseSource(file.path(), dense);
    KDoc doc;
    const SignalHandle inMemory = addLeaf(doc, {segmentOver(0, 1 << 20, memorySource(dense))});
    const SignalHandle bus = addBus(doc);
    addLeaf(doc, {segmentOver(0, 1 << 20, database)}, bus);
    addLeaf(doc, {segmentOver(0, 1 << 20, database, 1)}, bus);
    const SignalHandle onFile = addLeaf(doc, {segmentOver(0, 1 << 20, database)});
    struct Case {
        const char* what;
        SignalHandle handle;
        SimTime distance;
    };
    const Case cases[] = {{"memory stream", inMemory, 200},
                          {"composite", bus, 200},
                          {"buckets wider than an eighth of the distance", onFile, 7},
                          {"no merge distance", onFile, 0}};
    for (const Case& c : cases) {
        RecordingProvider exact(doc, 3);
        RecordingProvider coarse(doc, 3);
        coarse.setCoarseFolds(true);
        exact.addSignal(c.handle, c.distance);
        coarse.addSignal(c.handle, c.distance);
        exact.run();
        coarse.run();
        EXPECT_EQ(coarse.lines, exact.lines) << c.what;
    }
}

TEST(KQueryEngineCoarse, FileStillBeingWrittenOrCutShort) {
    std::mt19937 random(5);
    std::vector<SourceEvent> events = randomEvents(random, true);
    for (SourceEvent& event : events)
        event.time *= 37; // buckets wider than one time unit, so that folds do differ
    TempPath live;
    evstream::IEventsStreamWrite* writer = openOneSignalWriter(live.path());
    auto write = [&](std::size_t from, std::size_t to) {
        for (std::size_t i = from; i < to; ++i) {
            writer->SetTime(events[i].time);
            writer->SetDelta(events[i].delta);
            writer->WriteValue(0, &events[i].value, 1);
        }
        ASSERT_TRUE(evstream::FlushStream(writer));
    };
    // Still being written: each refresh that brings blocks extends the summary (or builds it
    // again when its buckets no longer fit).
    write(0, events.size() / 4);
    KEventsReadHandle reader = KEventsReadHandle::openDatabase(live.path());
    KDoc doc;
    const SignalHandle liveLeaf = addLeaf(doc, {segmentOver(0, 1 << 30, reader)});
    for (std::size_t quarter = 1; quarter <= 4; ++quarter) {
        SCOPED_TRACE(quarter);
        if (quarter > 1) {
            write(events.size() * (quarter - 1) / 4, events.size() * quarter / 4);
            reader.refresh();
        }
        const std::vector<Delivery> got = deliveries(doc, liveLeaf, 0, 2000, true);
        ASSERT_FALSE(got.empty());
        EXPECT_GT(got.back().key.time + 2000 + 250, events[events.size() * quarter / 4 - 1].time);
        EXPECT_TRUE(checkCoarse(doc, liveLeaf, 0, 2000));
    }
    EXPECT_TRUE(writer->Release());

    // Cut short: no index, the summary counts the events of the blocks that are left.
    const std::vector<std::uint8_t> bytes = fileBytes(live.path());
    TempPath cut;
    {
        std::ofstream out(cut.path(), std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  std::streamsize(bytes.size() * 2 / 3));
    }
    const KEventsReadHandle cutFile = KEventsReadHandle::openDatabase(cut.path());
    ASSERT_TRUE(cutFile);
    const SignalHandle cutLeaf = addLeaf(doc, {segmentOver(0, 1 << 30, cutFile)});
    EXPECT_TRUE(checkCoarse(doc, cutLeaf, 0, 2000));
}

TEST(KQueryEngineCoarse, SummariesKeepCoarserLevelsAndStayWithinTheirBudget) {
    std::mt19937 random(11);
    std::vector<SourceEvent> events;
    for (SimTime time = 0; time < 20000; time += 1 + SimTime(random() % 5))
        for (SignalHandle signal = 0; signal < 3; ++signal)
            events.push_back({time, 0, signal, static_cast<std::uint8_t>(random() % 200 + 1)});
    TempPath file;
    databaseSource(file.path(), events);
    evstream::IEventsStreamRead* stream = evstream::OpenStreamRead(file.path());
    const KEventsReadHandle source = KEventsReadHandle::adopt(stream);
    KDoc doc;
    std::vector<SignalHandle> leaves;
    for (SignalHandle signal = 0; signal < 3; ++signal)
        leaves.push_back(addLeaf(doc, {segmentOver(0, 1 << 20, source, signal)}));

    // A zoomed-out screen keeps a coarse summary; a closer zoom adds a finer one, larger than the
    // coarse one; going back out builds nothing more.
    evstream::PrepareSummaries(stream, {0}, 4096);
    const std::size_t zoomedOut = evstream::GetSummaryBytes(stream);
    EXPECT_GT(zoomedOut, 0u);
    evstream::PrepareSummaries(stream, {0}, 16);
    const std::size_t both = evstream::GetSummaryBytes(stream);
    EXPECT_GT(both - zoomedOut, zoomedOut);
    evstream::PrepareSummaries(stream, {0}, 4096);
    evstream::PrepareSummaries(stream, {0}, 1000);
    EXPECT_EQ(evstream::GetSummaryBytes(stream), both);
    for (SimTime distance : {130, 1000, 40000}) {
        SCOPED_TRACE(distance);
        checkCoarse(doc, leaves[0], 0, distance); // whether it differs from the exact folds or not
    }

    evstream::PrepareSummaries(stream, {0, 1, 2}, 1 << 20);
    const std::size_t all = evstream::GetSummaryBytes(stream);
    ASSERT_TRUE(evstream::SetSummaryBudget(stream, all / 2));
    EXPECT_LE(evstream::GetSummaryBytes(stream), all / 2);
    EXPECT_GT(evstream::GetSummaryBytes(stream), 0u);
    // Queries over a file whose summaries keep being dropped still fold right.
    ASSERT_TRUE(evstream::SetSummaryBudget(stream, 1));
    for (SignalHandle leaf : leaves)
        EXPECT_TRUE(checkCoarse(doc, leaf, 0, 100));
}

TEST(KQueryEngineCoarse, BucketsWiderThan32BitsAtTheFarEndOfTime) {
    std::vector<SourceEvent> events;
    SimTime time = SimTime(1) << 61;
    for (int i = 0; i < 300; ++i) {
        time += (SimTime(1) << 40) * (i % 3 + 1) + i * 12345;
        events.push_back({time, 0, 0, static_cast<std::uint8_t>(i % 200 + 2)});
    }
    TempPath file;
    KDoc doc;
    const SignalHandle leaf =
        addLeaf(doc, {segmentOver(0, kMaxTime, databaseSource(file.path(), events))});
    EXPECT_TRUE(checkCoarse(doc, leaf, 0, SimTime(1) << 45));
}

TEST(KQueryEngineCoarse, DamagedBlockLeavesTheSignalToExactFolds) {
    TempPath file;
    evstream::IEventsStreamWrite* writer = openOneSignalWriter(file.path());
    for (int i = 0; i < 20000; ++i) {
        const auto value = static_cast<std::uint8_t>(i % 250);
        writer->SetTime(i * 10 + i % 7);
        writer->WriteValue(0, &value, 1);
        if (i % 1000 == 999)
            evstream::FlushStream(writer); // many blocks
    }
    ASSERT_TRUE(writer->Release());
    const KEventsReadHandle source = KEventsReadHandle::openDatabase(file.path());
    {
        std::fstream stream(file.path(), std::ios::in | std::ios::out | std::ios::binary);
        stream.seekp(0, std::ios::end);
        const std::streamoff size = stream.tellp();
        stream.seekp(size / 2);
        const std::string garbage(std::size_t(size / 4), '\x5a');
        stream.write(garbage.data(), std::streamsize(garbage.size()));
    }
    KDoc doc;
    const SignalHandle leaf = addLeaf(doc, {segmentOver(0, 1 << 30, source)});
    // The start of the file is whole: a query that stops there reads nothing damaged.
    RecordingProvider exact(doc, 0, 20);
    RecordingProvider coarse(doc, 0, 20);
    coarse.setCoarseFolds(true);
    exact.addSignal(leaf, 400);
    coarse.addSignal(leaf, 400);
    exact.run();
    ASSERT_NO_THROW(coarse.run());
    EXPECT_EQ(coarse.lines, exact.lines);
}

// Values longer than 8 bytes: a coarse query's records share them with the summary they come
// from. The query's own records stay whole after the cache lets the summary go, and copies taken
// out stay whole after the query is gone too.
TEST(KQueryEngineCoarse, LongValuesOutliveTheQueryAndTheSummary) {
    constexpr std::uint32_t kSize = 24;
    // The event's index in the first two bytes, the rest following from it.
    auto valueOf = [](int index) {
        std::vector<std::uint8_t> bytes(kSize);
        for (std::uint32_t k = 0; k < kSize; ++k)
            bytes[k] = static_cast<std::uint8_t>(index * 7 + int(k));
        bytes[0] = static_cast<std::uint8_t>(index);
        bytes[1] = static_cast<std::uint8_t>(index >> 8);
        return EventValue(bytes);
    };
    auto expectWhole = [&](const KEventRecord& record) {
        ASSERT_EQ(record.value().size(), kSize);
        const std::uint8_t* bytes = record.value().data();
        EXPECT_EQ(record.value(), valueOf(bytes[0] | bytes[1] << 8)) << record.time();
    };
    TempPath file;
    {
        KEventsWriteHandle writer = KEventsWriteHandle::createDatabase(file.path());
        writer.beginDeclarations();
        writer.declareScalar(0, evstream::SignalInfo{});
        writer.declareScalar(1, evstream::SignalInfo{}); // a small one, to push the other out
        writer.endDeclarations();
        for (int i = 0; i < 20000; ++i) {
            writer.setTime(i * 10 + i % 7);
            const EventValue value = valueOf(i);
            writer.writeValue(0, value.data(), kSize);
            if (i % 8 == 0)
                writer.writeValue(1, value.data(), 1);
        }
        writer.close();
    }
    evstream::IEventsStreamRead* stream = evstream::OpenStreamRead(file.path());
    const KEventsReadHandle source = KEventsReadHandle::adopt(stream);
    KDoc doc;
    const SignalHandle leaf = addLeaf(doc, {segmentOver(0, 1 << 30, source)});
    std::vector<KEventRecord> copies;
    {
        KEventsQuery query(doc, 0, 150000);
        query.setCoarseFolds(true);
        query.addSignal(leaf, 400);
        query.run();
        const std::size_t held = evstream::GetSummaryBytes(stream);
        ASSERT_GT(held, 0u);
        ASSERT_TRUE(evstream::SetSummaryBudget(stream, 1));
        evstream::PrepareSummaries(stream, {1}, 50);
        ASSERT_LT(evstream::GetSummaryBytes(stream), held / 2); // the long values' summary went
        for (const auto& entry : query.events(leaf)) {
            expectWhole(entry.second);
            copies.push_back(entry.second);
        }
    }
    ASSERT_GT(copies.size(), 300u);
    for (const KEventRecord& record : copies)
        expectWhole(record);
}
