// Round trips through the database file: declarations, properties, annotations, type strings and
// events written by the write stream come back unchanged from the read stream.
#include "EventStoreTestUtil.h"
#include "storage/KFileException.h"

#include <gtest/gtest.h>
#include <random>

namespace evstream::test {
namespace {

SignalInfo info(std::string name, SignalHandle parent = kNoSignal, int index = 0, int mode = 0,
                SimTime endTime = kNoTime) {
    SignalInfo i;
    i.name = std::move(name);
    i.parent = parent;
    i.index = index;
    i.mode = mode;
    i.endTime = endTime;
    return i;
}

TEST(EventStore, DeclarationsPropertiesAnnotationsAndTypeStringsRoundTrip) {
    TempFile file;
    IEventsStreamWrite* w = OpenStreamWrite(file.path());
    ASSERT_TRUE(w->BeginDeclarations());
    SignalInfo bus = info("top/bus", kNoSignal, 0, 3, 5000);
    bus.childCount = 2;
    ASSERT_TRUE(w->DeclareComposite(10, bus));
    ASSERT_TRUE(w->SetProperty(10, "VBus", "1"));
    ASSERT_TRUE(w->DeclareScalar(11, info("(0)", 10, 0, 3, 4000)));
    ASSERT_TRUE(w->DeclareScalar(12, info("(1)", 10, 1, 3, 5000)));
    ASSERT_TRUE(w->DeclareScalar(2, info("top/clk", kNoSignal, 0, 1, 7000)));
    ASSERT_TRUE(w->SetProperty(2, "Color", "255"));
    ASSERT_TRUE(w->SetProperty(2, "Height", "30"));
    ASSERT_TRUE(w->SetProperty(2, "Color", "65280")); // the last value wins
    ASSERT_TRUE(w->AddAnnotation(2, 100, "Comment", "0,a, b, c"));
    ASSERT_TRUE(w->AddAnnotation(2, 3000000000LL, "Measurement", "1,12,4294967296"));
    ASSERT_TRUE(w->EndDeclarations());
    ASSERT_TRUE(w->SetTypeInfoString(2, "std_logic"));
    ASSERT_TRUE(w->SetTypeInfoString(11, "std_logic_vector(1 downto 0)"));
    ASSERT_TRUE(w->Release());

    IEventsStreamRead* r = OpenStreamRead(file.path());
    Releaser<IEventsStreamRead> release{r};
    ASSERT_EQ(r->GetRootCount(), 2);
    EXPECT_EQ(r->GetRoot(0), 10);
    EXPECT_EQ(r->GetRoot(1), 2);
    EXPECT_EQ(r->GetRoot(2), kNoSignal);
    EXPECT_EQ(r->GetChild(10, 0), 11);
    EXPECT_EQ(r->GetChild(10, 1), 12);
    EXPECT_EQ(r->GetChild(10, 2), kNoSignal);
    EXPECT_EQ(GetParent(r, 12), 10);
    EXPECT_EQ(GetParent(r, 10), kNoSignal);

    SignalInfo got;
    ASSERT_TRUE(r->GetSignalInfo(10, got));
    EXPECT_EQ(got.name, "top/bus");
    EXPECT_TRUE(got.isComposite);
    EXPECT_EQ(got.childCount, 2);
    EXPECT_EQ(got.mode, 3);
    EXPECT_EQ(got.endTime, 5000);
    ASSERT_TRUE(r->GetSignalInfo(12, got));
    EXPECT_EQ(got.name, "(1)");
    EXPECT_EQ(got.parent, 10);
    EXPECT_EQ(got.index, 1);
    EXPECT_FALSE(got.isComposite);
    EXPECT_FALSE(r->GetSignalInfo(99, got));

    EXPECT_EQ(r->GetProperty(2, "Color"), "65280");
    EXPECT_EQ(r->GetProperty(2, "Height"), "30");
    EXPECT_EQ(r->GetProperty(2, "Bold"), "");
    EXPECT_EQ(r->GetProperty(10, "VBus"), "1");
    EXPECT_EQ(r->GetTypeInfoString(2), "std_logic");
    EXPECT_EQ(r->GetTypeInfoString(11), "std_logic_vector(1 downto 0)");
    EXPECT_EQ(r->GetTypeInfoString(12), "");

    ASSERT_EQ(r->GetAnnotationCount(2), 2);
    Annotation a;
    ASSERT_TRUE(r->GetAnnotation(2, 0, a));
    EXPECT_EQ(a.time, 100);
    EXPECT_EQ(a.key, "Comment");
    EXPECT_EQ(a.text, "0,a, b, c");
    ASSERT_TRUE(r->GetAnnotation(2, 1, a));
    EXPECT_EQ(a.time, 3000000000LL);
    EXPECT_EQ(a.text, "1,12,4294967296");
    EXPECT_FALSE(r->GetAnnotation(2, 2, a));
    EXPECT_EQ(r->GetAnnotationCount(11), 0);
    EXPECT_EQ(r->GetFileName(), file.path());
}

TEST(EventStore, AFileWithoutSignalsReopensEmpty) {
    TempFile file;
    IEventsStreamWrite* w = CreateStreamWrite(file.path());
    ASSERT_NE(w, nullptr);
    ASSERT_TRUE(w->BeginDeclarations());
    ASSERT_TRUE(w->EndDeclarations());
    ASSERT_TRUE(w->Release());
    IEventsStreamRead* r = CreateStreamRead(file.path());
    ASSERT_NE(r, nullptr);
    Releaser<IEventsStreamRead> release{r};
    EXPECT_EQ(r->GetRootCount(), 0);
    EXPECT_TRUE(r->Rewind(0));
    EXPECT_EQ(r->ReadNextEvent(), kNoSignal);
    EXPECT_EQ(r->SkipTo(10), kNoTime);
    EXPECT_EQ(GetNextMilestone(r, 0), kNoTime);
}

// Values of every shape the program writes: logic bits, logic ordinals, integers, reals and
// long vectors, at several deltas, in more than one block.
std::vector<Event> mixedEvents(int count, unsigned seed) {
    std::mt19937 rng(seed);
    const std::uint32_t sizes[] = {1, 1, 4, 8, 64, 3};
    std::vector<Event> events;
    SimTime time = 0;
    DeltaCycle delta = 0;
    for (int i = 0; i < count; ++i) {
        if (rng() % 4 == 0) {
            time += 1 + rng() % 1000;
            delta = 0;
        } else if (rng() % 8 == 0) {
            delta += 1;
        }
        Event e;
        e.time = time;
        e.delta = delta;
        e.handle = SignalHandle(rng() % 6);
        std::uint32_t size = sizes[e.handle];
        for (std::uint32_t b = 0; b < size; ++b) {
            if (e.handle == 0)
                e.value.push_back(std::uint8_t(2 + rng() % 2));
            else if (e.handle == 1 || e.handle == 4)
                e.value.push_back(std::uint8_t(rng() % 9));
            else
                e.value.push_back(std::uint8_t(rng()));
        }
        events.push_back(std::move(e));
    }
    return events;
}

TEST(EventStore, EventsRoundTripInWriteOrderAcrossBlocks) {
    TempFile file;
    auto events = mixedEvents(300000, 7);
    IEventsStreamWrite* w = openWithScalars(file.path(), 6);
    ASSERT_TRUE(writeEvents(w, events));
    ASSERT_TRUE(w->Release());

    IEventsStreamRead* r = OpenStreamRead(file.path());
    Releaser<IEventsStreamRead> release{r};
    auto read = readAll(r);
    ASSERT_EQ(read.size(), events.size());
    EXPECT_TRUE(read == events);
    EXPECT_EQ(r->GetEndTime(), events.back().time);
}

TEST(EventStore, EventsAtOneKeyKeepTheirWriteOrder) {
    TempFile file;
    std::vector<Event> events = {
        {5, 0, 3, {2}}, {5, 0, 1, {3}}, {5, 0, 2, {2}}, {5, 0, 1, {2}}, // not ascending, repeated
        {5, 1, 0, {3}}, {5, 1, 3, {3}},                                 // ascending
        {9, 0, 2, {3}}, {9, 0, 0, {2}},
    };
    IEventsStreamWrite* w = openWithScalars(file.path(), 4);
    ASSERT_TRUE(writeEvents(w, events));
    ASSERT_TRUE(FlushStream(w)); // the order survives a block boundary, too
    ASSERT_TRUE(writeEvents(w, {{9, 0, 3, {2}}, {9, 0, 1, {3}}}));
    ASSERT_TRUE(w->Release());
    events.push_back({9, 0, 3, {2}});
    events.push_back({9, 0, 1, {3}});

    IEventsStreamRead* r = OpenStreamRead(file.path());
    Releaser<IEventsStreamRead> release{r};
    EXPECT_TRUE(readAll(r) == events);
}

TEST(EventStore, TimesAcrossTheWholeSignedRangeRoundTrip) {
    TempFile file;
    std::vector<Event> events = {{INT64_MIN + 1, 0, 0, {2}}, {-5, 0, 0, {3}}, {0, 0, 0, {2}}};
    IEventsStreamWrite* w = openWithScalars(file.path(), 1);
    ASSERT_TRUE(writeEvents(w, events));
    ASSERT_TRUE(FlushStream(w));
    ASSERT_TRUE(writeEvents(w, {{INT64_MAX - 1, 0, 0, {3}}}));
    ASSERT_TRUE(w->Release());
    events.push_back({INT64_MAX - 1, 0, 0, {3}});

    IEventsStreamRead* r = OpenStreamRead(file.path());
    Releaser<IEventsStreamRead> release{r};
    EXPECT_TRUE(readAll(r) == events);
    std::uint8_t value = 0;
    ASSERT_TRUE(GetSignalValue(r, -1, 0, &value));
    EXPECT_EQ(value, 3);
    ASSERT_TRUE(GetSignalValue(r, INT64_MAX, 0, &value));
    EXPECT_EQ(value, 3);
    EXPECT_EQ(r->GetEndTime(), INT64_MAX - 1);
}

TEST(EventStore, ASignalSharingAnothersEventsReadsThemUnderItsOwnHandle) {
    TempFile file;
    IEventsStreamWrite* w = OpenStreamWrite(file.path());
    w->BeginDeclarations();
    declareScalars(w, 2);
    SignalInfo port = info("port");
    port.sameEventsAs = 0;
    ASSERT_TRUE(w->DeclareScalar(7, port));
    w->EndDeclarations();
    std::uint8_t one = 3;
    EXPECT_FALSE(w->WriteValue(7, &one, 1)); // its events are written through signal 0
    ASSERT_TRUE(writeEvents(w, {{1, 0, 0, {3}}, {1, 0, 1, {2}}, {4, 0, 0, {2}}}));
    ASSERT_TRUE(w->Release());

    IEventsStreamRead* r = OpenStreamRead(file.path());
    Releaser<IEventsStreamRead> release{r};
    std::vector<Event> expected = {
        {1, 0, 0, {3}}, {1, 0, 7, {3}}, {1, 0, 1, {2}}, {4, 0, 0, {2}}, {4, 0, 7, {2}}};
    EXPECT_TRUE(readAll(r) == expected);
    SignalInfo got;
    ASSERT_TRUE(r->GetSignalInfo(7, got));
    EXPECT_EQ(got.sameEventsAs, 0);
    std::uint8_t value = 0;
    ASSERT_TRUE(GetSignalValue(r, 2, 7, &value));
    EXPECT_EQ(value, 3);
    r->Rewind(0);
    ASSERT_TRUE(r->ReadNextEventOf(7, &value));
    ASSERT_TRUE(r->ReadNextEventOf(7, &value));
    EXPECT_EQ(r->GetTime(), 4);
    EXPECT_EQ(value, 2);
}

TEST(EventStore, WriterRefusesCallsOutOfOrderOrOutOfShape) {
    TempFile file;
    IEventsStreamWrite* w = OpenStreamWrite(file.path());
    Releaser<IEventsStreamWrite> release{w};
    ASSERT_TRUE(w->BeginDeclarations());
    ASSERT_TRUE(w->DeclareScalar(0, info("a")));
    ASSERT_TRUE(w->DeclareScalar(4, info("b")));
    EXPECT_FALSE(w->DeclareScalar(0, info("twice")));
    EXPECT_FALSE(w->DeclareScalar(1, info("orphan", 0))); // parent is not a composite
    EXPECT_FALSE(w->DeclareScalar(kNoSignal, info("none")));
    SignalInfo alias = info("alias");
    alias.sameEventsAs = 42;
    EXPECT_FALSE(w->DeclareScalar(2, alias));
    EXPECT_FALSE(w->SetProperty(5, "Color", "1"));
    std::uint8_t value[4] = {2, 3, 2, 3};
    EXPECT_FALSE(w->WriteValue(0, value, 1)); // still declaring
    ASSERT_TRUE(w->EndDeclarations());
    EXPECT_FALSE(w->DeclareScalar(3, info("late")));
    EXPECT_FALSE(w->EndDeclarations());
    ASSERT_TRUE(w->SetTime(10));
    EXPECT_FALSE(w->WriteValue(1, value, 1)); // undeclared
    ASSERT_TRUE(w->WriteValue(0, value, 1));
    EXPECT_FALSE(w->WriteValue(0, value, 4)); // the size is fixed by the first value
    EXPECT_FALSE(w->WriteValue(4, value, 0)); // no empty values, at a key already open too
    EXPECT_FALSE(w->WriteValue(0, nullptr, 1));
    EXPECT_FALSE(w->SetTime(5)); // time goes forward only
    ASSERT_TRUE(w->SetDelta(2));
    ASSERT_TRUE(w->WriteValue(0, value, 1));
    ASSERT_TRUE(w->SetDelta(1));
    EXPECT_FALSE(w->WriteValue(0, value, 1));
    EXPECT_EQ(w->GetTime(), 10);
}

TEST(EventStore, OpeningForWritingInAMissingFolderFails) {
    EXPECT_EQ(CreateStreamWrite("/nonexistent-folder/x.awf"), nullptr);
    try {
        OpenStreamWrite("/nonexistent-folder/x.awf");
        FAIL() << "no exception";
    } catch (const KFileException& e) {
        EXPECT_NE(e.message().find("/nonexistent-folder/x.awf"), std::string::npos);
    }
}

// Bus values of each byte class the blocks pack differently (logic 0/1; 0/1 with U or X; all
// nine logic ordinals; any byte), changing a bit or two at a time as a bus does, over blocks
// closed every few events: every event and every block's starting value must come back.
struct PackingCase {
    const char* name;
    unsigned byteRange; // bytes are base + rng() % byteRange
    std::uint8_t base;
    std::size_t width = 37;
    std::uint8_t late = 0; // when set, a byte the bus takes late in each block: a section that
                           // looked like plain bits for most of its values
};

void PrintTo(const PackingCase& c, std::ostream* out) {
    *out << c.name;
}

class EventStorePacking : public ::testing::TestWithParam<PackingCase> {};

TEST_P(EventStorePacking, BusValuesRoundTripAcrossBlocks) {
    const PackingCase& c = GetParam();
    std::mt19937 rng(5);
    std::vector<std::uint8_t> bus(c.width);
    for (auto& b : bus)
        b = std::uint8_t(c.base + rng() % c.byteRange);
    std::vector<Event> events;
    for (SimTime t = 1; t <= 400; ++t) {
        for (int flips = 0; flips < 2; ++flips) {
            auto& b = bus[rng() % bus.size()];
            b = std::uint8_t(c.base + rng() % c.byteRange);
        }
        if (c.late != 0 && t % 50 == 45)
            bus[t % bus.size()] = c.late;
        events.push_back(Event{t * 10, 0, 0, bus});
        if (t % 3 == 0)
            events.push_back(Event{t * 10, 0, 1, {std::uint8_t(2 + t % 2)}});
    }
    TempFile file;
    IEventsStreamWrite* w = openWithScalars(file.path(), 2);
    for (std::size_t i = 0; i < events.size(); i += 50) {
        std::vector<Event> part(events.begin() + std::ptrdiff_t(i),
                                events.begin() + std::ptrdiff_t(std::min(i + 50, events.size())));
        ASSERT_TRUE(writeEvents(w, part));
        ASSERT_TRUE(FlushStream(w));
    }
    ASSERT_TRUE(w->Release());

    IEventsStreamRead* r = OpenStreamRead(file.path());
    Releaser<IEventsStreamRead> release{r};
    // Between two events the value is the earlier one's, also at a block's start: asked of
    // blocks nothing has decoded yet, then again once reading every event has decoded them.
    std::vector<std::uint8_t> value(bus.size());
    for (int pass = 0; pass < 2; ++pass) {
        for (std::size_t i = 0; i + 1 < events.size(); ++i) {
            if (events[i].handle != 0)
                continue;
            ASSERT_TRUE(GetSignalValue(r, events[i].time + 5, 0, value.data()));
            ASSERT_EQ(value, events[i].value) << "at " << events[i].time + 5 << " pass " << pass;
        }
        if (pass == 0) {
            EXPECT_TRUE(readAll(r) == events);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Classes, EventStorePacking,
                         ::testing::Values(PackingCase{"LogicBits", 2, 2},
                                           PackingCase{"LogicBits16Wide", 2, 2, 16},
                                           PackingCase{"LogicBits64Wide", 2, 2, 64},
                                           PackingCase{"LogicBits9Wide", 2, 2, 9},
                                           PackingCase{"LogicBitsThenUnknown", 2, 2, 64, 1},
                                           PackingCase{"LogicBitsThenHighImpedance", 2, 2, 37, 4},
                                           PackingCase{"LogicBitsThenAnyByte", 2, 2, 20, 200},
                                           PackingCase{"LogicWithUnknowns", 4, 0},
                                           PackingCase{"LogicOrdinals", 9, 0},
                                           PackingCase{"AnyByte", 256, 0}),
                         [](const auto& param) { return std::string(param.param.name); });

} // namespace
} // namespace evstream::test
