// Both kinds of signal cursor (memory snapshot and database file) against a plain list of the
// events written, with and without a time offset.

#include "storage/KSignalCursor.h"

#include "EventStoreTestUtil.h"
#include "storage/KEventsReadHandle.h"
#include "storage/KEventsWriteHandle.h"
#include "storage/MemoryWaveStream.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <random>

using evstream::test::Event;

namespace {

enum class Kind { Memory, Database };

constexpr int kSignals = 3;

class KSignalCursorTest : public ::testing::TestWithParam<std::tuple<Kind, SimTime>> {
protected:
    void SetUp() override {
        std::mt19937 rng(7);
        SimTime time = 0;
        for (int i = 0; i < 5000; ++i) {
            time += rng() % 4 == 0 ? 1 + rng() % 40 : 0;
            const DeltaCycle delta =
                !m_events.empty() && m_events.back().time == time ? m_events.back().delta + 1 : 0;
            // Signal 2 is quiet for the middle of the file.
            auto handle = SignalHandle(rng() % kSignals);
            if (handle == 2 && i > 300 && i < 4700)
                continue;
            m_events.push_back({time, delta, handle, {std::uint8_t(i), std::uint8_t(handle)}});
        }
        if (std::get<0>(GetParam()) == Kind::Memory) {
            auto* stream = new KMemoryWaveStreamWrite;
            const auto writer = KEventsWriteHandle::adopt(stream);
            ASSERT_TRUE(evstream::test::writeEvents(stream, m_events));
            m_source = KEventsReadHandle::fromWriter(writer);
        } else {
            evstream::IEventsStreamWrite* writer =
                evstream::test::openWithScalars(m_file.path(), kSignals);
            // Small blocks, so that reads cross block boundaries everywhere.
            for (std::size_t i = 0; i < m_events.size(); i += 300) {
                const auto end = std::min(i + 300, m_events.size());
                ASSERT_TRUE(
                    evstream::test::writeEvents(writer, {m_events.begin() + std::ptrdiff_t(i),
                                                         m_events.begin() + std::ptrdiff_t(end)}));
                ASSERT_TRUE(evstream::FlushStream(writer));
            }
            ASSERT_TRUE(writer->Release());
            m_source = KEventsReadHandle::openDatabase(m_file.path());
        }
        m_offset = std::get<1>(GetParam());
        m_source = m_source.sharedWithShift(m_offset);
        for (const Event& event : m_events)
            m_bySignal[event.handle].push_back(event);
    }

    static void expectAt(const KSignalCursor& cursor, const Event& event, SimTime offset) {
        EXPECT_EQ(cursor.time(), event.time + offset);
        EXPECT_EQ(cursor.delta(), event.delta);
        EXPECT_EQ(cursor.value().size(), 2u);
        EXPECT_EQ(cursor.value().data()[0], event.value[0]);
    }

    evstream::test::TempFile m_file;
    std::vector<Event> m_events;
    std::vector<Event> m_bySignal[kSignals];
    KEventsReadHandle m_source;
    SimTime m_offset = 0;
};

} // namespace

TEST_P(KSignalCursorTest, SeekNextAndPreviousFollowTheSignalsEvents) {
    const SimTime last = m_events.back().time;
    for (SignalHandle handle = 0; handle < kSignals; ++handle) {
        SCOPED_TRACE(handle);
        auto cursor = m_source.openCursor(handle);
        ASSERT_NE(cursor, nullptr);
        const auto& list = m_bySignal[handle];
        for (SimTime probe = -3; probe <= last + 3; probe += 37) {
            const SimTime time = probe + m_offset;
            auto it = std::lower_bound(list.begin(), list.end(), probe,
                                       [](const Event& e, SimTime t) { return e.time < t; });
            ASSERT_EQ(cursor->seek(time), it != list.end()) << time;
            EventKey key;
            EventValue value;
            ASSERT_EQ(cursor->previous(key, &value), it != list.begin()) << time;
            if (it != list.begin()) {
                EXPECT_EQ(key, (EventKey{std::prev(it)->time + m_offset, std::prev(it)->delta}));
                EXPECT_EQ(value.data()[0], std::prev(it)->value[0]);
            }
            // previous() does not move the cursor.
            for (int step = 0; step < 3 && it != list.end(); ++step, ++it) {
                ASSERT_FALSE(cursor->atEnd());
                expectAt(*cursor, *it, m_offset);
                cursor->next();
            }
        }
        // At the end, previous() is the last event of all.
        EXPECT_FALSE(cursor->seek(last + m_offset + 1));
        EventKey key;
        EventValue value;
        ASSERT_TRUE(cursor->previous(key, &value));
        EXPECT_EQ(key.time, list.back().time + m_offset);
        EXPECT_TRUE(cursor->atEnd());
    }
}

TEST_P(KSignalCursorTest, SignalWithoutEventsGivesNoCursorOrAnEmptyOne) {
    auto cursor = m_source.openCursor(77);
    if (cursor) {
        EXPECT_FALSE(cursor->seek(0));
        EventKey key;
        EventValue value;
        EXPECT_FALSE(cursor->previous(key, &value));
    }
}

INSTANTIATE_TEST_SUITE_P(Sources, KSignalCursorTest,
                         ::testing::Combine(::testing::Values(Kind::Memory, Kind::Database),
                                            ::testing::Values(SimTime{0}, SimTime{1000})),
                         [](const auto& param) {
                             return std::string(std::get<0>(param.param) == Kind::Memory
                                                    ? "Memory"
                                                    : "Database") +
                                    "Offset" + std::to_string(std::get<1>(param.param));
                         });
