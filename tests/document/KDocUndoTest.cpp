// The undo ring: how many actions can be undone, when redo stays possible, cancel, and what undo
// and redo announce.

#include "EditTestUtil.h"
#include "HintRecorder.h"
#include "document/KEditTransaction.h"
#include "document/KWVUndoItem.h"
#include "document/KWaveComment.h"

#include <gtest/gtest.h>

using namespace edittest;

namespace {

class KDocUndoTest : public testing::Test {
protected:
    KDocUndoTest() {
        doc.addObserver(&recorder);
        signal = addLogicRow(doc, {{0, 2}});
    }

    // One action: the signal takes `value` over [10 * n, 10 * n + 10).
    void commitAction(int n, int value = 3) {
        doc.beginItem();
        KEditTransaction edit(doc, signal, 10 * n, 10 * n + 10);
        edit.setValue(10 * n, byteValue(value));
        ASSERT_TRUE(edit.commit(false));
        doc.commitItem();
    }

    RecordingHost host;
    KDoc doc{&host};
    HintRecorder recorder;
    SignalHandle signal = 0;
};

TEST_F(KDocUndoTest, UndoStopsAfterTheRingSizeWhenMoreWereCommitted) {
    for (int n = 0; n < 300; ++n)
        commitAction(n % 50);
    int undone = 0;
    while (doc.canUndo() && undone < 1000) {
        doc.undo();
        ++undone;
    }
    EXPECT_EQ(undone, IUndo::kRingSize);
    EXPECT_FALSE(doc.canUndo());
    EXPECT_TRUE(doc.canRedo());
    EXPECT_EQ(host.modifiedCalls.size(), 300u);
}

TEST_F(KDocUndoTest, CommittingAfterUndoDropsTheRedoSteps) {
    for (int n = 0; n < 5; ++n)
        commitAction(n);
    for (int i = 0; i < 3; ++i)
        doc.undo();
    EXPECT_TRUE(doc.canRedo());
    commitAction(7);
    EXPECT_FALSE(doc.canRedo());
    doc.redo(); // not possible: nothing changes
    EXPECT_EQ(eventsText(doc, signal, 100),
              (std::vector<std::string>{"0=3.", "10=3.", "20=2.", "70=3.", "80=2."}));
    int undone = 0;
    for (; doc.canUndo(); ++undone)
        doc.undo();
    EXPECT_EQ(undone, 3);
    EXPECT_EQ(eventsText(doc, signal), std::vector<std::string>{"0=2."});
}

TEST_F(KDocUndoTest, UndoAndRedoAnnounceTheChangedWaveformsThenEverything) {
    commitAction(1);
    recorder.hints.clear();
    doc.undo();
    ASSERT_EQ(recorder.codes(),
              (std::vector<UpdateHint>{UpdateHint::WavesChanged, UpdateHint::All}));
    EXPECT_EQ(recorder.hints[0].signals, KSignalsSet{signal});
    recorder.hints.clear();
    doc.redo();
    EXPECT_EQ(recorder.codes(),
              (std::vector<UpdateHint>{UpdateHint::WavesChanged, UpdateHint::All}));
    recorder.hints.clear();
    doc.redo(); // nothing to redo: only the redraw
    doc.clearUndo();
    doc.undo();
    EXPECT_EQ(recorder.codes(), (std::vector<UpdateHint>{UpdateHint::All, UpdateHint::All}));
    EXPECT_FALSE(doc.canUndo());
}

TEST_F(KDocUndoTest, CancelRollsBackWhatTheOpenItemRecorded) {
    const std::vector<std::string> before = eventsText(doc, signal);
    doc.beginItem();
    ASSERT_NE(doc.currentItem(), nullptr);
    EXPECT_TRUE(doc.currentItem()->isOpen());
    KEditTransaction edit(doc, signal, 0, 50);
    edit.setValue(20, byteValue(4));
    ASSERT_TRUE(edit.commit(true));
    EXPECT_NE(eventsText(doc, signal), before);
    doc.cancelItem();
    EXPECT_EQ(doc.currentItem(), nullptr);
    EXPECT_EQ(eventsText(doc, signal), before);
    EXPECT_FALSE(doc.canUndo());
    EXPECT_TRUE(host.modifiedCalls.empty());
}

TEST_F(KDocUndoTest, ReadOnlySignalIsRefusedWithAMessageAndNoUndoStep) {
    doc.record(signal)->setReadOnly(true);
    EXPECT_FALSE(doc.canEdit(signal, 0, 10));
    EXPECT_FALSE(doc.checkEdit(signal, 0, 10));
    EXPECT_EQ(host.statuses, std::vector<std::string>{"This signal is read-only"});
    EXPECT_FALSE(doc.canUndo());
    EXPECT_EQ(doc.currentItem(), nullptr);
}

TEST_F(KDocUndoTest, RunningSimulationGuardsTheResultsInterval) {
    doc.setSimulation(true, 100, 500);
    const SignalHandle both[] = {signal, signal};
    struct Case {
        SimTime start, end;
        bool allowed;
    } cases[] = {{0, 100, true}, {0, 101, false}, {500, 600, false}, {501, 600, true}};
    for (const Case& c : cases) {
        EXPECT_EQ(doc.canEdit(signal, c.start, c.end), c.allowed) << c.start << " " << c.end;
        EXPECT_EQ(doc.canEdit(both, c.start, c.end), c.allowed);
    }
    EXPECT_FALSE(doc.checkEdit(signal, 200, 300));
    EXPECT_EQ(host.statuses, std::vector<std::string>{
                                 "Simulation results cannot be edited while simulator is running"});
    doc.setSimulation(false, 100, 500);
    EXPECT_TRUE(doc.canEdit(signal, 200, 300));
    EXPECT_FALSE(doc.canEdit(99, 0, 10)); // unknown signal
}

} // namespace

TEST_F(KDocUndoTest, AddedAndDeletedItemsComeAndGoWithUndoAndRedo) {
    doc.beginItem();
    ASSERT_TRUE(doc.addItem(std::make_unique<KWaveComment>(signal, 0, 40, "first")));
    doc.commitItem();
    const KItemUI* first = doc.items().front().get();

    doc.beginItem();
    ASSERT_TRUE(doc.deleteItem(first));
    ASSERT_TRUE(doc.addItem(std::make_unique<KWaveComment>(signal, 0, 50, "second")));
    doc.commitItem();
    ASSERT_EQ(doc.items().size(), 1u);

    doc.undo(); // the second comment goes, the first comes back
    ASSERT_EQ(doc.items().size(), 1u);
    EXPECT_EQ(doc.items().front().get(), first);
    doc.undo();
    EXPECT_TRUE(doc.items().empty());
    doc.redo();
    doc.redo();
    ASSERT_EQ(doc.items().size(), 1u);
    EXPECT_EQ(static_cast<const KWaveComment&>(*doc.items().front()).text(), "second");

    doc.beginItem(); // a cancelled action leaves the items as they were
    ASSERT_TRUE(doc.deleteItem(doc.items().front().get()));
    doc.cancelItem();
    EXPECT_EQ(doc.items().size(), 1u);
}
