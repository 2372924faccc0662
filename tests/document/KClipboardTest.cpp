// The clipboard blocks: a copied piece of waveform, copied signals and the signal list, each
// written from a document, read back, and refused when damaged; and where a piece may be pasted.

#include "QueryTestUtil.h"
#include "document/KClipDataProvider.h"
#include "document/KClipPlacement.h"
#include "document/KClipWaveform.h"
#include "document/KEventsExtent.h"
#include "document/KItemStream.h"
#include "document/KItemStreamReader.h"
#include "document/KSignalClipboard.h"
#include "document/KWaveComment.h"
#include "storage/TypeMakers.h"

#include <gtest/gtest.h>

using namespace querytest;

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t k0 = 2; // std_logic '0'
constexpr std::uint8_t k1 = 3; // std_logic '1'

// A memory source of signal 0 with values of any size.
KEventsReadHandle source(const std::vector<std::pair<SimTime, Bytes>>& events) {
    KEventsWriteHandle writer = KEventsWriteHandle::createMemory();
    for (const auto& [time, value] : events) {
        writer.setTime(time);
        writer.writeValue(0, value.data(), static_cast<std::uint32_t>(value.size()));
    }
    return KEventsReadHandle::fromWriter(writer);
}

Bytes vectorValue(std::uint8_t fill, std::size_t ones) {
    Bytes value(64, fill);
    for (std::size_t i = 0; i < ones; ++i)
        value[i] = k1;
    return value;
}

Bytes ints(std::initializer_list<std::uint8_t> bytes) {
    return Bytes(bytes);
}

// Rows: a std_logic clock, a 64-bit vector and a record of a std_logic and an integer, with
// comments and measurements; the copied range is [15, 35).
class KClipboardTest : public testing::Test {
protected:
    KClipboardTest() {
        const auto clkEvents = source({{0, {k0}}, {10, {k1}}, {20, {k0}}, {30, {k1}}, {40, {k0}}});
        clk = addRow(doc, "clk", logic, "/top/", {}, {segmentOver(0, 1000, clkEvents)});
        const auto busEvents = source({{5, vectorValue(k0, 0)}, {25, vectorValue(k0, 3)}});
        bus = addRow(doc, "bus", arrayType(63, 0), "/top/", {}, {segmentOver(0, 1000, busEvents)});
        const TRecordField fields[] = {{"a", standardType(StandardType::StdLogic)},
                                       {"b", standardType(StandardType::Integer)}};
        rec = addRow(doc, "rec", makeRecordTypeInfo("pair", fields).value(), "/top/");
        EXPECT_TRUE(doc.createElements(rec));
        const auto& children = doc.record(rec)->children();
        children[0]->segments().insert(segmentOver(0, 1000, source({{12, {k1}}, {22, {k0}}})),
                                       InsertForm::Overwrite);
        children[1]->segments().insert(
            segmentOver(0, 1000, source({{0, ints({7, 0, 0, 0})}, {30, ints({9, 0, 0, 0})}})),
            InsertForm::Overwrite);
        recA = children[0]->handle();
    }

    void addItems() {
        ASSERT_TRUE(doc.addItem(std::make_unique<KWaveComment>(clk, 0, 17, "a, b,, c — grün ✓")));
        ASSERT_TRUE(doc.addItem(std::make_unique<KWaveComment>(recA, 0, 25, "on an element")));
        ASSERT_TRUE(doc.addItem(std::make_unique<KWaveComment>(clk, 0, 35, "after the range")));
        ASSERT_TRUE(doc.addItem(std::make_unique<KEventsExtent>(clk, 20, bus, 25)));
        ASSERT_TRUE(doc.addItem(std::make_unique<KEventsExtent>(clk, 15, rec, 30)));
        ASSERT_TRUE(doc.addItem(std::make_unique<KEventsExtent>(clk, 21, bus, 25))); // no event
    }

    KClipWaveform copyAll() { return KClipWaveform::copy(doc, 0, 2, 15, 35); }

    const std::string logic = standardType(StandardType::StdLogic);
    KDoc doc;
    SignalHandle clk = 0;
    SignalHandle bus = 0;
    SignalHandle rec = 0;
    SignalHandle recA = 0;
};

std::vector<std::pair<SimTime, Bytes>> eventsOf(const KClipWaveform::Signal& signal) {
    std::vector<std::pair<SimTime, Bytes>> out;
    for (const KClipWaveform::Event& event : signal.events)
        out.emplace_back(event.offset,
                         Bytes(event.value.bytes().begin(), event.value.bytes().end()));
    return out;
}

} // namespace

