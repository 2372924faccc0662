// Undoable changes to the set of signals: each one, undone and redone, gives back exactly the
// signals, names, rows and hierarchy it replaced.

#include "document/KSignalsEditor.h"

#include "EditTestUtil.h"
#include "HintRecorder.h"

#include <functional>
#include <gtest/gtest.h>

using namespace edittest;

namespace {

// Everything the signals list shows: rows, then every signal with its name, parent, children and
// flags.
std::vector<std::string> structure(const KDoc& doc) {
    std::vector<std::string> lines;
    std::string rows = "rows";
    for (SignalHandle row : doc.rows())
        rows += " " + std::to_string(row);
    lines.push_back(rows);
    for (const auto& [handle, record] : doc.signals()) {
        std::string line = std::to_string(handle) + " " + doc.fullName(handle) + " parent " +
                           std::to_string(record->parent()) + " flags " +
                           std::to_string(record->flagsA()) + " color " +
                           std::to_string(record->color()) + " children";
        for (const KSignalRecordPtr& child : record->children())
            line += " " + std::to_string(child->handle());
        lines.push_back(line);
        EXPECT_EQ(doc.findByName(doc.fullName(handle)), handle);
    }
    return lines;
}

class KSignalsEditorTest : public testing::Test {
protected:
    KSignalsEditorTest() {
        a = addLogicRow(doc, {{0, 2}});
        b = addLogicRow(doc, {{0, 3}});
        bus = addBusRow(doc, 2);
        doc.addObserver(&recorder);
    }

    // Runs one recorded action and checks that undo and redo give back both states exactly.
    void expectUndoable(const std::function<void()>& action) {
        const std::vector<std::string> before = structure(doc);
        doc.beginItem();
        action();
        doc.commitItem();
        const std::vector<std::string> after = structure(doc);
        EXPECT_NE(after, before);
        doc.undo();
        EXPECT_EQ(structure(doc), before);
        doc.redo();
        EXPECT_EQ(structure(doc), after);
    }

    KDoc doc;
    KSignalsEditor editor{doc};
    HintRecorder recorder;
    SignalHandle a = 0, b = 0, bus = 0;
};

TEST_F(KSignalsEditorTest, AddedSignalsLeaveOnUndoAndReturnOnRedo) {
    KSignalRecordPtr added = KSignalRecord::create("new");
    added->children().push_back(KSignalRecord::create("new(0)"));
    expectUndoable([&] {
        const std::vector<SignalHandle> handles = editor.addSignals({added}, 1);
        ASSERT_EQ(handles.size(), 1u);
        EXPECT_EQ(doc.rows()[1], handles[0]);
    });
    EXPECT_TRUE(editor.addSignals({KSignalRecord::create("taken", a)}, 0).empty());
}

TEST_F(KSignalsEditorTest, RemovedSignalsComeBackInPlaceWithTheirEvents) {
    const SignalHandle element = doc.record(bus)->children()[1]->handle();
    expectUndoable([&] { ASSERT_TRUE(editor.removeSignals(KSignalsSet{a, element})); });
    recorder.hints.clear();
    doc.undo();
    EXPECT_EQ(recorder.codes().front(), UpdateHint::SignalsAddedRemoved);
    EXPECT_EQ(recorder.hints.front().signals, (KSignalsSet{a, element}));
    EXPECT_EQ(eventsText(doc, a), std::vector<std::string>{"0=2."});
    EXPECT_FALSE(editor.removeSignals(KSignalsSet{99}));
}

TEST_F(KSignalsEditorTest, RenameAndPropertiesAreUndone) {
    expectUndoable([&] { ASSERT_TRUE(editor.rename(bus, "data")); });
    EXPECT_EQ(doc.findByName("data"), bus);
    expectUndoable([&] {
        ASSERT_TRUE(editor.setProperties(a, [](KSignalRecord& r) {
            r.setColor(0x123456);
            r.setReadOnly(true);
        }));
    });
    EXPECT_EQ(doc.record(a)->color(), 0x123456u);
    EXPECT_FALSE(editor.rename(99, "x"));
}

TEST_F(KSignalsEditorTest, GroupingIntoAVirtualBusAndUngroupingAreUndone) {
    SignalHandle vbus = 0;
    const SignalHandle members[] = {b, a};
    expectUndoable([&] { vbus = editor.group(members); });
    ASSERT_NE(vbus, 0);
    EXPECT_EQ(doc.record(vbus)->name(), "VBUS1");
    EXPECT_EQ(doc.rows(), (std::vector<SignalHandle>{vbus, bus}));
    const SignalHandle buses[] = {vbus};
    expectUndoable([&] { ASSERT_TRUE(editor.ungroup(buses)); });
    EXPECT_EQ(doc.rows(), (std::vector<SignalHandle>{b, a, bus}));
    EXPECT_FALSE(doc.contains(vbus));
    const SignalHandle notVirtual[] = {bus};
    EXPECT_FALSE(editor.ungroup(notVirtual));
}

} // namespace
