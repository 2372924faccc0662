// Moves to tests/document/ once the editing primitives and undo items are in.
#include "document/KFillApply.h"

#include "QueryTestUtil.h"
#include "document/KDoc.h"
#include "document/KStretchApply.h"
#include "storage/query/KOneSignalValue.h"

#include <gtest/gtest.h>

namespace {

using querytest::addLeaf;
using querytest::constantSegment;

constexpr std::uint8_t kU = 0, kZero = 2, kOne = 3, kZ = 4;

class FillApply : public ::testing::Test {
protected:
    // The std_logic letters of a signal at each time ('?' where it has no value).
    std::string wave(SignalHandle handle, std::initializer_list<SimTime> times) const {
        std::string text;
        for (SimTime time : times) {
            const KOneSignalValue value(doc, handle, time);
            text += value.hasValue() ? "UX01ZWLH-"[value.bytes().at(0)] : '?';
        }
        return text;
    }
    // 0 on [0, 100), 1 on [100, 150), 0 on [150, 200), Z on [200, 900), 1 on [900, 1000).
    SignalHandle pattern() {
        return addLeaf(doc, {constantSegment(0, 100, kZero), constantSegment(100, 150, kOne),
                             constantSegment(150, 200, kZero), constantSegment(200, 900, kZ),
                             constantSegment(900, 1000, kOne)});
    }
    SignalHandle integerSignal() {
        const SignalHandle handle = addLeaf(doc, {});
        doc.setTypeInfo(handle, doc.types().registerType("i#7#integer(-2147483648t2147483647)"));
        return handle;
    }