TEST(KItemStream, ReadsBackEveryKindOfItem) {
    KItemStream out;
    out.text("héllo").integer(-7).integer64(INT64_MIN).character('\xff').end().spelled("ab");
    KItemStreamReader in(out.data());
    EXPECT_EQ(in.text(), "héllo");
    EXPECT_EQ(in.integer(), -7);
    EXPECT_EQ(in.integer64(), INT64_MIN);
    EXPECT_EQ(in.character(), '\xff');
    in.end();
    EXPECT_EQ(in.spelled(10, "a word"), "ab");
    EXPECT_TRUE(in.atEnd()) << in.error();
}

TEST(KItemStream, AWrongItemFailsAndEveryLaterReadFailsToo) {
    KItemStream out;
    out.integer(5).text("x");
    KItemStreamReader in(out.data());
    EXPECT_EQ(in.text(), "");
    EXPECT_FALSE(in.ok());
    EXPECT_EQ(in.error(), "expected a text, found an integer (at byte 4)");
    EXPECT_EQ(in.integer(), 0); // the integer is not read after a failure
    EXPECT_EQ(in.error(), "expected a text, found an integer (at byte 4)");

    const Bytes notAStream = {'K', 'I', 'S'};
    EXPECT_EQ(KItemStreamReader(notAStream).error(), "the data is not an item stream (at byte 0)");
    Bytes longText = KItemStream().text("abc").take();
    longText[5] = 200; // a length beyond the data
    KItemStreamReader hostile(longText);
    EXPECT_EQ(hostile.text(), "");
    EXPECT_FALSE(hostile.ok());
}

TEST_F(KClipboardTest, CopyKeepsTheStartValueAndTheEventsInsideTheRange) {
    const KClipWaveform clip = copyAll();
    EXPECT_EQ(clip.length, 20);
    ASSERT_EQ(clip.signals.size(), 3u);
    EXPECT_EQ(clip.signals[0].valueSize, 1u);
    // The value from 10 is in force at 15; the event at 35 lies at the exclusive end.
    EXPECT_EQ(eventsOf(clip.signals[0]),
              (std::vector<std::pair<SimTime, Bytes>>{{0, {k1}}, {5, {k0}}, {15, {k1}}}));
    EXPECT_EQ(clip.signals[1].valueSize, 64u);
    EXPECT_EQ(eventsOf(clip.signals[1]), (std::vector<std::pair<SimTime, Bytes>>{
                                             {0, vectorValue(k0, 0)}, {10, vectorValue(k0, 3)}}));
    EXPECT_EQ(clip.signals[2].valueSize, 5u);
    EXPECT_EQ(eventsOf(clip.signals[2]),
              (std::vector<std::pair<SimTime, Bytes>>{
                  {0, {k1, 7, 0, 0, 0}}, {7, {k0, 7, 0, 0, 0}}, {15, {k0, 9, 0, 0, 0}}}));
    EXPECT_EQ(clip.signals[2].typeInfo,
              doc.types().type(doc.record(rec)->typeIndex()).GetTypeInfoString());
}

TEST_F(KClipboardTest, ParsingTheBlockGivesBackTheCopyAndEveryTruncationIsRefused) {
    addItems();
    const KClipWaveform clip = copyAll();
    EXPECT_EQ(clip.comments, (std::vector<KClipWaveform::Comment>{{0, 2, "a, b,, c — grün ✓"},
                                                                  {2, 10, "on an element"}}));
    // The measurement whose start lies on no event is left out.
    EXPECT_EQ(clip.extents, (std::vector<KClipWaveform::Extent>{{0, 5, 1, 10}, {0, 0, 2, 15}}));
    std::string error;
    const std::optional<KClipWaveform> parsed = KClipWaveform::parse(clip.block(), &error);
    ASSERT_TRUE(parsed) << error;
    EXPECT_EQ(*parsed, clip);
    // Every truncation is refused with a message.
    const Bytes block = clip.block();
    for (std::size_t size = 0; size < block.size(); ++size) {
        EXPECT_FALSE(KClipWaveform::parse({block.data(), size}, &error)) << size;
        EXPECT_TRUE(error.starts_with("damaged waveform clipboard data: ")) << error;
    }
}

TEST_F(KClipboardTest, AnEmptySelectionCopiesNothingButStillParses) {
    const struct {
        std::size_t first, last;
        SimTime start, end;
        std::size_t signals;
        SimTime length;
    } cases[] = {{1, 0, 0, 100, 0, 100}, {0, 0, 50, 50, 1, 0}, {2, 9, 0, 10, 1, 10}};
    for (const auto& c : cases) {
        const KClipWaveform clip = KClipWaveform::copy(doc, c.first, c.last, c.start, c.end);
        EXPECT_EQ(clip.signals.size(), c.signals);
        EXPECT_EQ(clip.length, c.length);
        EXPECT_EQ(KClipWaveform::parse(clip.block()), clip);
    }
}

