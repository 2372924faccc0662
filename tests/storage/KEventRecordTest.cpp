#include "storage/query/KEventRecord.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <vector>

TEST(KEventRecord, SharedBlockFlagFollowsTheValue) {
    const std::vector<std::uint8_t> wide(12, 1);
    const std::uint8_t narrow = 3;
    KEventRecord record({5, 1}, EventValue(&narrow, 1), KEventRecord::kSharedBlock);
    EXPECT_EQ(record.flags() & KEventRecord::kSharedBlock, 0); // a short value is inline
    record.setValue(EventValue(wide.data(), 12));
    EXPECT_NE(record.flags() & KEventRecord::kSharedBlock, 0);
    record.setFlags(0);
    EXPECT_NE(record.flags() & KEventRecord::kSharedBlock, 0);
    const KEventRecord copy = record; // copies share the block
    EXPECT_EQ(copy.value().data(), record.value().data());
}

TEST(KEventRecord, MergedBitAndStateCodeAreIndependent) {
    KEventRecord record({5, 0}, {});
    record.setState(KEventRecord::AtStart);
    record.setMerged(true);
    EXPECT_EQ(record.state(), KEventRecord::AtStart);
    EXPECT_TRUE(record.isMerged());
    EXPECT_EQ(record.flags(), 0x0301);
    record.setMerged(false);
    record.setState(KEventRecord::InForceAtStart);
    EXPECT_EQ(record.flags(), 0x0100);
    EXPECT_EQ(record.key(), (EventKey{5, 0}));
}
