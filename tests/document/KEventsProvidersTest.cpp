#include "QueryTestUtil.h"
#include "storage/query/KEventsCache.h"
#include "storage/query/KEventsQuery.h"
#include "storage/query/KNextEventProvider.h"
#include "storage/query/KOneSignalValue.h"
#include "storage/query/KPreviousEventProvider.h"
#include "storage/query/KValuesQuery.h"

#include <gtest/gtest.h>

using namespace querytest;

namespace {

// A document with one std_logic signal per list of event times (value: the time's low byte).
struct Fixture {
    explicit Fixture(const std::vector<std::vector<SimTime>>& signals) {
        for (const auto& times : signals)
            handles.push_back(addLeaf(doc, {segmentOver(0, 1000, timesSource(times))}));
    }
    KDoc doc;
    std::vector<SignalHandle> handles;
};

template <typename Provider>
void addAll(Provider& provider, const std::vector<SignalHandle>& handles) {
    for (SignalHandle handle : handles)
        provider.addSignal(handle);
    provider.run();
}

} // namespace

TEST(KNextEventProvider, FindsTheEarliestEventStrictlyAfterTheReference) {
    struct Case {
        std::vector<std::vector<SimTime>> signals;
        SimTime reference;
        SimTime time;
        int index; // of the signal, -1 for none
    };
    const Case cases[] = {
        {{{5}}, 5, kNoTime, -1},         // the only event lies exactly at the reference
        {{{10}, {20}}, 5, 10, 0},        // the first signal's
        {{{20}, {10}}, 5, 10, 1},        // the second signal's, although read later
        {{{10}, {10}}, 5, 10, 0},        // a tie goes to the signal asked first
        {{{1, 2, 3}, {4, 90}}, 3, 4, 1}, // events at or before the reference do not count
        {{{}, {}}, 0, kNoTime, -1},      // no events at all
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reference);
        Fixture fixture(c.signals);
        KNextEventProvider next(fixture.doc, c.reference);
        addAll(next, fixture.handles);
        EXPECT_EQ(next.found(), c.index >= 0);
        EXPECT_EQ(next.time(), c.time);
        EXPECT_EQ(next.handle(), c.index >= 0 ? fixture.handles[c.index] : kNoSignal);
    }
}

TEST(KPreviousEventProvider, FindsTheLatestEventStrictlyBeforeTheReference) {
    struct Case {
        std::vector<std::vector<SimTime>> signals;
        SimTime start;
        SimTime reference;
        SimTime time;
        int index;
    };
    const Case cases[] = {
        {{{2, 50}}, 10, 50, 10, 0}, // only the start value lies before: the start time
        {{{2, 20, 30, 40}}, 10, 35, 30, 0},
        {{{20, 30}, {25, 33}}, 0, 32, 30, 0},
        {{{20, 30}, {25, 31}}, 0, 32, 31, 1},
        {{{40}}, 10, 30, kNoTime, -1}, // no value before the reference
        {{{30}}, 0, 30, kNoTime, -1},  // an event at the reference does not count
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reference);
        Fixture fixture(c.signals);
        KPreviousEventProvider previous(fixture.doc, c.start, c.reference);
        addAll(previous, fixture.handles);
        EXPECT_EQ(previous.time(), c.time);
        EXPECT_EQ(previous.handle(), c.index >= 0 ? fixture.handles[c.index] : kNoSignal);
    }
}

namespace {

// "time:state" for each collected record, in time order.
std::string statesText(const KEventsQuery::Events& events) {
    std::string text;
    for (const auto& [time, record] : events)
        text += std::to_string(time) + ":" + std::to_string(record.state()) + " ";
    return text;
}

} // namespace