TEST_F(KClipboardTest, HostileBlocksAreRefused) {
    auto signal = [](std::int32_t size, std::int32_t count, KItemStream& s) {
        s.integer(size).end().integer(count).end();
    };
    auto header = [](KItemStream& s, std::int32_t rows, SimTime length) {
        s.text("SIGNALS").integer(rows).end();
        for (std::int32_t i = 0; i < rows; ++i)
            s.spelled("");
        s.integer64(length).end();
    };
    auto tail = [](KItemStream& s) { s.text("Comments").integer(0).end().text("EventsExtents"); };
    std::vector<std::pair<std::string, Bytes>> cases;
    const auto add = [&](const std::string& expected, const auto& build) {
        KItemStream s;
        build(s);
        cases.emplace_back(expected, s.take());
    };
    add("row count",
        [&](KItemStream& s) { s.text("SIGNALS").integer(2000000000).end().spelled(""); });
    add("byte", [&](KItemStream& s) {
        header(s, 1, 10);
        signal(1, 1, s);
        s.integer(0).end().integer(256).end();
        tail(s);
    });
    add("out of order", [&](KItemStream& s) {
        header(s, 1, 10);
        signal(1, 3, s);
        s.integer(0).end().integer(0).end();
        s.integer64(5).end().integer(1).end().integer64(5).end().integer(2).end();
        tail(s);
    });
    add("longer than the data left", [&](KItemStream& s) {
        header(s, 1, 10);
        signal(16777216, 1, s);
        s.integer(0).end();
    });
    add("end event", [&](KItemStream& s) {
        header(s, 1, 10);
        signal(0, 1, s);
        s.integer(0).end().end();
        s.text("Comments").integer(0).end().text("EventsExtents").integer(1).end();
        s.integer(0).integer(1).end();
    });
    add("unexpected data", [&](KItemStream& s) {
        header(s, 0, 10);
        s.text("Comments").integer(0).end().text("EventsExtents").integer(0).end().end();
    });
    add("unreadable type",
        [&](KItemStream& s) { s.text("SIGNALS").integer(1).end().spelled("not a type"); });
    for (const auto& [expected, block] : cases) {
        std::string error;
        EXPECT_FALSE(KClipWaveform::parse(block, &error)) << expected;
        EXPECT_NE(error.find(expected), std::string::npos) << expected << ": " << error;
    }
}

TEST_F(KClipboardTest, APieceFitsRowsWhoseBytesMeanTheSame) {
    const KClipWaveform clip = KClipWaveform::copy(doc, 1, 1, 0, 30); // the 64-bit vector
    const struct {
        std::string typeInfo;
        bool fits;
    } cases[] = {
        {arrayType(0, 63, StandardType::StdULogic, "std_ulogic_vector"), true},
        {arrayType(63, 0, StandardType::Bit, "bit_vector"), false},
        {arrayType(31, 0), false},
        {standardType(StandardType::Integer), false},
    };
    for (const auto& c : cases) {
        KDoc target;
        addRow(target, "t", c.typeInfo);
        const KClipPlacement placement(target, clip);
        EXPECT_EQ(placement.canPaste(0, 100), c.fits) << c.typeInfo;
        EXPECT_FALSE(placement.canPaste(1, 100)); // no row there
        EXPECT_FALSE(placement.canPaste(0, -1));
        EXPECT_FALSE(placement.canPaste(0, kMaxTime - 10));
    }
}

TEST_F(KClipboardTest, PlacementGivesEachTargetRowItsNewEventsAndItems) {
    addItems();
    const KClipWaveform clip = KClipWaveform::copy(doc, 0, 1, 15, 35);
    const KClipPlacement placement(doc, clip);
    EXPECT_TRUE(placement.canPaste(0, 100));
    EXPECT_FALSE(placement.canPaste(2, 100)); // two rows do not fit from the last one
    EXPECT_FALSE(placement.canPaste(1, 100)); // the clock would land on the vector
    const std::vector<KClipPlacement::Target> targets = placement.targets(0, 100);
    ASSERT_EQ(targets.size(), 2u);
    EXPECT_EQ(targets[0].handle, clk);
    std::vector<SimTime> times;
    for (const KTimedValue& event : targets[0].events)
        times.push_back(event.time);
    EXPECT_EQ(times, (std::vector<SimTime>{100, 105, 115}));
    EXPECT_EQ(targets[1].events.back().value.bytes()[2], k1);

    const auto items = placement.items(0, 100);
    ASSERT_EQ(items.size(), 2u); // the comment on the record's element stayed behind
    const auto& comment = static_cast<const KWaveComment&>(*items[0]);
    EXPECT_EQ(comment.time(), 102);
    EXPECT_EQ(comment.signal(), clk);
    const auto& extent = static_cast<const KEventsExtent&>(*items[1]);
    EXPECT_EQ(extent.startTime(), 105);
    EXPECT_EQ(extent.endTime(), 110);
    EXPECT_EQ(extent.endSignal(), bus);
}

