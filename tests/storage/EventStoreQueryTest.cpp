// The index queries and per-signal reads, checked against a plain list of the events written,
// on a closed file (with its index) and on one still being written (recovered by scanning).
#include "EventStoreTestUtil.h"
#include "storage/evstream/FileStreamRead.h"
#include "storage/evstream/SignalCursor.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <memory>
#include <random>

namespace evstream::test {
namespace {

constexpr int kSignals = 8;

enum class FileState { Closed, StillWriting };

void PrintTo(FileState state, std::ostream* out) {
    *out << (state == FileState::Closed ? "closed" : "still being written");
}

class EventStoreQuery : public ::testing::TestWithParam<FileState> {
protected:
    void SetUp() override {
        std::mt19937 rng(42);
        SimTime time = 100;
        for (int i = 0; i < 20000; ++i) {
            if (rng() % 3 == 0)
                time += 1 + rng() % 50;
            // Signal 7 is quiet for most of the file: only near the start and the end.
            auto h = SignalHandle(rng() % kSignals);
            if (h == 7 && i > 500 && i < 19000)
                continue;
            DeltaCycle delta = rng() % 5 == 0 ? 1 : 0;
            if (!m_events.empty() && m_events.back().time == time)
                delta = std::max(delta, m_events.back().delta);
            m_events.push_back({time, delta, h, {std::uint8_t(rng() % 9), std::uint8_t(h)}});
        }
        m_writer = openWithScalars(m_file.path(), kSignals);
        // Many small blocks, so that queries cross block boundaries everywhere.
        for (std::size_t i = 0; i < m_events.size(); i += 450) {
            std::vector<Event> part(m_events.begin() + std::ptrdiff_t(i),
                                    m_events.begin() +
                                        std::ptrdiff_t(std::min(i + 450, m_events.size())));
            ASSERT_TRUE(writeEvents(m_writer, part));
            ASSERT_TRUE(FlushStream(m_writer));
        }
        if (GetParam() == FileState::Closed) {
            ASSERT_TRUE(m_writer->Release());
            m_writer = nullptr;
        }
        m_reader = OpenStreamRead(m_file.path());
        for (const Event& e : m_events)
            m_bySignal[e.handle].push_back(e);
    }

    void TearDown() override {
        if (m_reader != nullptr)
            m_reader->Release();
        if (m_writer != nullptr)
            m_writer->Release();
    }

    std::vector<SimTime> probeTimes() const {
        std::vector<SimTime> times = {0, 99, 100, m_events.back().time, m_events.back().time + 1};
        for (std::size_t i = 0; i < m_events.size(); i += 997) {
            times.push_back(m_events[i].time);
            times.push_back(m_events[i].time + 1);
            times.push_back(m_events[i].time - 1);
        }
        return times;
    }

