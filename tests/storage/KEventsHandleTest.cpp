#include "FakeEventStreams.h"
#include "storage/KEventsReadHandle.h"
#include "storage/KEventsWriteHandle.h"
#include "storage/KFileException.h"
#include "storage/evstream/EventStore.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <limits>
#include <memory>
#include <numeric>
#include <set>
#include <string>
#include <vector>

namespace {

// A memory writer with events (time, handle, value) and a reader over them.
KEventsReadHandle memoryReader(const std::vector<std::pair<SimTime, SignalHandle>>& events,
                               SimTime shift = 0) {
    KEventsWriteHandle writer = KEventsWriteHandle::createMemory();
    for (const auto& [time, handle] : events) {
        writer.setTime(time);
        const auto value = static_cast<std::uint64_t>(time);
        writer.writeValue(handle, &value, sizeof value);
    }
    KEventsReadHandle reader = KEventsReadHandle::fromWriter(writer);
    return shift == 0 ? reader : reader.cloned(shift);
}

void expectGenericFailure(const std::function<void()>& action, const std::string& fileName) {
    try {
        action();
        ADD_FAILURE() << "no exception";
    } catch (const KFileException& error) {
        EXPECT_EQ(error.cause(), KFileException::Cause::Generic);
        EXPECT_EQ(error.osError(), -1);
        EXPECT_EQ(error.fileName(), fileName);
        EXPECT_FALSE(error.detail().empty());
    }
}

// Memory handles

TEST(KEventsHandle, AMemoryWriterIsReadBackThroughASnapshot) {
    KEventsWriteHandle writer = KEventsWriteHandle::createMemory();
    ASSERT_TRUE(writer);
    EXPECT_TRUE(writer.isInMemory());
    EXPECT_EQ(writer.fileName(), "");
    writer.setTime(20);
    writer.setDelta(2);
    EXPECT_EQ(writer.position(), (EventKey{20, 2}));
    std::vector<std::uint8_t> bus(64);
    std::iota(bus.begin(), bus.end(), std::uint8_t{0});
    writer.writeValue(3, EventValue(bus));

    KEventsReadHandle reader = KEventsReadHandle::fromWriter(writer);
    ASSERT_TRUE(reader);
    EXPECT_TRUE(reader.isInMemory());
    reader.seek(0);
    EXPECT_EQ(reader.readNextEvent(), 3);
    EXPECT_EQ(reader.position(), (EventKey{20, 2}));
    EXPECT_EQ(reader.value(), EventValue(bus));
    EXPECT_EQ(reader.readNextEvent(), kNoSignal);
    EXPECT_EQ(reader.endTime(), 20);

    KEventsReadHandle several = memoryReader({{1, 1}, {2, 2}, {3, 1}});
    several.seek(0);
    std::uint64_t value = 0;
    ASSERT_TRUE(several.readNextEventOf(2, &value));
    EXPECT_EQ(value, 2u);
    EXPECT_EQ(several.valueSize(), 8u);
    EXPECT_FALSE(several.readNextEventOf(2, &value));
    EXPECT_EQ(several.time(), 2); // no further event of signal 2: the cursor stays
    EXPECT_EQ(several.readNextEvent(), 1);
    EXPECT_EQ(several.time(), 3);
}

TEST(KEventsHandle, CopiesShareOneCursorAndClonesHaveTheirOwn) {
    KEventsReadHandle reader = memoryReader({{1, 1}, {2, 1}, {3, 1}});
    KEventsReadHandle copy = reader;
    EXPECT_EQ(reader.useCount(), 2u);
    KEventsReadHandle clone = reader.cloned(0);
    EXPECT_EQ(clone.useCount(), 1u);
    reader.seek(0);
    reader.readNextEvent();
    copy.readNextEvent();
    EXPECT_EQ(reader.time(), 2);
    clone.seek(0);
    clone.readNextEvent();
    EXPECT_EQ(clone.time(), 1);
    EXPECT_EQ(reader.time(), 2);
}

TEST(KEventsHandle, OffsetsShiftTimesOutAndIn) {
    KEventsReadHandle reader = memoryReader({{10, 1}, {30, 1}}, 100);
    EXPECT_EQ(reader.offset(), 100);
    reader.seek(0); // clamped: a memory stream starts at its first event anyway
    reader.readNextEvent();
    EXPECT_EQ(reader.time(), 110);
    EXPECT_EQ(reader.endTime(), 130);
    KEventsReadHandle back = reader.cloned(-150);
    EXPECT_EQ(back.offset(), -50);
    back.seek(-50);
    back.readNextEvent();
    back.readNextEvent();
    EXPECT_EQ(back.position(), (EventKey{-20, 0}));
}

TEST(KEventsHandle, MemoryHandlesAnswerLibraryQueriesThemselves) {
    KEventsReadHandle reader = memoryReader({{10, 1}}, 100);
    std::int64_t before = 7, after = 8, count = 9;
    std::uint64_t value = 0;
    EXPECT_EQ(reader.nextMilestone(0), kNoTime);
    EXPECT_FALSE(reader.signalValue(110, 1, &value));
    EXPECT_EQ(reader.signalEvents(110, 1, before, after, count), -1);
    EXPECT_EQ(std::vector<std::int64_t>({before, after, count}),
              std::vector<std::int64_t>({7, 8, 9}));
    EXPECT_EQ(reader.parent(1), kNoSignal);
    EXPECT_FALSE(reader.setScalar(1, -2, 0));
    EXPECT_FALSE(reader.setBus(-2, kNoSignal, 0, 1));
    EXPECT_EQ(reader.rootCount(), 0);
    EXPECT_EQ(reader.fileName(), "");
}

TEST(KEventsHandle, MemoryHandlesRefuseDeclarationsAndRefreshWithAFileException) {
    const std::vector<std::function<void(KEventsWriteHandle&)>> refused = {
        [](KEventsWriteHandle& w) { w.declareScalar(1, {}); },
        [](KEventsWriteHandle& w) { w.declareComposite(2, {}); },
        [](KEventsWriteHandle& w) { w.addAnnotation(1, 0, "Comment", "x"); },
        [](KEventsWriteHandle& w) {
            w.setProperties(1, {{"Radix", "16"}});
        },
        [](KEventsWriteHandle& w) { w.setTypeInfoString(1, "std_logic"); },
    };
    for (std::size_t i = 0; i < refused.size(); ++i) {
        SCOPED_TRACE(i);
        KEventsWriteHandle writer = KEventsWriteHandle::createMemory();
        writer.beginDeclarations(); // accepted, as is an empty property map
        writer.setProperties(1, {});
        writer.endDeclarations();
        expectGenericFailure([&] { refused[i](writer); }, "");
        EXPECT_FALSE(writer); // a refusing sink is not written further
    }
    KEventsReadHandle reader = memoryReader({{1, 1}});
    expectGenericFailure([&] { reader.refresh(); }, "");
    EXPECT_FALSE(reader);
}

// Reference counting and failures, observed through fake streams

TEST(KEventsHandle, SharingWithAShiftReopensNothingAndKeepsTheStreamAlive) {
    auto log = std::make_shared<StreamLog>();
    {
        KEventsReadHandle reader = KEventsReadHandle::adopt(new FakeReadStream(log), 5);
        KEventsReadHandle shifted = reader.sharedWithShift(20);
        EXPECT_EQ(shifted.offset(), 25);
        EXPECT_EQ(shifted.useCount(), 1u);
        EXPECT_EQ(log->refs, 2);
        reader = KEventsReadHandle();
        EXPECT_FALSE(log->destroyed);
    }
    EXPECT_TRUE(log->destroyed);

    KEventsReadHandle memory = memoryReader({{10, 1}}).sharedWithShift(-4);
    EXPECT_TRUE(memory.isInMemory());
    memory.seek(0);
    memory.readNextEvent();
    EXPECT_EQ(memory.time(), 6);
}

TEST(KEventsHandle, EveryHandleReferenceHoldsOneStreamReference) {
    auto log = std::make_shared<StreamLog>();
    {
        KEventsReadHandle reader = KEventsReadHandle::adopt(new FakeReadStream(log));
        EXPECT_FALSE(reader.isInMemory());
        KEventsReadHandle copy = reader;
        KEventsReadHandle assigned;
        assigned = copy;
        EXPECT_EQ(log->refs, 3);
        KEventsReadHandle moved = std::move(copy);
        EXPECT_EQ(log->refs, 3);
        EXPECT_EQ(reader.useCount(), 3u);
        reader = KEventsReadHandle();
        EXPECT_EQ(log->refs, 2);
        EXPECT_FALSE(log->destroyed);
    }
    EXPECT_TRUE(log->destroyed);
}

TEST(KEventsHandle, SeekSubtractsTheOffsetAndClampsAtZero) {
    struct Case {
        SimTime offset, seekTo, rewoundAt;
    };
    for (const Case& c :
         {Case{100, 40, 0}, Case{100, 250, 150}, Case{0, 7, 7}, Case{-50, 10, 60}, Case{0, -5, 0},
          Case{-50, kMaxTime, kMaxTime}, Case{100, std::numeric_limits<SimTime>::min(), 0}}) {
        auto log = std::make_shared<StreamLog>();
        KEventsReadHandle reader = KEventsReadHandle::adopt(new FakeReadStream(log), c.offset);
        reader.seek(c.seekTo);
        EXPECT_EQ(log->rewinds, std::vector<SimTime>{c.rewoundAt}) << c.offset << " " << c.seekTo;
        EXPECT_EQ(reader.time(), 5 + c.offset);
        EXPECT_EQ(reader.endTime(), 9 + c.offset);
    }
}

TEST(KEventsHandle, RefusedSeekOrRefreshThrowsNamingTheFile) {
    for (const std::string& refused : std::vector<std::string>{"Rewind", "Refresh"}) {
        auto log = std::make_shared<StreamLog>();
        log->refusals = {refused};
        KEventsReadHandle reader = KEventsReadHandle::adopt(new FakeReadStream(log));
        KEventsReadHandle other = reader;
        expectGenericFailure([&] { refused == "Rewind" ? reader.seek(0) : reader.refresh(); },
                             "fake.awf");
        EXPECT_FALSE(reader);
        EXPECT_EQ(log->refs, 1); // the failing handle let its reference go; the copy keeps its
        EXPECT_TRUE(other);
    }
}

TEST(KEventsHandle, DatabaseQueriesGoToTheLibraryWithTheOffsetApplied) {
    // Whatever the library answers for this stream, the handle must pass it on by these rules.
    auto log = std::make_shared<StreamLog>();
    auto* stream = new FakeReadStream(log);
    KEventsReadHandle plain = KEventsReadHandle::adopt(stream);
    stream->AddRef();
    KEventsReadHandle shifted = KEventsReadHandle::adopt(stream, 100);

    std::int64_t before = 7, after = 8, count = 9;
    const int direct = evstream::GetSignalEvents(stream, 40, 1, before, after, count);
    const std::vector<std::int64_t> library{before, after, count};

    std::int64_t b = 7, a = 8, c = 9;
    EXPECT_EQ(plain.signalEvents(40, 1, b, a, c), direct);
    EXPECT_EQ(std::vector<std::int64_t>({b, a, c}), library);

    b = 7, a = 8, c = 9;
    const int found = shifted.signalEvents(140, 1, b, a, c);
    if (direct <= 0) {
        EXPECT_EQ(found, 0);
        EXPECT_EQ(std::vector<std::int64_t>({b, a, c}), library);
    } else {
        EXPECT_EQ(found, direct);
        EXPECT_EQ(b, library[0] == kNoTime ? kNoTime : library[0] + 100);
        EXPECT_EQ(a, library[1] == kNoTime ? kNoTime : library[1] + 100);
        EXPECT_EQ(c, library[2]);
    }

    const SimTime milestone = evstream::GetNextMilestone(stream, 40);
    EXPECT_EQ(shifted.nextMilestone(140), milestone == kNoTime ? kNoTime : milestone + 100);
    EXPECT_EQ(shifted.parent(1), evstream::GetParent(stream, 1));
}

TEST(KEventsHandle, CloningADatabaseHandleReopensItsFile) {
    auto log = std::make_shared<StreamLog>();
    log->fileName = (std::filesystem::temp_directory_path() / "no-such-tessel-file.awf").string();
    KEventsReadHandle reader = KEventsReadHandle::adopt(new FakeReadStream(log), 10);
    EXPECT_FALSE(reader.cloned(5)); // the file does not open again: no clone
    log->fileName.clear();
    EXPECT_FALSE(reader.cloned(5)); // no file to open again
    EXPECT_EQ(log->refs, 1);
}

TEST(KEventsHandle, WriteRefusalsThrowNamingTheFile) {
    const std::vector<std::pair<std::string, std::function<void(KEventsWriteHandle&)>>> cases = {
        {"BeginDeclarations", [](KEventsWriteHandle& w) { w.beginDeclarations(); }},
        {"EndDeclarations", [](KEventsWriteHandle& w) { w.endDeclarations(); }},
        {"DeclareScalar", [](KEventsWriteHandle& w) { w.declareScalar(1, {}); }},
        {"DeclareComposite", [](KEventsWriteHandle& w) { w.declareComposite(1, {}); }},
        {"AddAnnotation", [](KEventsWriteHandle& w) { w.addAnnotation(1, 5, "Comment", "x"); }},
        {"SetProperty b=2",
         [](KEventsWriteHandle& w) {
             w.setProperties(1, {{"b", "2"}});
         }},
        {"SetTypeInfoString", [](KEventsWriteHandle& w) { w.setTypeInfoString(1, "bit"); }},
        {"SetTime", [](KEventsWriteHandle& w) { w.setTime(5); }},
        {"SetDelta", [](KEventsWriteHandle& w) { w.setDelta(1); }},
        {"WriteValue", [](KEventsWriteHandle& w) { w.writeValue(1, EventValue()); }},
    };
    for (const auto& [call, action] : cases) {
        SCOPED_TRACE(call);
        auto log = std::make_shared<StreamLog>();
        KEventsWriteHandle writer = KEventsWriteHandle::adopt(new FakeWriteStream(log));
        EXPECT_FALSE(writer.isInMemory());
        EXPECT_NO_THROW(action(writer)); // accepted first
        log->refusals = {call};
        expectGenericFailure([&, &action = action] { action(writer); }, "fake.awf");
        EXPECT_FALSE(writer);
        EXPECT_TRUE(log->destroyed);
    }
}

TEST(KEventsHandle, PropertiesAreWrittenOneByOneInKeyOrder) {
    auto log = std::make_shared<StreamLog>();
    KEventsWriteHandle writer = KEventsWriteHandle::adopt(new FakeWriteStream(log));
    writer.setProperties(4, {{"Radix", "16"}, {"Color", "red"}, {"Height", "2"}});
    EXPECT_EQ(log->calls, (std::vector<std::string>{"SetProperty Color=red", "SetProperty Height=2",
                                                    "SetProperty Radix=16"}));
}

TEST(KEventsHandle, CloseReportsAFailedReleaseAndTheDestructorDoesNot) {
    auto healthy = std::make_shared<StreamLog>();
    KEventsWriteHandle good = KEventsWriteHandle::adopt(new FakeWriteStream(healthy));
    EXPECT_NO_THROW(good.close());
    EXPECT_TRUE(healthy->destroyed);

    auto log = std::make_shared<StreamLog>();
    log->refusals = {"Release"};
    KEventsWriteHandle writer = KEventsWriteHandle::adopt(new FakeWriteStream(log));
    {
        KEventsWriteHandle copy = writer;
        EXPECT_EQ(log->refs, 2);
    } // silent, although the stream reported a failure
    EXPECT_EQ(log->refs, 1);
    expectGenericFailure([&] { writer.close(); }, "fake.awf");
    EXPECT_FALSE(writer);
    EXPECT_TRUE(log->destroyed);
    EXPECT_NO_THROW(writer.close()); // closing a null handle does nothing
}

// Null handles and files that do not open

TEST(KEventsHandle, NullHandlesAreInertAndRefuseToRead) {
    KEventsReadHandle reader;
    EXPECT_FALSE(reader);
    EXPECT_EQ(reader.useCount(), 0u);
    EXPECT_EQ(reader.offset(), 0);
    EXPECT_FALSE(reader.isInMemory());
    EXPECT_FALSE(reader.cloned(10));
    EXPECT_FALSE(KEventsReadHandle::adopt(nullptr));
    EXPECT_THROW(reader.readNextEvent(), KFileException);
    EXPECT_THROW(reader.seek(0), KFileException);

    KEventsWriteHandle writer;
    EXPECT_FALSE(writer);
    EXPECT_FALSE(writer.isInMemory());
    EXPECT_FALSE(KEventsWriteHandle::adopt(nullptr));
    EXPECT_THROW(writer.setTime(1), KFileException);

    // Only memory writers give readers.
    auto log = std::make_shared<StreamLog>();
    KEventsWriteHandle database = KEventsWriteHandle::adopt(new FakeWriteStream(log));
    EXPECT_FALSE(KEventsReadHandle::fromWriter(database));
    EXPECT_FALSE(KEventsReadHandle::fromWriter(KEventsWriteHandle()));
    EXPECT_EQ(log->refs, 1);
}

TEST(KEventsHandle, DatabaseFilesThatCannotBeOpenedGiveNullHandles) {
    const auto folder = std::filesystem::temp_directory_path();
    const std::string garbage = (folder / "tessel-handle-test-garbage.awf").string();
    std::ofstream(garbage, std::ios::binary) << "this is not an event database\n";
    for (const std::string& name :
         {(folder / "no-such-tessel-file.awf").string(), garbage, std::string(), folder.string()}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(KEventsReadHandle::openDatabase(name));
    }
    EXPECT_FALSE(KEventsWriteHandle::createDatabase((folder / "no-such-dir" / "x.awf").string()));
    EXPECT_FALSE(KEventsWriteHandle::createDatabase(folder.string()));
    std::filesystem::remove(garbage);
}

} // namespace