TEST_F(KClipboardTest, CopiedSignalsComeBackWithPropertiesElementsAndCopyNames) {
    doc.record(clk)->setColor(0x123456);
    doc.record(clk)->setBold(true);
    doc.record(rec)->children()[1]->setHeight(40);
    const SignalHandle copied[] = {clk, rec};
    const std::vector<KClipSignal> signals = KClipDataProvider::describe(doc, copied);
    std::string error;
    const auto parsed = KClipDataProvider::parse(KClipDataProvider::block(signals), &error);
    ASSERT_TRUE(parsed) << error;
    EXPECT_EQ(*parsed, signals);
    EXPECT_EQ(signals[0].name, "/top/clk");
    EXPECT_EQ(signals[1].children[0].name, ".a");

    const auto records = KClipDataProvider::records(doc, *parsed);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(doc.hierarchyText(records[0]->hierarchyIndex()) + records[0]->name(),
              "/top/COPY_(1)_OF_clk");
    EXPECT_EQ(records[0]->color(), 0x123456u);
    EXPECT_TRUE(records[0]->isBold());
    EXPECT_EQ(records[0]->typeIndex(), doc.record(clk)->typeIndex());
    ASSERT_EQ(records[1]->children().size(), 2u);
    EXPECT_EQ(records[1]->children()[1]->name(), "COPY_(1)_OF_rec.b");
    EXPECT_EQ(records[1]->children()[1]->height(), 40);

    KDoc other; // where the names are free, they stay
    EXPECT_EQ(KClipDataProvider::records(other, *parsed)[0]->name(), "clk");
}

TEST_F(KClipboardTest, DamagedSignalBlocksAreRefused) {
    const SignalHandle copied[] = {rec};
    const Bytes block = KClipDataProvider::render(doc, copied);
    for (std::size_t size = 0; size < block.size(); ++size)
        EXPECT_FALSE(KClipDataProvider::parse({block.data(), size})) << size;
    KItemStream deep;
    deep.text("WAVEFORMSIGNAL").integer(1).end();
    for (int i = 0; i < 100; ++i)
        deep.text("n").integer(0).text("").integer(0).integer(1).end();
    std::string error;
    EXPECT_FALSE(KClipDataProvider::parse(deep.data(), &error));
    EXPECT_NE(error.find("too deep"), std::string::npos) << error;
    EXPECT_TRUE(KClipDataProvider::render(doc, {}).empty());
}

TEST_F(KClipboardTest, SignalListDescribesTypedSignalsOnly) {
    doc.record(bus)->setMode(SignalMode::PortOut);
    const SignalHandle untyped = doc.addRecord(KSignalRecord::create("vbus"));
    const SignalHandle selected[] = {clk, untyped, bus, 9999};
    const Bytes block = KSignalClipboard::render(doc, selected);
    std::string error;
    const auto entries = KSignalClipboard::parse(block, &error);
    ASSERT_TRUE(entries) << error;
    EXPECT_EQ(*entries,
              (std::vector<KSignalClipboard::Entry>{{"/top/clk", logic, 0, false},
                                                    {"/top/bus", arrayType(63, 0), 2, false}}));

    const SignalHandle records[] = {rec};
    const auto fromList = KClipDataProvider::fromSignalList(
        *KSignalClipboard::parse(KSignalClipboard::render(doc, records)));
    ASSERT_EQ(fromList.size(), 1u);
    EXPECT_EQ(fromList[0].children, KClipDataProvider::describe(doc, records)[0].children);

    const SignalHandle none[] = {untyped};
    EXPECT_TRUE(KSignalClipboard::render(doc, none).empty());
    for (std::size_t size = 0; size < block.size(); ++size)
        EXPECT_FALSE(KSignalClipboard::parse({block.data(), size})) << size;
    Bytes badName = block;
    badName[8] = 0xFF; // the first name's offset
    EXPECT_FALSE(KSignalClipboard::parse(badName, &error));
    EXPECT_NE(error.find("outside the name table"), std::string::npos) << error;
}
