#include "HintRecorder.h"
#include "QueryTestUtil.h"
#include "document/KEventsExtent.h"

#include <gtest/gtest.h>

using namespace querytest;

namespace {

KEventSegmentMap segmentsWithEvents(const std::vector<SimTime>& times) {
    KEventSegmentMap segments;
    segments.insert(segmentOver(0, 1000, timesSource(times)), InsertForm::Overwrite);
    return segments;
}

SignalHandle addSignal(KDoc& doc, const std::vector<SimTime>& times) {
    return addLeaf(doc, {segmentOver(0, 1000, timesSource(times))});
}

const KEventsExtent* addMeasurement(KDoc& doc, SignalHandle from, SimTime start, SignalHandle to,
                                    SimTime end) {
    auto item = std::make_unique<KEventsExtent>(from, start, to, end);
    const KEventsExtent* held = item.get();
    EXPECT_TRUE(doc.addItem(std::move(item)));
    return held;
}

} // namespace

TEST(KDocMeasurements, EndsOnAChangedSignalMoveToItsNearestChange) {
    KDoc doc;
    const SignalHandle s = addSignal(doc, {0, 10, 20, 25, 30});
    const SignalHandle u = addSignal(doc, {0, 50, 60});
    const auto* kept = addMeasurement(doc, s, 0, s, 30);      // both ends still on changes
    const auto* moved = addMeasurement(doc, s, 10, s, 30);    // 10 goes: 12 is nearer than 0
    const auto* tie = addMeasurement(doc, s, 6, u, 50);       // 0 and 12 lie as far: 0
    const auto* other = addMeasurement(doc, u, 50, u, 60);    // on an unchanged signal
    const auto* meeting = addMeasurement(doc, s, 25, s, 30);  // both end on 30: taken out
    const auto* crossing = addMeasurement(doc, u, 60, s, 20); // the end on s moves to 12
    doc.record(s)->setSegments(segmentsWithEvents({0, 12, 30}));

    HintRecorder recorder;
    doc.addObserver(&recorder);
    const auto removed = doc.updateMeasurements({s});
    doc.removeObserver(&recorder);

    EXPECT_EQ(kept->startTime(), 0);
    EXPECT_EQ(kept->endTime(), 30);
    EXPECT_EQ(moved->startTime(), 12);
    EXPECT_EQ(moved->endTime(), 30);
    EXPECT_EQ(tie->startTime(), 0);
    EXPECT_EQ(tie->endTime(), 50);
    EXPECT_EQ(other->startTime(), 50);
    EXPECT_EQ(crossing->startTime(), 60);
    EXPECT_EQ(crossing->endTime(), 12);
    ASSERT_EQ(removed.size(), 1u);
    EXPECT_EQ(removed.front().get(), meeting);
    EXPECT_EQ(doc.items().size(), 5u);
    // moved, tie and crossing changed; meeting was taken out.
    EXPECT_EQ(recorder.codes(), std::vector<UpdateHint>(4, UpdateHint::ItemChanged));
}

TEST(KDocMeasurements, AChangeInsideABusRefitsMeasurementsOnTheBus) {
    KDoc doc;
    const SignalHandle bus = addBus(doc);
    const SignalHandle element = addLeaf(doc, {}, bus);
    doc.record(element)->setSegments(segmentsWithEvents({0, 40}));
    const auto* onBus = addMeasurement(doc, bus, 0, bus, 40);
    doc.record(element)->setSegments(segmentsWithEvents({0, 45}));
    EXPECT_TRUE(doc.updateMeasurements({element}).empty());
    EXPECT_EQ(onBus->endTime(), 45);
}

TEST(KDocMeasurements, ASignalWithoutChangesLosesItsMeasurements) {
    KDoc doc;
    const SignalHandle s = addSignal(doc, {0, 10});
    addMeasurement(doc, s, 0, s, 10);
    doc.record(s)->setSegments(KEventSegmentMap());
    EXPECT_EQ(doc.updateMeasurements({s}).size(), 1u);
    EXPECT_TRUE(doc.items().empty());
    EXPECT_TRUE(doc.updateMeasurements({}).empty());
}
