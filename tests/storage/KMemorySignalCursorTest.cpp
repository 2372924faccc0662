#include "storage/KEventsReadHandle.h"
#include "storage/KEventsWriteHandle.h"
#include "storage/KFileException.h"
#include "storage/KSignalCursor.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <tuple>
#include <vector>

namespace {

struct Written {
    SimTime time;
    DeltaCycle delta;
    SignalHandle handle;
    std::uint8_t value;
};

// A memory snapshot of the given events (written in the given order).
KEventsReadHandle snapshot(const std::vector<Written>& events) {
    KEventsWriteHandle writer = KEventsWriteHandle::createMemory();
    for (const Written& event : events) {
        writer.setTime(event.time);
        if (event.delta != 0)
            writer.setDelta(event.delta);
        writer.writeValue(event.handle, &event.value, 1);
    }
    return KEventsReadHandle::fromWriter(writer);
}

using Seen = std::vector<std::tuple<SimTime, DeltaCycle, int>>;

// Everything a cursor reads from `time` on.
Seen readFrom(KSignalCursor& cursor, SimTime time) {
    Seen seen;
    for (bool more = cursor.seek(time); more; more = cursor.next())
        seen.emplace_back(cursor.time(), cursor.delta(), cursor.value().data()[0]);
    return seen;
}

const std::vector<Written> kMixed = {
    {10, 0, 1, 'a'}, {10, 0, 2, 'x'}, {20, 0, 2, 'y'}, {20, 1, 1, 'b'},
    {30, 0, 1, 'c'}, {35, 0, 3, 'z'}, {40, 0, 1, 'd'},
};

} // namespace

TEST(KMemorySignalCursor, ReadsOnlyItsSignalInKeyOrder) {
    const KEventsReadHandle source = snapshot(kMixed);
    auto cursor = source.openCursor(1);
    ASSERT_NE(cursor, nullptr);
    EXPECT_TRUE(cursor->atEnd()); // no position before the first seek
    EXPECT_EQ(readFrom(*cursor, 0), (Seen{{10, 0, 'a'}, {20, 1, 'b'}, {30, 0, 'c'}, {40, 0, 'd'}}));
}

TEST(KMemorySignalCursor, SeekFindsTheFirstEventAtOrAfterTheTime) {
    const KEventsReadHandle source = snapshot(kMixed);
    auto cursor = source.openCursor(1);
    struct Case {
        SimTime time;
        bool found;
        SimTime at;
    };
    for (const Case& c : {Case{-5, true, 10}, Case{10, true, 10}, Case{11, true, 20},
                          Case{20, true, 20}, Case{40, true, 40}, Case{41, false, 0}}) {
        SCOPED_TRACE(c.time);
        EXPECT_EQ(cursor->seek(c.time), c.found);
        EXPECT_EQ(cursor->atEnd(), !c.found);
        if (c.found) {
            EXPECT_EQ(cursor->time(), c.at);
        }
    }
}

TEST(KMemorySignalCursor, PreviousIsTheLastEventBeforeThePosition) {
    const KEventsReadHandle source = snapshot(kMixed);
    auto cursor = source.openCursor(1);
    EventKey key;
    EventValue value;
    cursor->seek(0);
    EXPECT_FALSE(cursor->previous(key, &value));
    cursor->seek(30);
    ASSERT_TRUE(cursor->previous(key, &value));
    EXPECT_EQ(key, (EventKey{20, 1}));
    EXPECT_EQ(value.data()[0], 'b');
    cursor->seek(1000); // at the end: the last event of all
    ASSERT_TRUE(cursor->previous(key, &value));
    EXPECT_EQ(key, (EventKey{40, 0}));
    EXPECT_EQ(cursor->atEnd(), true);
}

TEST(KMemorySignalCursor, OffsetMovesTimesOutAndSeeksIn) {
    const KEventsReadHandle source = snapshot(kMixed).sharedWithShift(100);
    auto cursor = source.openCursor(1);
    EXPECT_EQ(readFrom(*cursor, 125), (Seen{{130, 0, 'c'}, {140, 0, 'd'}}));
    EventKey key;
    EventValue value;
    cursor->seek(125);
    ASSERT_TRUE(cursor->previous(key, &value));
    EXPECT_EQ(key, (EventKey{120, 1}));
}

TEST(KMemorySignalCursor, HugeOffsetsSaturateInsteadOfWrapping) {
    const KEventsReadHandle source = snapshot(kMixed).sharedWithShift(kMaxTime - 15);
    auto cursor = source.openCursor(1);
    ASSERT_TRUE(cursor->seek(0));
    EXPECT_EQ(cursor->time(), kMaxTime - 5);
    ASSERT_TRUE(cursor->next());
    EXPECT_EQ(cursor->time(), kMaxTime); // 20 + offset saturates
}

TEST(KMemorySignalCursor, SignalWithoutEventsIsEmpty) {
    const KEventsReadHandle source = snapshot(kMixed);
    for (SignalHandle handle : {0, 99, kNoSignal}) {
        auto cursor = source.openCursor(handle);
        ASSERT_NE(cursor, nullptr);
        EXPECT_FALSE(cursor->seek(0));
        EXPECT_FALSE(cursor->next());
        EventKey key;
        EventValue value;
        EXPECT_FALSE(cursor->previous(key, &value));
    }
    EXPECT_FALSE(snapshot({}).openCursor(1)->seek(0));
}

TEST(KMemorySignalCursor, ClonesAndCursorsDoNotDisturbEachOther) {
    const KEventsReadHandle source = snapshot(kMixed);
    KEventsReadHandle clone = source.cloned(0);
    auto first = source.openCursor(1);
    auto second = clone.openCursor(1);
    first->seek(30);
    second->seek(0);
    EXPECT_EQ(first->time(), 30);
    EXPECT_EQ(second->time(), 10);
    // The handle's own sequential reading goes on unaffected.
    clone.seek(0);
    EXPECT_EQ(clone.readNextEvent(), 1);
    EXPECT_EQ(clone.time(), 10);
}

TEST(KMemorySignalCursor, LongValuesAreShared) {
    KEventsWriteHandle writer = KEventsWriteHandle::createMemory();
    std::vector<std::uint8_t> bytes(64, 7);
    writer.setTime(5);
    writer.writeValue(1, bytes.data(), 64);
    const KEventsReadHandle source = KEventsReadHandle::fromWriter(writer);
    auto cursor = source.openCursor(1);
    ASSERT_TRUE(cursor->seek(0));
    EXPECT_EQ(cursor->value().size(), 64u);
    EXPECT_TRUE(cursor->value().isShared());
    EXPECT_EQ(cursor->value().data(), cursor->value().data()); // one block, not copies
}

TEST(KMemorySignalCursor, NullHandleThrows) {
    EXPECT_THROW(KEventsReadHandle().openCursor(1), KFileException);
}
