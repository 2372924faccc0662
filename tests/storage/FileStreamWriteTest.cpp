// The database writer with its writer thread: the same file byte for byte as without it, blocks
// visible to readers after a flush, and failures of the worker reported to the caller.
#include "EventStoreTestUtil.h"

#include <csignal>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <random>
#include <sys/resource.h>

namespace evstream::test {
namespace {

// Events of `signals` signals of mixed value sizes, some keys written out of slot order.
std::vector<Event> randomEvents(int count, int signals, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<Event> events;
    SimTime time = 0;
    DeltaCycle delta = 0;
    for (int i = 0; i < count; ++i) {
        if (rng() % 3 == 0) {
            time += 1 + rng() % 50;
            delta = 0;
        } else if (rng() % 16 == 0) {
            ++delta;
        }
        Event e{time, delta, SignalHandle(rng() % unsigned(signals)), {}};
        std::size_t size = e.handle % 3 == 0 ? 1 : e.handle % 3 == 1 ? 4 : 33;
        for (std::size_t b = 0; b < size; ++b)
            e.value.push_back(std::uint8_t(e.handle % 3 == 0 ? 2 + rng() % 2 : rng() % 9));
        events.push_back(std::move(e));
    }
    return events;
}

// How a test drives the writer between its batches of events.
enum class Between { Nothing, Flush, Property, ToggleThread };

struct Scenario {
    const char* name;
    int events;
    int signals;
    int batches;
    Between between;
};

// Writes the scenario into `path`, with or without the writer thread.
void writeScenario(const Scenario& s, const std::string& path, bool thread) {
    IEventsStreamWrite* w = openWithScalars(path, s.signals);
    ASSERT_EQ(SetWriterThread(w, thread), true);
    auto events = randomEvents(s.events, s.signals, 11);
    std::size_t step = events.size() / std::size_t(s.batches) + 1;
    for (std::size_t i = 0, batch = 0; i < events.size(); i += step, ++batch) {
        std::vector<Event> part(events.begin() + std::ptrdiff_t(i),
                                events.begin() + std::ptrdiff_t(std::min(i + step, events.size())));
        ASSERT_TRUE(writeEvents(w, part));
        bool ok = true;
        if (s.between == Between::Flush)
            ok = FlushStream(w);
        else if (s.between == Between::Property)
            ok = w->SetProperty(0, "batch", std::to_string(batch));
        else if (s.between == Between::ToggleThread)
            ok = SetWriterThread(w, batch % 2 == 0 ? !thread : thread);
        ASSERT_TRUE(ok);
    }
    ASSERT_TRUE(w->Release());
}

class WriterThreadFile : public ::testing::TestWithParam<Scenario> {};

TEST_P(WriterThreadFile, IsTheSameFileAsWithoutIt) {
    TempFile plain, threaded;
    writeScenario(GetParam(), plain.path(), false);
    writeScenario(GetParam(), threaded.path(), true);
    auto expected = readFileBytes(plain.path());
    ASSERT_GT(expected.size(), 100u);
    EXPECT_TRUE(readFileBytes(threaded.path()) == expected);

    IEventsStreamRead* r = OpenStreamRead(threaded.path());
    Releaser<IEventsStreamRead> release{r};
    EXPECT_EQ(readAll(r).size(), std::size_t(GetParam().events));
}

INSTANTIATE_TEST_SUITE_P(
    Scenarios, WriterThreadFile,
    ::testing::Values(Scenario{"ManyBlocks", 800000, 40, 1, Between::Nothing},
                      Scenario{"WideFile", 300000, 3000, 1, Between::Nothing},
                      Scenario{"FlushedOften", 50000, 10, 25, Between::Flush},
                      Scenario{"MetadataBetweenBlocks", 600000, 12, 7, Between::Property},
                      Scenario{"ThreadSwitchedOnAndOff", 600000, 12, 6, Between::ToggleThread},
                      Scenario{"FewEvents", 5, 3, 1, Between::Nothing}),
    [](const auto& test) { return std::string(test.param.name); });

// One-byte values fill a block by its event count rather than its bytes: a block closed at
// exactly that count, with and without the writer thread, still reads back every event.
TEST(WriterThread, BlocksFullOfOneByteEventsReadBack) {
    std::vector<Event> events;
    for (int i = 0; i < 600000; ++i)
        events.push_back(
            Event{SimTime(i / 3), 0, SignalHandle(i % 3), {std::uint8_t(2 + (i / 3 + i % 3) % 2)}});
    for (bool thread : {false, true}) {
        TempFile file;
        IEventsStreamWrite* w = openWithScalars(file.path(), 3);
        ASSERT_TRUE(SetWriterThread(w, thread));
        ASSERT_TRUE(writeEvents(w, events));
        ASSERT_TRUE(w->Release());
        IEventsStreamRead* r = OpenStreamRead(file.path());
        Releaser<IEventsStreamRead> release{r};
        EXPECT_TRUE(readAll(r) == events) << "writer thread " << thread;
    }
}

TEST(WriterThread, ReaderSeesFlushedBlocksOnRefresh) {
    TempFile file;
    IEventsStreamWrite* w = openWithScalars(file.path(), 3);
    ASSERT_TRUE(SetWriterThread(w, true));
    auto events = randomEvents(400000, 3, 5);
    std::vector<Event> first(events.begin(), events.begin() + 300000);
    ASSERT_TRUE(writeEvents(w, first));
    ASSERT_TRUE(FlushStream(w));

    IEventsStreamRead* r = OpenStreamRead(file.path());
    Releaser<IEventsStreamRead> release{r};
    EXPECT_TRUE(readAll(r) == first);

    std::vector<Event> rest(events.begin() + 300000, events.end());
    ASSERT_TRUE(writeEvents(w, rest));
    ASSERT_TRUE(FlushStream(w));
    EXPECT_TRUE(r->Refresh());
    EXPECT_EQ(r->GetEndTime(), events.back().time);
    std::uint8_t value[33] = {};
    EXPECT_TRUE(GetSignalValue(r, events.back().time, events.back().handle, value));
    EXPECT_TRUE(std::equal(events.back().value.begin(), events.back().value.end(), value));
    ASSERT_TRUE(w->Release());
    EXPECT_FALSE(SetWriterThread(nullptr, true)); // only database files have one
}

TEST(WriteOrder, WhenNotKeptEventsAtOneKeyReadBackInDeclarationOrder) {
    std::vector<Event> written = {
        {5, 0, 3, {2}}, {5, 0, 1, {3}}, {5, 0, 2, {2}}, {5, 0, 1, {2}}, // signal 1 twice
        {5, 1, 2, {3}}, {5, 1, 0, {3}}, {9, 0, 2, {3}}, {9, 0, 0, {2}},
    };
    std::vector<Event> expected = {
        {5, 0, 1, {3}}, {5, 0, 1, {2}}, {5, 0, 2, {2}}, {5, 0, 3, {2}},
        {5, 1, 0, {3}}, {5, 1, 2, {3}}, {9, 0, 0, {2}}, {9, 0, 2, {3}},
    };
    for (bool thread : {false, true}) {
        TempFile file;
        IEventsStreamWrite* w = openWithScalars(file.path(), 4);
        ASSERT_TRUE(SetWriteOrderKept(w, false));
        ASSERT_TRUE(SetWriterThread(w, thread));
        ASSERT_TRUE(writeEvents(w, written));
        ASSERT_TRUE(w->Release());

        IEventsStreamRead* r = OpenStreamRead(file.path());
        Releaser<IEventsStreamRead> release{r};
        EXPECT_TRUE(readAll(r) == expected);
    }
    EXPECT_FALSE(SetWriteOrderKept(nullptr, false));
}

TEST(WriteOrder, NotKeptMakesShuffledKeysSmaller) {
    auto events = randomEvents(200000, 50, 9);
    std::uintmax_t sizes[2] = {};
    for (bool kept : {false, true}) {
        TempFile file;
        IEventsStreamWrite* w = openWithScalars(file.path(), 50);
        SetWriteOrderKept(w, kept);
        ASSERT_TRUE(writeEvents(w, events));
        ASSERT_TRUE(w->Release());
        sizes[kept ? 1 : 0] = std::filesystem::file_size(file.path());
    }
    EXPECT_LT(sizes[0], sizes[1]);
}

// Caps the size of files this process writes, so that a write fails part way as on a full disk.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
};

// Incompressible 4-byte values of 8 signals, one per time step.
bool writeNoise(IEventsStreamWrite* w, int count) {
    std::mt19937 rng(3);
    for (int i = 0; i < count; ++i) {
        std::uint32_t value = rng();
        if (!w->SetTime(i) || !w->WriteValue(i % 8, &value, 4))
            return false;
    }
    return true;
}

IEventsStreamWrite* threadedWriter(const std::string& path) {
    IEventsStreamWrite* w = openWithScalars(path, 8);
    EXPECT_TRUE(SetWriterThread(w, true));
    return w;
}

TEST(WriterThreadFailure, RefusesTheNextEventsAndTheFlush) {
    TempFile file;
    FileSizeLimit limit(200000);
    IEventsStreamWrite* w = threadedWriter(file.path());
    EXPECT_FALSE(writeNoise(w, 2000000));
    EXPECT_FALSE(w->WriteValue(0, "abcd", 4));
    EXPECT_FALSE(FlushStream(w));
    EXPECT_FALSE(w->Release());
}

TEST(WriterThreadFailure, IsReportedByRelease) {
    TempFile file;
    FileSizeLimit limit(20000);
    IEventsStreamWrite* w = threadedWriter(file.path());
    ASSERT_TRUE(writeNoise(w, 10000)); // less than a block: written at Release
    EXPECT_FALSE(w->Release());
}

} // namespace
} // namespace evstream::test