    TempFile m_file;
    std::vector<Event> m_events;
    std::vector<Event> m_bySignal[kSignals];
    IEventsStreamWrite* m_writer = nullptr;
    IEventsStreamRead* m_reader = nullptr;
};

TEST_P(EventStoreQuery, ValueAndEventsAroundATimeMatchTheEventsWritten) {
    for (SimTime t : probeTimes()) {
        for (SignalHandle h = 0; h < kSignals; ++h) {
            const auto& list = m_bySignal[h];
            auto it = std::upper_bound(list.begin(), list.end(), t,
                                       [](SimTime v, const Event& e) { return v < e.time; });
            std::uint8_t value[2] = {};
            const bool hasValue = GetSignalValue(m_reader, t, h, value);
            ASSERT_EQ(hasValue, it != list.begin()) << "t=" << t << " h=" << h;
            if (hasValue) {
                EXPECT_EQ(value[0], std::prev(it)->value[0]) << "t=" << t << " h=" << h;
                EXPECT_EQ(value[1], h);
            }
            std::int64_t before = 0, after = 0, count = 0;
            int found = GetSignalEvents(m_reader, t, h, before, after, count);
            SimTime expectBefore = it == list.begin() ? kNoTime : std::prev(it)->time;
            SimTime expectAfter = it == list.end() ? kNoTime : it->time;
            EXPECT_EQ(before, expectBefore) << "t=" << t << " h=" << h;
            EXPECT_EQ(after, expectAfter) << "t=" << t << " h=" << h;
            EXPECT_EQ(count, it - list.begin()) << "t=" << t << " h=" << h;
            EXPECT_EQ(found, (expectBefore != kNoTime) + (expectAfter != kNoTime));
        }
    }
    std::uint8_t value[2];
    EXPECT_FALSE(GetSignalValue(m_reader, 1000, 99, value));
    std::int64_t a, b, c;
    EXPECT_LT(GetSignalEvents(m_reader, 0, 99, a, b, c), 0);
}

TEST_P(EventStoreQuery, RewindThenReadNextEventContinuesFromTheTime) {
    for (SimTime t : probeTimes()) {
        ASSERT_TRUE(m_reader->Rewind(t));
        auto it = std::find_if(m_events.begin(), m_events.end(),
                               [&](const Event& e) { return e.time >= t; });
        for (int n = 0; n < 30 && it != m_events.end(); ++n, ++it) {
            ASSERT_EQ(m_reader->ReadNextEvent(), it->handle) << "t=" << t;
            EXPECT_EQ(m_reader->GetTime(), it->time);
            EXPECT_EQ(m_reader->GetDelta(), it->delta);
        }
        if (it == m_events.end()) {
            EXPECT_EQ(m_reader->ReadNextEvent(), kNoSignal);
        }
    }
}

TEST_P(EventStoreQuery, SkipToMovesToTheFirstEventAtOrAfterTheTime) {
    m_reader->Rewind(0);
    for (SimTime t = 0; t < m_events.back().time + 100; t += 1777) {
        auto it = std::find_if(m_events.begin(), m_events.end(),
                               [&](const Event& e) { return e.time >= t; });
        SimTime expected = it == m_events.end() ? kNoTime : it->time;
        ASSERT_EQ(m_reader->SkipTo(t), expected) << "t=" << t;
        if (it != m_events.end()) {
            ASSERT_EQ(m_reader->ReadNextEvent(), it->handle);
            EXPECT_EQ(m_reader->GetTime(), it->time);
        }
    }
}

TEST_P(EventStoreQuery, ReadNextEventOfReadsOneSignalFromTheRewindTime) {
    for (SignalHandle h : {0, 7}) {
        SimTime t = m_events[m_events.size() / 3].time;
        ASSERT_TRUE(m_reader->Rewind(t));
        std::vector<Event> got;
        std::uint8_t value[2];
        while (m_reader->ReadNextEventOf(h, value))
            got.push_back({m_reader->GetTime(), m_reader->GetDelta(), h, {value[0], value[1]}});
        std::vector<Event> expected;
        std::copy_if(m_bySignal[h].begin(), m_bySignal[h].end(), std::back_inserter(expected),
                     [&](const Event& e) { return e.time >= t; });
        EXPECT_TRUE(got == expected) << "h=" << h;
    }
}

TEST_P(EventStoreQuery, CursorSeeksToTheFirstEventAtOrAfterATimeAndStepsBothWays) {
    for (SignalHandle h = 0; h < kSignals; ++h) {
        auto cursor = OpenSignalCursor(m_reader, h);
        ASSERT_NE(cursor, nullptr);
        const auto& list = m_bySignal[h];
        // The cursor stands on event `at` of the signal.
        auto expectOn = [&](std::vector<Event>::const_iterator at) {
            EXPECT_EQ(cursor->time(), at->time);
            EXPECT_EQ(cursor->delta(), at->delta);
            EXPECT_EQ(cursor->value()[0], at->value[0]);
            EXPECT_EQ(cursor->eventIndex(), std::uint64_t(at - list.begin()));
        };
        for (SimTime t : probeTimes()) {
            SCOPED_TRACE("t=" + std::to_string(t) + " h=" + std::to_string(h));
            auto it = std::lower_bound(list.begin(), list.end(), t,
                                       [](const Event& e, SimTime v) { return e.time < v; });
            ASSERT_EQ(cursor->seek(t), it != list.end());
            if (it != list.end()) {
                expectOn(it);
                if (std::next(it) != list.end()) {
                    ASSERT_TRUE(cursor->next());
                    EXPECT_EQ(cursor->time(), std::next(it)->time);
                }
                cursor->seek(t);
            }
            if (it == list.begin()) {
                EXPECT_FALSE(cursor->previous());
                EXPECT_EQ(cursor->atEnd(), list.empty());
                continue;
            }
            ASSERT_TRUE(cursor->previous());
            expectOn(std::prev(it));
            // next() comes back to where the cursor was.
            ASSERT_EQ(cursor->next(), it != list.end());
            if (it != list.end())
                expectOn(it);
        }
    }
    EXPECT_EQ(OpenSignalCursor(m_reader, 99), nullptr);
    EXPECT_EQ(GetSignalValueSize(m_reader, 3), 2u);
}

TEST_P(EventStoreQuery, CursorComesBackToItsMarkFromAnywhere) {
    auto cursor = OpenSignalCursor(m_reader, 7); // quiet: its events are blocks apart
    const auto& list = m_bySignal[7];
    dynamic_cast<FileStreamRead&>(*m_reader).store().setCacheBytes(0);
    for (std::size_t i : {std::size_t(0), list.size() / 2, list.size() - 1}) {
        ASSERT_TRUE(cursor->seek(list[i].time));
        i = cursor->eventIndex(); // the first of the events at that time
        SignalCursor::Mark mark = cursor->mark();
        cursor->seek(list.front().time);
        cursor->previous();
        cursor->restore(mark);
        EXPECT_EQ(cursor->eventIndex(), i);
        EXPECT_EQ(cursor->delta(), list[i].delta);
        EXPECT_EQ(cursor->next(), i + 1 < list.size());
    }
    cursor->seek(list.back().time + 1);
    SignalCursor::Mark end = cursor->mark();
    cursor->previous();
    cursor->restore(end);
    EXPECT_TRUE(cursor->atEnd());
}

// Cursors moving side by side through time keep what they read when the blocks they stand in
// leave the cache, whether it keeps one block or all of them.
TEST_P(EventStoreQuery, CursorsSideBySideReadEveryEventWhateverTheCacheKeeps) {
    for (std::size_t budget : {std::size_t(0), std::size_t(40'000), BlockStore::kCacheBytes}) {
        dynamic_cast<FileStreamRead&>(*m_reader).store().setCacheBytes(budget);
        std::vector<std::unique_ptr<SignalCursor>> cursors;
        std::vector<Event> got[kSignals];
        for (SignalHandle h = 0; h < kSignals; ++h) {
            cursors.push_back(OpenSignalCursor(m_reader, h));
            cursors.back()->seek(0);
        }
        for (SimTime until = 0; until <= m_events.back().time + 500; until += 500) {
            for (SignalHandle h = 0; h < kSignals; ++h) {
                SignalCursor& cursor = *cursors[std::size_t(h)];
                for (; !cursor.atEnd() && cursor.time() < until; cursor.next())
                    got[h].push_back(
                        {cursor.time(), cursor.delta(), h, {cursor.value()[0], cursor.value()[1]}});
            }
        }
        for (SignalHandle h = 0; h < kSignals; ++h)
            EXPECT_TRUE(got[h] == m_bySignal[h]) << "h=" << h << " budget=" << budget;
    }
}

TEST_P(EventStoreQuery, MilestonesAreBlockStartsInAscendingOrder) {
    SimTime t = -1;
    int count = 0;
    for (SimTime m = GetNextMilestone(m_reader, t); m != kNoTime;
         m = GetNextMilestone(m_reader, t)) {
        EXPECT_GT(m, t);
        t = m;
        ++count;
    }
    EXPECT_GE(count, 40); // one per flushed block (a few may share a start time)
    EXPECT_EQ(GetNextMilestone(m_reader, m_events.back().time), kNoTime);
}

INSTANTIATE_TEST_SUITE_P(Files, EventStoreQuery,
                         ::testing::Values(FileState::Closed, FileState::StillWriting),
                         [](const auto& param) {
                             return param.param == FileState::Closed ? "Closed" : "StillWriting";
                         });

TEST(EventStoreQueries, ASignalFirstWrittenInALaterBlockHasNoValueBefore) {
    TempFile file;
    IEventsStreamWrite* w = openWithScalars(file.path(), 2);
    for (SimTime t = 0; t < 5; ++t) {
        ASSERT_TRUE(writeEvents(w, {{t * 10, 0, 0, {2}}}));
        ASSERT_TRUE(FlushStream(w)); // one block per event
    }
    ASSERT_TRUE(writeEvents(w, {{100, 0, 1, {1, 2, 3, 4}}}));
    ASSERT_TRUE(w->Release());

    IEventsStreamRead* r = OpenStreamRead(file.path());
    Releaser<IEventsStreamRead> release{r};
    std::uint8_t value[4];
    EXPECT_FALSE(GetSignalValue(r, 99, 1, value));
    ASSERT_TRUE(GetSignalValue(r, 100, 1, value));
    EXPECT_EQ(value[3], 4);
    std::int64_t before = 0, after = 0, count = 0;
    EXPECT_EQ(GetSignalEvents(r, 25, 1, before, after, count), 1);
    EXPECT_EQ(before, kNoTime);
    EXPECT_EQ(after, 100);
    EXPECT_EQ(count, 0);
    auto cursor = OpenSignalCursor(r, 1);
    ASSERT_TRUE(cursor->seek(0));
    EXPECT_EQ(cursor->time(), 100);
    EXPECT_FALSE(cursor->next());
    EXPECT_TRUE(cursor->atEnd());
    EXPECT_EQ(GetNextMilestone(r, 0), 10);
    EXPECT_EQ(GetNextMilestone(r, 40), 100);
}

TEST(EventStoreVirtualBus, BusesAreBuiltOverExistingSignals) {
    TempFile file;
    IEventsStreamWrite* w = openWithScalars(file.path(), 3);
    ASSERT_TRUE(w->Release());
    IEventsStreamRead* r = OpenStreamRead(file.path());
    Releaser<IEventsStreamRead> release{r};
    // A depth-first walk: bus -2 holds signal 2 and bus -3, which holds signals 0 and 1.
    EXPECT_FALSE(SetBus(r, kNoSignal, kNoSignal, 0, 2)); // -1 names no signal
    ASSERT_TRUE(SetBus(r, -2, kNoSignal, 0, 2));
    ASSERT_TRUE(SetScalar(r, 2, -2, 0));
    ASSERT_TRUE(SetBus(r, -3, -2, 1, 2));
    ASSERT_TRUE(SetScalar(r, 0, -3, 0));
    ASSERT_TRUE(SetScalar(r, 1, -3, 1));
    EXPECT_EQ(r->GetChild(-2, 0), 2);
    EXPECT_EQ(r->GetChild(-2, 1), -3);
    EXPECT_EQ(r->GetChild(-3, 1), 1);
    EXPECT_EQ(GetParent(r, -3), -2);
    EXPECT_EQ(GetParent(r, 0), -3);
    SignalInfo info;
    ASSERT_TRUE(r->GetSignalInfo(-3, info));
    EXPECT_TRUE(info.isComposite);
    EXPECT_EQ(info.childCount, 2);
    EXPECT_EQ(r->GetRootCount(), 3); // virtual buses are not file signals

    EXPECT_FALSE(SetBus(r, 1, kNoSignal, 0, 1)); // handle in use
    EXPECT_FALSE(SetBus(r, -4, 0, 0, 1));        // parent is not a bus
    EXPECT_FALSE(SetScalar(r, 77, -2, 0));       // unknown signal
    EXPECT_FALSE(SetScalar(r, 0, 1, 0));         // parent is not a bus
    EXPECT_EQ(OpenSignalCursor(r, -2), nullptr); // a bus has no events of its own
}

} // namespace
} // namespace evstream::test
