#include "document/KDoc.h"

#include "EditTestUtil.h"
#include "HintRecorder.h"
#include "document/KDifferenceMark.h"
#include "document/KEventsExtent.h"
#include "document/KWaveComment.h"

#include <gtest/gtest.h>

namespace {

using edittest::RecordingHost;

class KDocTest : public testing::Test {
protected:
    KDocTest() { doc.addObserver(&recorder); }

    SignalHandle addRow(const std::string& name, const std::string& hierarchy = "") {
        return querytest::addRow(doc, name, "", hierarchy);
    }

    SignalHandle addChild(SignalHandle parent, const std::string& name) {
        return doc.addRecord(KSignalRecord::create(name), parent);
    }

    RecordingHost host;
    KDoc doc{&host};
    HintRecorder recorder;
};

TEST_F(KDocTest, NewDocumentIsEmptyWithAPlaceholderForMinusOne) {
    EXPECT_FALSE(doc.isInitialised());
    EXPECT_TRUE(doc.newDocument());
    EXPECT_TRUE(doc.isInitialised());
    EXPECT_FALSE(doc.isModified());
    EXPECT_EQ(doc.rowCount(), 0u);
    EXPECT_TRUE(doc.signals().empty());
    EXPECT_TRUE(doc.items().empty());
    const KSignalRecordPtr placeholder = doc.record(kNoSignal);
    ASSERT_NE(placeholder, nullptr);
    EXPECT_EQ(placeholder->handle(), kNoSignal);
    EXPECT_FALSE(doc.contains(kNoSignal));
    EXPECT_EQ(doc.record(1), nullptr);
    EXPECT_EQ(doc.endTime(), kNoTime);
}

TEST_F(KDocTest, HandlesCountFromOneBusHandlesFromMinusTwoAndTakenOnesAreRefused) {
    EXPECT_EQ(doc.addRecord(KSignalRecord::create("a")), 1);
    EXPECT_EQ(doc.addRecord(KSignalRecord::create("b")), 2);
    EXPECT_EQ(doc.addRecord(KSignalRecord::create("c", 10)), 10);
    EXPECT_EQ(doc.addRecord(KSignalRecord::create("d")), 11);
    EXPECT_EQ(doc.nextBusHandle(), -2);
    EXPECT_EQ(doc.nextBusHandle(), -3);
    // Taken handles, unknown parents and no record are refused.
    EXPECT_EQ(doc.addRecord(KSignalRecord::create("again", 10)), 0);
    EXPECT_EQ(doc.addRecord(KSignalRecord::create("orphan"), 99), 0);
    EXPECT_EQ(doc.addRecord(KSignalRecord::create("minus", kNoSignal)), 0);
    EXPECT_EQ(doc.addRecord(nullptr), 0);
    EXPECT_EQ(doc.signals().size(), 4u);
    EXPECT_EQ(doc.findByName("again"), 0);
}

TEST_F(KDocTest, ParentLinkageAppendsChildrenInOrder) {
    const SignalHandle bus = addRow("data");
    const SignalHandle first = addChild(bus, "data(1)");
    const SignalHandle second = addChild(bus, "data(0)");
    const KSignalRecordPtr record = doc.record(bus);
    ASSERT_EQ(record->children().size(), 2u);
    EXPECT_EQ(record->children()[0]->handle(), first);
    EXPECT_EQ(record->children()[1]->handle(), second);
    EXPECT_EQ(doc.record(first)->parent(), bus);
    EXPECT_EQ(doc.collect(bus), (std::vector<SignalHandle>{bus, first, second}));
    EXPECT_TRUE(doc.collect(42).empty());
}

TEST_F(KDocTest, RowsInsertRemoveAndMove) {
    const SignalHandle a = addRow("a"), b = addRow("b"), c = addRow("c"), d = addRow("d");
    EXPECT_EQ(doc.rows(), (std::vector<SignalHandle>{a, b, c, d}));
    EXPECT_TRUE(doc.moveRows(0, 2, 2));
    EXPECT_EQ(doc.rows(), (std::vector<SignalHandle>{c, d, a, b}));
    EXPECT_TRUE(doc.moveRows(3, 1, 0));
    EXPECT_EQ(doc.rows(), (std::vector<SignalHandle>{b, c, d, a}));
    EXPECT_FALSE(doc.moveRows(3, 2, 0));
    EXPECT_FALSE(doc.moveRows(0, 1, 4));
    const SignalHandle removed[] = {c, a};
    doc.removeRows(removed);
    EXPECT_EQ(doc.rows(), (std::vector<SignalHandle>{b, d}));
    const SignalHandle back[] = {a, c};
    EXPECT_TRUE(doc.insertRows(1, back));
    EXPECT_EQ(doc.rows(), (std::vector<SignalHandle>{b, a, c, d}));
    EXPECT_EQ(doc.rowOf(c), 2u);
    EXPECT_FALSE(doc.rowOf(999));
}

TEST_F(KDocTest, InsertRowsRefusesBadHandlesAndChangesNothing) {
    const SignalHandle a = addRow("a");
    const SignalHandle child = addChild(a, "a.x");
    const SignalHandle loose = doc.addRecord(KSignalRecord::create("loose"));
    for (std::vector<SignalHandle> bad :
         {std::vector<SignalHandle>{a}, {child}, {77}, {kNoSignal}, {loose, loose}}) {
        EXPECT_FALSE(doc.insertRows(0, bad));
        EXPECT_EQ(doc.rows(), (std::vector<SignalHandle>{a}));
    }
    const SignalHandle ok[] = {loose};
    EXPECT_TRUE(doc.insertRows(100, ok));
    EXPECT_EQ(doc.rows().back(), loose);
}

TEST_F(KDocTest, RemoveSignalsTakesDescendantsAndBroadcastsThem) {
    const SignalHandle bus = addRow("data");
    const SignalHandle e0 = addChild(bus, "data(0)");
    const SignalHandle e1 = addChild(bus, "data(1)");
    const SignalHandle other = addRow("other");
    recorder.hints.clear();
    const std::vector<KSignalRecordPtr> removed = doc.removeSignals({bus});
    ASSERT_EQ(removed.size(), 3u);
    EXPECT_EQ(removed[0]->handle(), bus);
    EXPECT_EQ(removed[0]->children().size(), 2u); // kept for an undo
    EXPECT_EQ(doc.rows(), (std::vector<SignalHandle>{other}));
    EXPECT_FALSE(doc.contains(e0));
    EXPECT_EQ(doc.findByName("data(1)"), 0);
    ASSERT_EQ(recorder.hints.size(), 1u);
    EXPECT_EQ(recorder.hints[0].code, UpdateHint::SignalsAddedRemoved);
    EXPECT_EQ(recorder.hints[0].signals, (KSignalsSet{bus, e0, e1}));

    // An element leaves its parent; unknown handles remove and broadcast nothing.
    const SignalHandle other0 = addChild(other, "other(0)");
    addChild(other, "other(1)");
    doc.removeSignals({other0});
    EXPECT_EQ(doc.record(other)->children().size(), 1u);
    recorder.hints.clear();
    EXPECT_TRUE(doc.removeSignals({other0, 1234}).empty());
    EXPECT_TRUE(recorder.hints.empty());
}

TEST_F(KDocTest, FindsByFullNameExactlyOrUpperCased) {
    const SignalHandle clk = addRow("Clk", "/top/");
    EXPECT_EQ(doc.fullName(clk), "/top/Clk");
    EXPECT_EQ(doc.findByName("/top/Clk"), clk);
    EXPECT_EQ(doc.findByName("/top/clk"), 0);
    EXPECT_EQ(doc.findByName("Clk"), 0);
    EXPECT_EQ(doc.findByUpperName("/TOP/cLK"), clk);
    EXPECT_EQ(doc.findByUpperName("/top/clk2"), 0);
    // Duplicate names stay findable after one goes.
    const SignalHandle first = addRow("x");
    const SignalHandle second = addRow("x");
    doc.removeSignals({first});
    EXPECT_EQ(doc.findByName("x"), second);
}

TEST_F(KDocTest, RenameKeepsTheIndexesAndBroadcastsNames) {
    const SignalHandle a = addRow("a");
    recorder.hints.clear();
    EXPECT_TRUE(doc.rename(a, "b"));
    EXPECT_EQ(doc.findByName("a"), 0);
    EXPECT_EQ(doc.findByName("b"), a);
    EXPECT_EQ(doc.findByUpperName("B"), a);
    ASSERT_EQ(recorder.hints.size(), 1u);
    EXPECT_EQ(recorder.hints[0].code, UpdateHint::NamesChanged);
    EXPECT_EQ(recorder.hints[0].signals, (KSignalsSet{a}));
    EXPECT_FALSE(doc.rename(99, "x"));
}

TEST_F(KDocTest, RenameWithoutTypeKeepsElementSuffixes) {
    const SignalHandle bus = addRow("data");
    KSignalRecordPtr element = KSignalRecord::create("data(7)");
    element->setParentNameLength(4);
    const SignalHandle e = doc.addRecord(element, bus);
    recorder.hints.clear();
    doc.rename(bus, "bus");
    EXPECT_EQ(doc.record(e)->name(), "bus(7)");
    EXPECT_EQ(doc.record(e)->parentNameLength(), 3);
    EXPECT_EQ(doc.findByName("bus(7)"), e);
    EXPECT_EQ(recorder.hints[0].signals, (KSignalsSet{bus, e}));
}

TEST_F(KDocTest, SetHierarchyIndexMovesTheFullName) {
    const SignalHandle clk = addRow("clk");
    const std::uint32_t top = doc.hierarchy().intern("/top/");
    recorder.hints.clear();
    EXPECT_TRUE(doc.setHierarchyIndex(clk, top));
    EXPECT_EQ(doc.findByName("/top/clk"), clk);
    EXPECT_EQ(doc.findByName("clk"), 0);
    EXPECT_EQ(recorder.codes(), (std::vector<UpdateHint>{UpdateHint::ListChanged}));
    EXPECT_FALSE(doc.setHierarchyIndex(clk, 99));
    EXPECT_FALSE(doc.setHierarchyIndex(99, 0));
}

TEST_F(KDocTest, HierarchyTableInternsOnce) {
    KHierarchyTable& table = doc.hierarchy();
    EXPECT_EQ(table.text(0), "");
    const std::uint32_t a = table.intern("/a/");
    EXPECT_EQ(table.intern("/b/"), a + 1);
    EXPECT_EQ(table.intern("/a/"), a);
    EXPECT_EQ(table.text(a), "/a/");
    EXPECT_EQ(table.text(1000), "");
}

TEST_F(KDocTest, DesignPathsAndDeclarationsOfVirtualBuses) {
    const SignalHandle top = addRow("clk");
    const SignalHandle bus = addRow("data");
    const SignalHandle element = addChild(bus, "data(0)");
    KSignalRecordPtr vbus = KSignalRecord::create("VBUS1");
    vbus->setVirtualBus(true);
    const SignalHandle v = doc.addRecord(vbus);
    const SignalHandle member = addChild(v, "/top/x");
    EXPECT_TRUE(doc.isDesignPath(top));
    EXPECT_FALSE(doc.isDesignPath(element));
    EXPECT_FALSE(doc.isDesignPath(v));
    EXPECT_TRUE(doc.isDesignPath(member));
    EXPECT_FALSE(doc.isDesignPath(404));
    doc.record(member)->setMode(SignalMode::PortIn);
    EXPECT_EQ(doc.declaration(v), "Virtual Bus");
    EXPECT_EQ(doc.declaration(member), "port (/top/x : in <type unknown>)");
    EXPECT_EQ(doc.declaration(999), "");
}

TEST_F(KDocTest, CopyNames) {
    EXPECT_EQ(doc.uniqueCopyName("clk"), "clk");
    addRow("clk");
    EXPECT_EQ(doc.uniqueCopyName("clk"), "/COPY_(1)_OF_clk");
    addRow("COPY_(1)_OF_clk", "/top/");
    EXPECT_EQ(doc.uniqueCopyName("/top/COPY_(1)_OF_clk"), "/top/COPY_(2)_OF_clk");
    addRow("COPY_(2)_OF_clk", "/top/");
    EXPECT_EQ(doc.uniqueCopyName("/top/COPY_(1)_OF_clk"), "/top/COPY_(3)_OF_clk");
    addRow("\\ext\\", "/top/");
    EXPECT_EQ(doc.uniqueCopyName("/top/\\ext\\"), "/top/\\COPY_(1)_OF_ext\\");
    addRow("COPY_(0)_OF_z");
    EXPECT_EQ(doc.uniqueCopyName("COPY_(0)_OF_z"), "/COPY_(1)_OF_z");
    addRow("COPY_(99999999999999999999)_OF_w");
    EXPECT_FALSE(doc.uniqueCopyName("COPY_(99999999999999999999)_OF_w").empty());
    EXPECT_EQ(KDoc::comparisonName("clk"), "COMP clk");
    // Virtual buses take the smallest free number.
    EXPECT_EQ(doc.newVirtualBusName(), "VBUS1");
    addRow("VBUS1");
    addRow("VBUS3");
    EXPECT_EQ(doc.newVirtualBusName(), "VBUS2");
}

TEST_F(KDocTest, EndTimeIsTheLastTimeAnySegmentCovers) {
    const SignalHandle a = addRow("a");
    const SignalHandle b = addRow("b");
    doc.record(a)->segments().insert(KEventSegment({0, 0}, {101, 0}, {}, 0), InsertForm::Overwrite);
    doc.record(b)->segments().insert(KEventSegment({50, 0}, {60, 0}, {}, 0), InsertForm::Overwrite);
    EXPECT_EQ(doc.endTime(), 100);
}

TEST_F(KDocTest, ItemsBroadcastWhenAddedChangedAndRemoved) {
    const SignalHandle a = addRow("a");
    const SignalHandle b = addRow("b");
    auto comment = std::make_unique<KWaveComment>(a, 0, 100, "note");
    KWaveComment* held = comment.get();
    recorder.hints.clear();
    EXPECT_TRUE(doc.addItem(std::move(comment)));
    EXPECT_TRUE(doc.addItem(std::make_unique<KEventsExtent>(a, 10, b, 30)));
    EXPECT_TRUE(doc.addItem(std::make_unique<KDifferenceMark>(b, 5, 9)));
    EXPECT_EQ(doc.items().size(), 3u);
    held->setText("changed");
    EXPECT_TRUE(doc.changeItem(held));
    std::unique_ptr<KItemUI> back = doc.removeItem(held);
    EXPECT_EQ(back.get(), held);
    EXPECT_EQ(doc.items().size(), 2u);
    EXPECT_EQ(recorder.codes(), std::vector<UpdateHint>(5, UpdateHint::ItemChanged));
    EXPECT_EQ(recorder.hints[0].object, held);
    EXPECT_FALSE(doc.changeItem(held));
    EXPECT_EQ(doc.removeItem(held), nullptr);
    // Items on unknown signals are refused quietly.
    EXPECT_FALSE(doc.addItem(std::make_unique<KWaveComment>(99, 0, 0, "x")));
    EXPECT_FALSE(doc.addItem(std::make_unique<KEventsExtent>(a, 0, 99, 5)));
    EXPECT_FALSE(doc.addItem(nullptr));
    EXPECT_EQ(doc.items().size(), 2u);
    EXPECT_EQ(recorder.hints.size(), 5u);
}

TEST_F(KDocTest, EndingAChangeBroadcastsTheCollectedSignals) {
    doc.endChange(doc.openChange(), HostNotice::None); // an empty change broadcasts nothing
    doc.endChange(nullptr, HostNotice::None);
    EXPECT_TRUE(recorder.hints.empty());
    std::unique_ptr<KAddedSignals> change = doc.openChange();
    change->add(3);
    change->add(1);
    change->add(3);
    doc.endChange(std::move(change), HostNotice::SetModified);
    ASSERT_EQ(recorder.hints.size(), 1u);
    EXPECT_EQ(recorder.hints[0].code, UpdateHint::WavesChanged);
    EXPECT_EQ(recorder.hints[0].signals, (KSignalsSet{1, 3}));
    EXPECT_EQ(host.modifiedCalls, (std::vector<bool>{true}));
}

TEST_F(KDocTest, StimulatorChangeIsStoredAndBroadcast) {
    const SignalHandle a = addRow("a");
    EXPECT_TRUE(doc.setStimulator(a, "clock"));
    EXPECT_EQ(doc.record(a)->stimulator(), "clock");
    ASSERT_EQ(recorder.hints.size(), 1u);
    EXPECT_EQ(recorder.hints[0].code, UpdateHint::StimulatorChanged);
    EXPECT_FALSE(doc.setStimulator(42, "x"));
}

TEST(KDocHost, WithoutAHostTheDocumentIsQuietAndAnswersNo) {
    KDoc doc;
    std::unique_ptr<KAddedSignals> change = doc.openChange();
    change->add(1);
    doc.endChange(std::move(change), HostNotice::SetModified);
    EXPECT_EQ(doc.host().ask(62128, "Do you want to continue?"), HostAnswer::No);
    EXPECT_EQ(KQuietDocHost(HostAnswer::Yes).ask(62128, {}), HostAnswer::Yes);
}

// An observer that unregisters itself and another observer while a hint is delivered.
class Leaver final : public IUpdateObserver {
public:
    Leaver(IViewSynchronizer& sync, IUpdateObserver* other) : m_sync(sync), m_other(other) {}
    void onUpdate(const IUpdateObserver* sender, UpdateHint, const KHintObject*) override {
        lastSender = sender;
        ++calls;
        m_sync.removeObserver(this);
        m_sync.removeObserver(m_other);
    }
    int calls = 0;
    const IUpdateObserver* lastSender = nullptr;

private:
    IViewSynchronizer& m_sync;
    IUpdateObserver* m_other;
};

TEST_F(KDocTest, SynchronizerForwardsAndToleratesObserversLeaving) {
    HintRecorder later;
    Leaver leaver(doc, &later);
    doc.addObserver(&leaver);
    doc.addObserver(&later);
    doc.synchronize(&recorder, UpdateHint::All, nullptr);
    EXPECT_EQ(leaver.calls, 1);
    EXPECT_EQ(leaver.lastSender, &recorder);
    EXPECT_TRUE(later.hints.empty());
    doc.broadcast(UpdateHint::ResultsAppended);
    EXPECT_EQ(leaver.calls, 1);
    EXPECT_EQ(recorder.codes(),
              (std::vector<UpdateHint>{UpdateHint::All, UpdateHint::ResultsAppended}));
}

} // namespace
