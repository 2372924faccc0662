#include "storage/EventValue.h"

#include <gtest/gtest.h>
#include <numeric>
#include <thread>
#include <vector>

namespace {

std::vector<std::uint8_t> sequence(std::size_t size) {
    std::vector<std::uint8_t> bytes(size);
    std::iota(bytes.begin(), bytes.end(), std::uint8_t{1});
    return bytes;
}

TEST(EventValue, SmallValuesAreInlineAndCompareByBytes) {
    auto bytes = sequence(4);
    EventValue a(bytes), b(bytes);
    EXPECT_FALSE(a.isShared());
    EXPECT_EQ(a.size(), 4u);
    EXPECT_EQ(a, b);
    EXPECT_EQ(std::vector<std::uint8_t>(a.bytes().begin(), a.bytes().end()), bytes);
}

TEST(EventValue, LongValuesShareOneBlockAcrossCopies) {
    auto bytes = sequence(64);
    EventValue original(bytes);
    ASSERT_TRUE(original.isShared());
    EventValue copy = original;
    EXPECT_EQ(copy.data(), original.data());
    EventValue moved = std::move(copy);
    EXPECT_EQ(moved.data(), original.data());
    EXPECT_TRUE(copy.isEmpty());
    EXPECT_EQ(std::vector<std::uint8_t>(moved.bytes().begin(), moved.bytes().end()), bytes);
}

TEST(EventValue, ValuesOfDifferentSizeOrBytesDiffer) {
    auto bytes = sequence(16);
    EventValue a(bytes);
    bytes[15] = 0;
    EXPECT_NE(a, EventValue(bytes));
    EXPECT_NE(EventValue(bytes.data(), 3), EventValue(bytes.data(), 4));
}

TEST(EventValue, ZeroedValueCanBeFilledBeforeSharing) {
    EventValue value = EventValue::zeroed(20);
    value.mutableData()[19] = 7;
    EventValue copy = value;
    EXPECT_EQ(copy.data()[19], 7);
    EXPECT_EQ(copy.data()[0], 0);
}

} // namespace

// Blocks are recycled: values made (new, or copies of borrowed ones), dropped and made again keep
// their own bytes, also when a value is dropped on another thread than the one that made it, and
// after that thread ended.
TEST(EventValue, RecycledBlocksKeepEachValuesBytes) {
    std::vector<EventValue> kept;
    std::thread maker([&] {
        for (std::uint32_t size : {9u, 30u, 60u, 120u, 250u, 400u})
            for (int i = 0; i < 300; ++i) {
                std::vector<std::uint8_t> bytes(size, static_cast<std::uint8_t>(i));
                EventValue dropped(bytes.data(), size);
                // A copy of a borrowed value takes a block of its own: `bytes` goes next.
                const EventValue borrowed = EventValue::borrow(bytes.data(), size);
                kept.push_back(i % 2 != 0 ? borrowed : EventValue(bytes.data(), size));
            }
    });
    maker.join();
    for (std::size_t i = 0; i < kept.size(); ++i)
        ASSERT_EQ(kept[i].data()[kept[i].size() - 1], static_cast<std::uint8_t>(i % 300)) << i;
    std::thread dropper([&] { kept.resize(kept.size() / 2); });
    dropper.join();
    const std::vector<std::uint8_t> bytes(60, 7);
    const EventValue again(bytes.data(), 60);
    EXPECT_EQ(again.data()[59], 7);
    EXPECT_EQ(kept.front().data()[0], 0);
}
