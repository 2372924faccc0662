#include "document/KEventSegmentMap.h"

#include "../storage/FakeEventStreams.h"
#include "QueryTestUtil.h"
#include "storage/KFileException.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <utility>
#include <vector>

namespace {

using Ranges = std::vector<std::pair<SimTime, SimTime>>;

KEventSegment segment(SimTime from, SimTime to, KEventsReadHandle source = {}) {
    return KEventSegment({from, 0}, {to, 0}, std::move(source), 0);
}

Ranges ranges(const KEventSegmentMap& map) {
    Ranges result;
    for (const auto& [key, seg] : map) {
        EXPECT_EQ(key, seg.from());
        EXPECT_EQ(seg.from().delta, 0);
        EXPECT_EQ(seg.to().delta, 0);
        result.emplace_back(seg.from().time, seg.to().time);
    }
    return result;
}

// True when no segment is empty and none overlaps the next.
bool wellFormed(const KEventSegmentMap& map) {
    const KEventSegment* previous = nullptr;
    for (const auto& [key, seg] : map) {
        if (seg.isEmpty() || !(key == seg.from()))
            return false;
        if (previous != nullptr && seg.from() < previous->to())
            return false;
        previous = &seg;
    }
    return true;
}

KEventSegmentMap mapOf(const Ranges& initial) {
    KEventSegmentMap map;
    for (auto [from, to] : initial)
        map.insert(segment(from, to), InsertForm::Overwrite);
    return map;
}

// The times of the events of signal 0 that a segment delivers, read as the query engine does:
// through the source, kept inside [from, to).
std::vector<SimTime> eventTimes(const KEventSegment& seg) {
    KEventsReadHandle reader = seg.source().cloned(0);
    std::vector<SimTime> times;
    reader.seek(seg.from().time);
    while (reader.readNextEvent() != kNoSignal)
        if (seg.contains(reader.position()))
            times.push_back(reader.time());
    return times;
}

constexpr auto O = InsertForm::Overwrite;
constexpr auto I = InsertForm::Insert;

TEST(KEventSegmentMap, InsertionGivesExactRangesWithoutOverlap) {
    struct Case {
        const char* name;
        Ranges initial;
        SimTime from, to;
        InsertForm form;
        Ranges expected;
    };
    const Ranges two = {{0, 10}, {10, 20}};
    const Ranges three = {{0, 10}, {10, 20}, {20, 30}};
    const Ranges gap = {{0, 10}, {30, 40}};
    const Case cases[] = {
        {"overwrite into empty", {}, 10, 20, O, {{10, 20}}},
        {"overwrite inside", {{0, 100}}, 20, 30, O, {{0, 20}, {20, 30}, {30, 100}}},
        {"overwrite exact segment", three, 10, 20, O, three},
        {"overwrite spanning", three, 5, 25, O, {{0, 5}, {5, 25}, {25, 30}}},
        {"overwrite everything", two, 0, 30, O, {{0, 30}}},
        {"overwrite at start boundary", two, 10, 15, O, {{0, 10}, {10, 15}, {15, 20}}},
        {"overwrite at end boundary", two, 5, 10, O, {{0, 5}, {5, 10}, {10, 20}}},
        {"overwrite after the end", {{0, 10}}, 10, 20, O, {{0, 10}, {10, 20}}},
        {"overwrite before the start", {{10, 20}}, 0, 5, O, {{0, 5}, {10, 20}}},
        {"overwrite into gap", gap, 15, 20, O, {{0, 10}, {15, 20}, {30, 40}}},
        {"insert inside", {{0, 100}}, 20, 30, I, {{0, 20}, {20, 30}, {30, 110}}},
        {"insert at boundary", two, 10, 15, I, {{0, 10}, {10, 15}, {15, 25}}},
        {"insert at start", two, 0, 5, I, {{0, 5}, {5, 15}, {15, 25}}},
        {"insert at end", {{0, 10}}, 10, 20, I, {{0, 10}, {10, 20}}},
        {"insert after the end", {{0, 10}}, 50, 60, I, {{0, 10}, {50, 60}}},
        {"insert spanning", three, 5, 25, I, {{0, 5}, {5, 25}, {25, 30}, {30, 40}, {40, 50}}},
        {"insert into gap", gap, 15, 20, I, {{0, 10}, {15, 20}, {35, 45}}},
        {"insert into empty", {}, 10, 20, I, {{10, 20}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        KEventSegmentMap map = mapOf(c.initial);
        ASSERT_TRUE(map.insert(segment(c.from, c.to), c.form));
        EXPECT_EQ(ranges(map), c.expected);
        EXPECT_TRUE(wellFormed(map));
    }
}

TEST(KEventSegmentMap, RefusesEmptySegmentInBothForms) {
    for (InsertForm form : {O, I}) {
        KEventSegmentMap map = mapOf({{0, 10}});
        EXPECT_FALSE(map.insert(segment(5, 5), form));
        EXPECT_FALSE(map.insert(segment(6, 4), form));
        EXPECT_EQ(ranges(map), (Ranges{{0, 10}}));
    }
}

TEST(KEventSegmentMap, CutPartsShareTheSourceWithTheSameOffset) {
    KEventsReadHandle source = querytest::timesSource({5, 50});
    KEventSegmentMap map;
    map.insert(segment(0, 100, source), O);
    map.insert(segment(20, 30), O);
    const KEventSegment* left = map.segmentAt({0, 0});
    const KEventSegment* right = map.segmentAt({30, 0});
    ASSERT_NE(left, nullptr);
    ASSERT_NE(right, nullptr);
    EXPECT_EQ(left->source().offset(), 0);
    EXPECT_EQ(right->source().offset(), 0);
    // The test's handle, the two parts: one shared record.
    EXPECT_EQ(source.useCount(), 3u);
    EXPECT_EQ(eventTimes(*left), (std::vector<SimTime>{5}));
    EXPECT_EQ(eventTimes(*right), (std::vector<SimTime>{50}));
}

TEST(KEventSegmentMap, InsertMovesTheEventsAfterTheInsertionPoint) {
    KEventsReadHandle source = querytest::timesSource({5, 25, 50});
    KEventSegmentMap map;
    map.insert(segment(0, 100, source), O);
    map.insert(segment(20, 30), I);
    const KEventSegment* right = map.segmentAt({30, 0});
    ASSERT_NE(right, nullptr);
    EXPECT_EQ(right->source().offset(), 10);
    EXPECT_EQ(eventTimes(*right), (std::vector<SimTime>{35, 60}));
    EXPECT_EQ(eventTimes(*map.segmentAt({0, 0})), (std::vector<SimTime>{5}));
}

TEST(KEventSegment, ShiftedSegmentReadsTheSameEventsAtShiftedTimes) {
    const KEventSegment original = segment(0, 20, querytest::timesSource({5, 15}));
    const KEventSegment later = original.shifted(100);
    EXPECT_EQ(later.from(), (EventKey{100, 0}));
    EXPECT_EQ(later.to(), (EventKey{120, 0}));
    EXPECT_EQ(eventTimes(later), (std::vector<SimTime>{105, 115}));
    const KEventSegment back = later.shifted(-100);
    EXPECT_EQ(eventTimes(back), (std::vector<SimTime>{5, 15}));
    EXPECT_EQ(original.source().offset(), 0);
    // Flags, value and signal come along; the end of time is not passed.
    KEventSegment seg = segment(0, 10);
    seg.setFlags(KEventSegment::kSimulationResults);
    const std::uint8_t bytes[2] = {1, 2};
    seg.setValue(EventValue(bytes, 2));
    const KEventSegment moved = seg.shifted(7);
    EXPECT_TRUE(moved.isSimulationResults());
    EXPECT_EQ(moved.value(), seg.value());
    EXPECT_EQ(moved.sourceSignal(), 0);
    EXPECT_FALSE(moved.source());
    const KEventSegment last = segment(10, 20).shifted(kMaxTime - 15);
    EXPECT_EQ(last.from().time, kMaxTime - 5);
    EXPECT_EQ(last.to().time, kMaxTime);
}

TEST(KEventSegmentMap, InsertWithLengthOnlyInDeltasLeavesNoOverlap) {
    KEventSegmentMap map = mapOf({{0, 100}});
    ASSERT_TRUE(map.insert(KEventSegment({10, 2}, {10, 5}, {}, 0), I));
    EXPECT_TRUE(wellFormed(map));
    ASSERT_NE(map.segmentAt({10, 3}), nullptr);
    EXPECT_EQ(map.segmentAt({10, 3})->from(), (EventKey{10, 2}));
    EXPECT_EQ(map.size(), 3u);
}

TEST(KEventSegmentMap, ShiftEarlierNeedsAFreeIntervalAndShiftLaterCutsAtThePoint) {
    KEventSegmentMap map = mapOf({{0, 10}, {20, 30}});
    EXPECT_FALSE(map.shiftFrom({20, 0}, -15));
    EXPECT_EQ(ranges(map), (Ranges{{0, 10}, {20, 30}}));
    EXPECT_TRUE(map.shiftFrom({20, 0}, -10));
    EXPECT_EQ(ranges(map), (Ranges{{0, 10}, {10, 20}}));
    // Across a segment the part before the point stays and would be overlapped.
    EXPECT_FALSE(map.shiftFrom({15, 0}, -1));
    // Later, the segment is cut at the point.
    EXPECT_TRUE(map.shiftFrom({15, 0}, 100));
    EXPECT_EQ(ranges(map), (Ranges{{0, 10}, {10, 15}, {115, 120}}));
}

TEST(KEventSegmentMap, EraseCutsAtBothEnds) {
    KEventSegmentMap map = mapOf({{0, 10}, {10, 20}, {20, 30}});
    map.erase({5, 0}, {25, 0});
    EXPECT_EQ(ranges(map), (Ranges{{0, 5}, {25, 30}}));
    map.erase({30, 0}, {20, 0}); // reversed: nothing
    EXPECT_EQ(map.size(), 2u);
}

TEST(KEventSegmentMap, LooksUpByPosition) {
    const KEventSegmentMap map = mapOf({{0, 10}, {20, 30}});
    EXPECT_EQ(map.segmentAt({10, 0}), nullptr);
    EXPECT_EQ(map.segmentAt({9, 7})->from().time, 0);
    EXPECT_EQ(map.firstEndingAfter({10, 0})->first.time, 20);
    EXPECT_EQ(map.firstEndingAfter({30, 0}), map.end());
    EXPECT_EQ(map.lastTime(), 29);
    EXPECT_EQ(KEventSegmentMap().lastTime(), kNoTime);
}

TEST(KEventSegmentMap, MovingAFileSegmentSharesItsSourceWithoutOpeningItAgain) {
    KEventSegmentMap map;
    map.insert(segment(0, 10), O);
    // A database source whose file is gone: it cannot be opened a second time.
    auto log = std::make_shared<StreamLog>();
    log->fileName = "/nonexistent/vanished.awf";
    map.insert(segment(10, 20, KEventsReadHandle::adopt(new FakeReadStream(log))), O);
    EXPECT_TRUE(map.insert(segment(5, 8), I));
    EXPECT_EQ(ranges(map), (Ranges{{0, 5}, {5, 8}, {8, 13}, {13, 23}}));
    const KEventSegment* moved = map.segmentAt({13, 0});
    ASSERT_NE(moved, nullptr);
    EXPECT_EQ(moved->source().offset(), 3);
    EXPECT_EQ(moved->source().fileName(), "/nonexistent/vanished.awf");
}

} // namespace