TEST(KEventsQuery, MarksTheRecordsThatOpenAndCloseTheRange) {
    struct Case {
        std::vector<SimTime> times;
        std::string expected; // for the range [10, 30]
    };
    const Case cases[] = {
        {{10, 20, 30, 40}, "10:3 20:0 30:0 40:2 "}, // at the start; the change after the end
        {{5, 25}, "5:1 25:0 30:4 "},                // in force at the start; held to the end
        {{5, 50, 60}, "5:1 50:2 "},                 // nothing inside the range
        {{20}, "20:0 30:4 "},                       // no value at the start
        {{5, 30}, "5:1 30:0 "},                     // the last event lies on the end
        {{40}, "40:2 "},                            // no value before the end at all
        {{}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        Fixture fixture({c.times});
        KEventsQuery query(fixture.doc, 10, 30);
        addAll(query, fixture.handles);
        EXPECT_EQ(statesText(query.events(fixture.handles[0])), c.expected);
    }
}

TEST(KEventsQuery, ClosingRecordsCarryTheirValues) {
    Fixture fixture({{10, 20, 40}, {5}});
    KEventsQuery query(fixture.doc, 10, 30);
    addAll(query, fixture.handles);
    EXPECT_EQ(query.events(fixture.handles[0]).at(40).value().data()[0], 40);
    EXPECT_EQ(query.events(fixture.handles[1]).at(30).value().data()[0], 5);
    EXPECT_TRUE(query.events(12345).empty());
}

TEST(KEventsQuery, EventsAtOneTimeKeepTheLastDelta) {
    KDoc doc;
    const SignalHandle s =
        addLeaf(doc, {segmentOver(0, 100, memorySource({{20, 0, 0, 1}, {20, 1, 0, 2}}))});
    KEventsQuery query(doc, 0, 100);
    query.addSignal(s);
    query.run();
    ASSERT_EQ(query.events(s).size(), 2u); // the event and the held value at the end
    EXPECT_EQ(query.events(s).at(20).value().data()[0], 2);
    EXPECT_EQ(query.events(s).at(20).delta(), 1);
}

TEST(KEventsCache, ListsEventTimesFromZero) {
    Fixture fixture({{0, 15, 30}, {7}, {}});
    KEventsCache cache(fixture.doc);
    cache.fill(fixture.handles);
    EXPECT_EQ(cache.times(fixture.handles[0]), (std::vector<SimTime>{0, 15, 30}));
    EXPECT_EQ(cache.times(fixture.handles[1]), (std::vector<SimTime>{7}));
    EXPECT_TRUE(cache.times(fixture.handles[2]).empty());
    cache.fill(fixture.handles); // filling again replaces, it does not append
    EXPECT_EQ(cache.times(fixture.handles[0]).size(), 3u);
}

TEST(KValuesQuery, GivesTheValueInForceAtTheTime) {
    Fixture fixture({{10, 20}, {30}});
    KValuesQuery values(fixture.doc, 25);
    addAll(values, fixture.handles);
    ASSERT_TRUE(values.value(fixture.handles[0]).has_value());
    EXPECT_EQ(values.value(fixture.handles[0])->data()[0], 20);
    EXPECT_FALSE(values.value(fixture.handles[1]).has_value());
}

TEST(KOneSignalValue, FillsABufferOfTheSignalsSize) {
    KDoc doc;
    const auto source = memorySource({{10, 0, 0, 1}, {10, 0, 2, 3}, {40, 0, 1, 2}});
    const SignalHandle bus = addBus(doc);
    for (SignalHandle element : {0, 1, 2})
        addLeaf(doc, {segmentOver(0, 100, source, element)}, bus);
    const KOneSignalValue early(doc, bus, 5);
    EXPECT_FALSE(early.hasValue());
    EXPECT_EQ(early.bytes(), (std::vector<std::uint8_t>{0, 0, 0}));
    const KOneSignalValue later(doc, bus, 50);
    EXPECT_TRUE(later.hasValue());
    EXPECT_EQ(later.bytes(), (std::vector<std::uint8_t>{1, 2, 3}));
    const KOneSignalValue unknown(doc, 999, 50);
    EXPECT_FALSE(unknown.hasValue());
    EXPECT_TRUE(unknown.bytes().empty());
}
