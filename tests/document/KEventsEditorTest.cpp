// Editing waveforms through the document: put events, delete time, clear, the edit transaction,
// and undo of random edit sequences on a std_logic and a 64-element bus. Undo after a save is
// in KWaveformFileTest.

#include "EditTestUtil.h"
#include "HintRecorder.h"
#include "document/KEditTransaction.h"
#include "document/KEventsGetter.h"
#include "document/KWVUndoItem.h"

#include <gtest/gtest.h>
#include <random>

using namespace edittest;

namespace {

class KEventsEditorTest : public testing::Test {
protected:
    KEventsEditorTest() { doc.addObserver(&recorder); }

    void put(SignalHandle handle, SimTime start, SimTime end, std::vector<KTimedValue> events,
             bool insert = false) {
        KEditTransaction edit(doc, handle, start, end);
        edit.setEvents(std::move(events));
        ASSERT_TRUE(edit.commit(insert));
    }

    RecordingHost host;
    KDoc doc{&host};
    HintRecorder recorder;
};

TEST_F(KEventsEditorTest, TransactionStartsFromTheValueInForceAndOverwritesTheRange) {
    const SignalHandle s = addLogicRow(doc, {{0, 2}, {30, 3}, {60, 2}});
    KEditTransaction edit(doc, s, 20, 50, KEditTransaction::Start::KeepEvents);
    ASSERT_EQ(edit.events().size(), 2u);
    EXPECT_EQ(edit.valueAt(10), byteValue(2));
    EXPECT_EQ(edit.valueAt(35), byteValue(3));
    edit.setValue(40, byteValue(4));
    edit.setValue(50, byteValue(5)); // outside: ignored
    doc.beginItem();
    ASSERT_TRUE(edit.commit(false));
    EXPECT_FALSE(edit.commit(false)); // spent
    doc.commitItem();
    EXPECT_EQ(eventsText(doc, s, 100),
              (std::vector<std::string>{"0=2.", "20=2.", "30=3.", "40=4.", "50=3.", "60=2."}));
    EXPECT_TRUE(doc.isModified());
}

TEST_F(KEventsEditorTest, InsertFormPushesTheRestLater) {
    const SignalHandle s = addLogicRow(doc, {{0, 2}, {30, 3}});
    doc.beginItem();
    put(s, 10, 20, {{10, byteValue(4)}}, true);
    doc.commitItem();
    EXPECT_EQ(eventsText(doc, s, 100),
              (std::vector<std::string>{"0=2.", "10=4.", "20=2.", "40=3."}));
}

TEST_F(KEventsEditorTest, DeleteTimeOfLengthZeroDeletesOneUnit) {
    const SignalHandle s = addLogicRow(doc, {{0, 2}, {30, 3}});
    doc.beginItem();
    ASSERT_TRUE(doc.deleteTime(KSignalsSet{s}, 10, 0));
    doc.commitItem();
    EXPECT_EQ(eventsText(doc, s, 100), (std::vector<std::string>{"0=2.", "10=2.", "29=3."}));
    EXPECT_FALSE(doc.deleteTime(KSignalsSet{99}, 10, 5));
}

TEST_F(KEventsEditorTest, DeletingFromABusAndItsElementMovesTheElementOnce) {
    const SignalHandle bus = addBusRow(doc, 2);
    const SignalHandle element = doc.record(bus)->children()[0]->handle();
    doc.beginItem();
    put(bus, 0, 100, {{0, EventValue("\x02\x02", 2)}, {50, EventValue("\x03\x02", 2)}});
    doc.commitItem();
    recorder.hints.clear();
    doc.beginItem();
    ASSERT_TRUE(doc.deleteTime(KSignalsSet{bus, element}, 10, 20));
    doc.commitItem();
    EXPECT_EQ(eventsText(doc, element, 100), (std::vector<std::string>{"0=2.", "10=2.", "30=3."}));
    ASSERT_EQ(recorder.codes(), std::vector<UpdateHint>{UpdateHint::WavesChanged});
    EXPECT_EQ(recorder.hints[0].signals.size(), 3u);
}

TEST_F(KEventsEditorTest, ClearSignalRemovesTheWaveformUntilUndone) {
    const SignalHandle s = addLogicRow(doc, {{0, 2}});
    doc.beginItem();
    ASSERT_TRUE(doc.clearSignal(s));
    doc.commitItem();
    EXPECT_TRUE(eventsText(doc, s).empty());
    doc.undo();
    EXPECT_EQ(eventsText(doc, s), std::vector<std::string>{"0=2."});
}

TEST_F(KEventsEditorTest, GetterCopiesAnotherSignalsEvents) {
    const SignalHandle from = addLogicRow(doc, {{0, 2}, {15, 3}, {25, 2}});
    const SignalHandle to = addLogicRow(doc, {{0, 4}});
    const KEventsGetter getter(doc, {from});
    const SignalHandle targets[] = {to};
    doc.beginItem();
    ASSERT_TRUE(doc.putEvents(getter, targets, 10, 20, PutForm::Overwrite));
    doc.commitItem();
    EXPECT_EQ(eventsText(doc, to, 100),
              (std::vector<std::string>{"0=4.", "10=2.", "15=3.", "20=4."}));
    // Bad requests change nothing: an empty range, an unknown target, a negative length.
    EXPECT_FALSE(doc.putEvents(getter, targets, 20, 20, PutForm::Overwrite));
    const SignalHandle unknown[] = {to, 99};
    EXPECT_FALSE(doc.putEvents(getter, unknown, 0, 10, PutForm::Insert));
    EXPECT_FALSE(KEditTransaction(doc, 99, 0, 10).commit(false));
    EXPECT_FALSE(doc.deleteTime(KSignalsSet{to}, 0, -5));
    EXPECT_EQ(eventsText(doc, to, 100),
              (std::vector<std::string>{"0=4.", "10=2.", "15=3.", "20=4."}));
}

// Random puts, inserts and deletes; undoing every step must give back each earlier state and
// redoing them the final one.
TEST_F(KEventsEditorTest, RandomEditsUndoAndRedoExactly) {
    const SignalHandle logic = addLogicRow(doc, {{0, 2}, {100, 3}, {250, 2}});
    const SignalHandle bus = addBusRow(doc, 64);
    std::mt19937 random(12345);
    const auto pick = [&](int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(random);
    };
    const auto state = [&] {
        std::vector<std::string> lines = eventsText(doc, logic);
        for (const std::string& line : eventsText(doc, bus))
            lines.push_back("bus " + line);
        return lines;
    };
    std::vector<std::vector<std::string>> states{state()};
    for (int step = 0; step < 40; ++step) {
        const SignalHandle target = pick(0, 1) != 0 ? bus : logic;
        const SimTime start = pick(0, 400);
        const SimTime length = pick(0, 60);
        doc.beginItem();
        if (pick(0, 3) == 0) {
            ASSERT_TRUE(doc.deleteTime(KSignalsSet{target}, start, length));
        } else {
            const std::uint32_t size = target == bus ? 64 : 1;
            std::vector<KTimedValue> events;
            for (int i = pick(1, 3); i > 0; --i) {
                EventValue value = EventValue::zeroed(size);
                for (std::uint32_t b = 0; b < size; ++b)
                    value.mutableData()[b] = static_cast<std::uint8_t>(pick(2, 8));
                events.push_back({start + pick(0, static_cast<int>(length)), value});
            }
            put(target, start, start + length + 1, std::move(events), pick(0, 1) != 0);
        }
        doc.commitItem();
        states.push_back(state());
    }
    for (std::size_t i = states.size() - 1; i > 0; --i) {
        ASSERT_TRUE(doc.canUndo());
        doc.undo();
        ASSERT_EQ(state(), states[i - 1]) << "after undoing step " << i;
    }
    EXPECT_FALSE(doc.canUndo());
    while (doc.canRedo())
        doc.redo();
    EXPECT_EQ(state(), states.back());
}

} // namespace
