#include "storage/KEventsReadHandle.h"
#include "storage/KEventsWriteHandle.h"
#include "storage/KFileException.h"
#include "storage/KSignalCursor.h"

#include <cstdint>
#include <gtest/gtest.h>
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

const std::vector<Written> kMixed = {
    {10, 0, 1, 'a'}, {10, 0, 2, 'x'}, {20, 0, 2, 'y'}, {20, 1, 1, 'b'},
    {30, 0, 1, 'c'}, {35, 0, 3, 'z'}, {40, 0, 1, 'd'},
};

} // namespace

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