    KDoc doc;
    KWVConfig config = KWVConfig::separate();
};

TEST_F(FillApply, ValueOverwritesTheRangeOnly) {
    const SignalHandle a = addLeaf(doc, {constantSegment(0, 1000, kZero)});
    const SignalHandle b = addLeaf(doc, {constantSegment(0, 1000, kU)});
    KFillApply fill(doc, config, {{a, b}, 100, 200});
    EXPECT_TRUE(fill.fillValue(" 1 ").changed());
    EXPECT_EQ(wave(a, {99, 100, 199, 200}), "0110");
    EXPECT_EQ(wave(b, {99, 100, 199, 200}), "U11U");
}

TEST_F(FillApply, ValueRejectedByOneTypeChangesNothing) {
    const SignalHandle a = addLeaf(doc, {constantSegment(0, 1000, kZero)});
    const SignalHandle count = integerSignal();
    KFillApply fill(doc, config, {{a, count}, 100, 200});
    const KFillOutcome outcome = fill.fillValue("Z");
    EXPECT_EQ(outcome.status, KFillOutcome::Status::Refused);
    EXPECT_EQ(outcome.message, "Wrong value format for signal: " + doc.record(count)->name());
    EXPECT_EQ(wave(a, {150}), "0");
    EXPECT_EQ(fill.fillValue("  ").status, KFillOutcome::Status::Nothing);
}

TEST_F(FillApply, ValueHistoryKeepsEachTextOnce) {
    KFillApply fill(doc, config, {});
    fill.rememberValue(" 1");
    fill.rememberValue("0");
    fill.rememberValue("1 ");
    EXPECT_EQ(config.text(KTextId::FillByValue), "1|0");
}

TEST_F(FillApply, ClockFillsEverySignalAndSavesItsSettings) {
    const SignalHandle a = addLeaf(doc, {constantSegment(0, 1000, kZ)});
    KFillApply fill(doc, config, {{a}, 100, 400});
    EXPECT_TRUE(fill.fillClock({20, 100, 30, false}).changed());
    // 1 at the start (offset), then 0 for 30 and 1 for 70 of each period; Z again from 400.
    EXPECT_EQ(wave(a, {100, 119, 120, 149, 150, 220, 250, 399, 400}), "11001011Z");
    const KClockEntries saved = fill.clockSettings();
    EXPECT_EQ(saved.offset, 20);
    EXPECT_EQ(saved.period, 100);
    EXPECT_EQ(saved.width, 30);
    EXPECT_FALSE(saved.startHigh);
}

TEST_F(FillApply, ClockRefusals) {
    const SignalHandle a = addLeaf(doc, {constantSegment(0, 1000, kZ)});
    const SignalHandle count = integerSignal();
    KFillApply mixed(doc, config, {{a, count}, 100, 400});
    EXPECT_EQ(mixed.fillClock({0, 100, 50, true}).message, "Cannot fill this signal(s).");
    KFillApply logic(doc, config, {{a}, 100, 400});
    EXPECT_EQ(logic.fillClock({0, -1.0, 50, true}).status, KFillOutcome::Status::Invalid);
    EXPECT_EQ(wave(a, {150}), "Z");
    // Refused fills keep the previous settings.
    EXPECT_EQ(logic.clockSettings().period, 100000);
}

TEST_F(FillApply, FormulaFillsAndRemembers) {
    const SignalHandle a = addLeaf(doc, {constantSegment(0, 1000, kZ)});
    KFillApply fill(doc, config, {{a}, 100, 130});
    fill.rememberFormula("'0' 0, '1' 5 -r 10", Ps);
    EXPECT_TRUE(fill.fillFormula("'0' 0, '1' 5 -r 10", Ps).changed());
    EXPECT_EQ(wave(a, {100, 105, 110, 125, 129, 130}), "01011Z");
    EXPECT_EQ(config.text(KTextId::FillByFormula), "'0' 0, '1' 5 -r 10");
    fill.rememberFormula("'1' 0", Ns);
    EXPECT_EQ(config.text(KTextId::FillByFormula), "'1' 0|'0' 0, '1' 5 -r 10");
    EXPECT_EQ(fill.formulaUnit(), Ns);
}

TEST_F(FillApply, FormulaErrorsAndRejectedValues) {
    const SignalHandle a = addLeaf(doc, {constantSegment(0, 1000, kZ)});
    KFillApply fill(doc, config, {{a}, 100, 200});
    const KFillOutcome error = fill.fillFormula("'1' 10 ns, '0' 5 ns", Ps);
    EXPECT_EQ(error.status, KFillOutcome::Status::Refused);
    EXPECT_NE(error.message.find("earlier than the one before it"), std::string::npos);
    const KFillOutcome rejected = fill.fillFormula("'1' 0, 'q' 50", Ps);
    EXPECT_TRUE(rejected.changed());
    EXPECT_NE(rejected.message.find("'q'"), std::string::npos);
    EXPECT_EQ(wave(a, {100, 160}), "11");
}

TEST_F(FillApply, StretchInOverwriteModeKeepsTheWaveformAfterTheRange) {
    const SignalHandle a = pattern();
    KStretchApply grow(doc, config, {{a}, 100, 200});
    EXPECT_FALSE(grow.stretch(0).done);
    EXPECT_TRUE(grow.stretch(100).done);
    EXPECT_EQ(wave(a, {99, 100, 149, 150, 199, 200}), "01100Z");
    const KStretchOutcome grown = grow.stretch(200);
    ASSERT_TRUE(grown.done);
    EXPECT_EQ(grown.end, 300);
    EXPECT_EQ(wave(a, {99, 100, 199, 200, 299, 300}), "01100Z");
    EXPECT_EQ(config.integer(KIntegerId::StretchPercent), 200);

    const SignalHandle b = pattern();
    KStretchApply shrink(doc, config, {{b}, 100, 200});
    EXPECT_EQ(shrink.stretch(50).end, 150);
    // The last stretched value lasts to the old end.
    EXPECT_EQ(wave(b, {100, 124, 125, 199, 200}), "1100Z");
}

TEST_F(FillApply, StretchInInsertModeMovesTheWaveformAfterTheRange) {
    doc.setInsertMode(true);
    const SignalHandle a = pattern();
    KStretchApply(doc, config, {{a}, 100, 200}).stretch(200);
    EXPECT_EQ(wave(a, {100, 200, 299, 300, 999, 1000}), "100ZZ1");
    const SignalHandle b = pattern();
    KStretchApply(doc, config, {{b}, 100, 200}).stretch(50);
    EXPECT_EQ(wave(b, {100, 125, 149, 150, 849, 850}), "100ZZ1");
}

} // namespace
