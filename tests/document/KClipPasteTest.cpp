// Pasting clipboard blocks into a document: a piece of waveform onto rows (overwriting or
// inserting), copied signals and signal lists as new rows, one undo item per paste.
//
// Not built yet: it needs the document's undo ring and edit transactions. Move it to
// tests/document/ when they are in.

#include "document/KClipPaste.h"

#include "../document/HintRecorder.h"
#include "../document/QueryTestUtil.h"
#include "document/KClipWaveform.h"
#include "document/KSignalClipboard.h"
#include "storage/TypeMakers.h"
#include "storage/query/KEventsQuery.h"

#include <gtest/gtest.h>

using namespace querytest;

namespace {

using Bytes = std::vector<std::uint8_t>;
using Offer = KClipPaste::Offer;

constexpr std::uint8_t k0 = 2;
constexpr std::uint8_t k1 = 3;

// Two std_logic rows: "a" toggling every 10 from 0, "b" constant '0'.
class KClipPasteTest : public testing::Test {
protected:
    KClipPasteTest() {
        a = addRow("a", {{0, 0, 0, k0},
                         {10, 0, 0, k1},
                         {20, 0, 0, k0},
                         {30, 0, 0, k1},
                         {40, 0, 0, k0},
                         {50, 0, 0, k1}});
        b = addRow("b", {{0, 0, 0, k0}});
        doc.addObserver(&recorder);
    }

    SignalHandle addRow(const std::string& name, const std::vector<SourceEvent>& events) {
        const SignalHandle handle = addLeaf(doc, {segmentOver(0, 1000, memorySource(events))});
        doc.rename(handle, name);
        const SignalHandle rows[] = {handle};
        doc.insertRows(doc.rowCount(), rows);
        return handle;
    }

    std::vector<std::pair<SimTime, std::uint8_t>> events(SignalHandle handle, SimTime from,
                                                         SimTime to) {
        KEventsQuery query(doc, from, to);
        query.addSignal(handle);
        query.run();
        std::vector<std::pair<SimTime, std::uint8_t>> out;
        for (const auto& [time, record] : query.events(handle))
            if (!record.isClosing())
                out.emplace_back(std::max(time, from), record.value().data()[0]);
        return out;
    }

    KDoc doc;
    HintRecorder recorder;
    SignalHandle a = 0;
    SignalHandle b = 0;
};

} // namespace

TEST_F(KClipPasteTest, AWaveformPieceOverwritesTheTargetRange) {
    const Bytes block = KClipWaveform::copy(doc, 0, 0, 5, 25).block(); // a over [5, 25)
    const Offer offers[] = {{KClipPaste::kWaveformFormat, block}};
    KAddedSignals changed;
    ASSERT_TRUE(KClipPaste(doc).paste(offers, 1, 100, PasteForm::Overwrite, changed));
    EXPECT_EQ(changed.signals(), KSignalsSet({b}));
    EXPECT_EQ(events(b, 90, 200), (std::vector<std::pair<SimTime, std::uint8_t>>{
                                      {90, k0}, {100, k0}, {105, k1}, {115, k0}, {120, k0}}));
    EXPECT_TRUE(doc.canUndo());
    doc.undo();
    EXPECT_EQ(events(b, 90, 200), (std::vector<std::pair<SimTime, std::uint8_t>>{{90, k0}}));
}

TEST_F(KClipPasteTest, InsertingMovesTheRestOfTheWaveformLater) {
    const Bytes block = KClipWaveform::copy(doc, 1, 1, 0, 15).block(); // b's constant '0'
    const Offer offers[] = {{KClipPaste::kWaveformFormat, block}};
    KAddedSignals changed;
    ASSERT_TRUE(KClipPaste(doc).paste(offers, 0, 10, PasteForm::Insert, changed));
    const auto after = events(a, 0, 50);
    EXPECT_EQ(after, (std::vector<std::pair<SimTime, std::uint8_t>>{
                         {0, k0}, {10, k0}, {25, k1}, {35, k0}, {45, k1}}));
    // The edge at 10 moved to 25; the pasted piece starts a new segment at 10, and a change of
    // segment reads as an event even when the value stays.
}

TEST_F(KClipPasteTest, APieceThatDoesNotFitChangesNothing) {
    querytest::addRow(doc, "n", standardType(StandardType::Integer));
    const Bytes block = KClipWaveform::copy(doc, 0, 0, 0, 20).block();
    const Offer offers[] = {{KClipPaste::kWaveformFormat, block}};
    KAddedSignals changed;
    EXPECT_FALSE(KClipPaste(doc).paste(offers, 2, 0, PasteForm::Overwrite, changed));
    EXPECT_TRUE(changed.signals().empty());
    EXPECT_FALSE(doc.canUndo());
    EXPECT_FALSE(KClipPaste(doc).paste(offers, 0, -5, PasteForm::Overwrite, changed));
}

TEST_F(KClipPasteTest, CopiedSignalsBecomeNewRowsWithCopyNames) {
    const SignalHandle copied[] = {a};
    const Bytes block = KClipDataProvider::render(doc, copied);
    const Offer offers[] = {{KClipPaste::kSignalsFormat, block}};
    KAddedSignals added;
    ASSERT_TRUE(KClipPaste(doc).paste(offers, 1, 0, PasteForm::Overwrite, added));
    ASSERT_EQ(added.signals().size(), 1u);
    const SignalHandle copy = *added.signals().begin();
    EXPECT_EQ(doc.rows(), (std::vector<SignalHandle>{a, copy, b}));
    EXPECT_EQ(doc.fullName(copy), "/COPY_(1)_OF_a");
    EXPECT_TRUE(doc.record(copy)->segments().empty()); // rows without events
    doc.undo();
    EXPECT_FALSE(doc.contains(copy));
}

TEST_F(KClipPasteTest, ASignalListBringsItsElements) {
    const TRecordField fields[] = {{"x", standardType(StandardType::StdLogic)},
                                   {"y", standardType(StandardType::StdLogic)}};
    const SignalHandle r = querytest::addRow(doc, "r", makeRecordTypeInfo("pair", fields).value());
    const SignalHandle selected[] = {r};
    const Bytes block = KSignalClipboard::render(doc, selected);
    const Offer offers[] = {{KClipPaste::kSignalListFormat, block}};
    KAddedSignals added;
    ASSERT_TRUE(KClipPaste(doc).paste(offers, 0, 0, PasteForm::Overwrite, added));
    const SignalHandle copy = *added.signals().begin();
    ASSERT_EQ(doc.record(copy)->children().size(), 2u);
    EXPECT_EQ(doc.record(copy)->children()[1]->name(), "COPY_(1)_OF_r.y");
}

TEST_F(KClipPasteTest, AWaveformIsPreferredWhereItFitsAndSignalsOtherwise) {
    const Bytes waveform = KClipWaveform::copy(doc, 0, 0, 0, 20).block();
    const SignalHandle copied[] = {a};
    const Bytes signals = KClipDataProvider::render(doc, copied);
    const Offer offers[] = {{KClipPaste::kSignalsFormat, signals},
                            {KClipPaste::kWaveformFormat, waveform}};
    const KClipPaste paste(doc);
    EXPECT_EQ(paste.preferredFormat(offers, 1, 0), KClipPaste::kWaveformFormat);
    EXPECT_EQ(paste.preferredFormat(offers, 2, 0), KClipPaste::kSignalsFormat);
    const Bytes garbage = {1, 2, 3};
    const Offer damaged[] = {{KClipPaste::kWaveformFormat, garbage}};
    EXPECT_EQ(paste.preferredFormat(damaged, 0, 0), "");
}
