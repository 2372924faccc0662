// Saving a document into a waveform file and opening it again: declarations, properties,
// annotations, events, the save protocol and the temporary files.

#include "EditTestUtil.h"
#include "QueryTestUtil.h"
#include "document/KDoc.h"
#include "document/KDocTemplate.h"
#include "document/KEditTransaction.h"
#include "document/KEventsExtent.h"
#include "document/KStoreEventsQuery.h"
#include "document/KTempFiles.h"
#include "document/KVBusCreator.h"
#include "document/KWaveComment.h"
#include "document/KWaveformReader.h"
#include "document/KWaveformWriter.h"
#include "storage/KFileException.h"
#include "storage/query/KEventsQuery.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

using namespace querytest;
namespace fs = std::filesystem;

namespace {

using edittest::RecordingHost;

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// A folder of its own under the temporary folder, removed with everything in it.
class TempFolder {
public:
    TempFolder() {
        static int counter = 0;
        m_path = fs::temp_directory_path() /
                 ("wavefile-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
        fs::create_directories(m_path);
    }
    ~TempFolder() {
        std::error_code ignored;
        fs::permissions(m_path, fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(m_path, ignored);
    }
    std::string file(const std::string& name) const { return (m_path / name).string(); }
    const fs::path& path() const { return m_path; }

private:
    fs::path m_path;
};

// A signal declared as a std_logic signal, in a row of its own.
SignalHandle logicRow(KDoc& doc, const std::string& name, std::vector<KEventSegment> segments,
                      const std::string& hierarchy = "/top/") {
    return addRow(doc, name, standardType(StandardType::StdLogic), hierarchy, SignalMode::Signal,
                  segments);
}

// Every event of every signal by full name: "name time+delta=bytes" lines.
std::vector<std::string> allEvents(const KDoc& doc) {
    std::vector<std::string> lines;
    for (const auto& [handle, record] : doc.signals()) {
        RecordingProvider provider(doc, 0);
        provider.addSignal(handle);
        provider.run();
        for (const std::string& line : provider.lines)
            lines.push_back(doc.fullName(handle) + " " + line.substr(line.find(' ') + 1));
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

std::unique_ptr<KDoc> reopen(const std::string& path) {
    auto doc = std::make_unique<KDoc>();
    EXPECT_TRUE(doc->openDocument(path)) << path;
    return doc;
}

class KWaveformFileTest : public testing::Test {
protected:
    TempFolder folder;
    RecordingHost host;
    KDoc doc{&host};
};

// Properties -------------------------------------------------------------------------------

TEST_F(KWaveformFileTest, PropertiesAreWrittenAsTextAndReadBack) {
    ASSERT_TRUE(doc.saveDocument(folder.file("empty.awf")));
    EXPECT_TRUE(reopen(folder.file("empty.awf"))->signals().empty());
    const SignalHandle set = logicRow(doc, "set", {});
    const SignalHandle atDefault = logicRow(doc, "atDefault", {});
    const SignalHandle plain = logicRow(doc, "plain", {});
    for (SignalHandle handle : {set, atDefault})
        doc.setTypeInfo(handle, doc.types().registerType("i#7#natural(0t5)"));
    KSignalRecord& record = *doc.record(set);
    record.setBold(true);
    record.setColor(0x00FF8000);
    record.setHeight(40);
    record.setInverted(true);
    record.setRadix(16);
    record.setShape(1);
    record.setStimulator("clock 10ns");
    record.setAnalogRange(0, 4);
    doc.record(atDefault)->setAnalogRange(0, 5); // the type's own range
    doc.record(atDefault)->setRadix(-1);
    const std::string path = folder.file("p.awf");
    ASSERT_TRUE(doc.saveDocument(path));

    KEventsReadHandle file = KEventsReadHandle::openDatabase(path);
    const std::pair<const char*, const char*> written[] = {{"Bold", "1"},
                                                           {"Color", "16744448"},
                                                           {"Height", "40"},
                                                           {"Inverted", "1"},
                                                           {"Radix", "16"},
                                                           {"Shape", "1"},
                                                           {"Stimulator", "clock 10ns"},
                                                           {"Analog range", "0.0000 4.0000"},
                                                           {"StartTime", ""},
                                                           {"VBus", ""}};
    for (const auto& [key, text] : written) {
        EXPECT_EQ(file.property(set, key), text) << key;
        EXPECT_EQ(file.property(atDefault, key), "") << key;
        EXPECT_EQ(file.property(plain, key), "") << key;
    }
    auto again = reopen(path);
    ASSERT_EQ(again->rowCount(), 3u);
    const KSignalRecord& back = *again->record(again->rows()[0]);
    EXPECT_TRUE(back.isBold());
    EXPECT_EQ(back.color(), 0x00FF8000u);
    EXPECT_EQ(back.height(), 40);
    EXPECT_TRUE(back.isInverted());
    EXPECT_EQ(back.radix(), 16);
    EXPECT_EQ(back.shape(), 1u);
    EXPECT_EQ(back.stimulator(), "clock 10ns");
    EXPECT_EQ(back.analogLow(), 0);
    EXPECT_EQ(back.analogHigh(), 4);
    EXPECT_FALSE(again->record(again->rows()[1])->hasAnalogRange());
    EXPECT_EQ(again->record(again->rows()[1])->radix(), -1);
    const KSignalRecordPtr defaults = again->record(again->rows()[2]);
    EXPECT_EQ(defaults->color(), KSignalRecord::kAutomaticColor);
    EXPECT_EQ(defaults->height(), KSignalRecord::kDefaultHeight);
    EXPECT_EQ(defaults->radix(), -1);
    EXPECT_EQ(defaults->mode(), static_cast<std::uint32_t>(SignalMode::Signal));
    EXPECT_EQ(again->fullName(defaults->handle()), "/top/plain");
}

TEST_F(KWaveformFileTest, StartTimeIsWrittenButNotReadBack) {
    KEventsReadHandle source = memorySource({{0, 0, 0, 3}});
    const SignalHandle handle = logicRow(doc, "late", {segmentOver(100, 200, source)});
    const std::vector<std::string> before = allEvents(doc);
    const std::string path = folder.file("s.awf");
    ASSERT_TRUE(doc.saveDocument(path));
    EXPECT_EQ(KEventsReadHandle::openDatabase(path).property(handle, "StartTime"), "100");
    // The value in force where the segment starts is an event there in the file.
    EXPECT_EQ(allEvents(*reopen(path)), before);
    EXPECT_EQ(before, (std::vector<std::string>{"/top/late 100=3.", "/top/late none"}));
}

TEST_F(KWaveformFileTest, OneSignalIsWrittenWithItsElementsAndWithoutAnnotations) {
    KEventsReadHandle source = memorySource({{0, 0, 0, 2}, {0, 0, 1, 3}, {4, 0, 1, 2}});
    const SignalHandle a = logicRow(doc, "a", {segmentOver(0, 10, source, 0)});
    const SignalHandle bus = logicRow(doc, "bus", {});
    for (int i = 0; i < 2; ++i) {
        const KSignalRecordPtr element =
            doc.record(addLeaf(doc, {segmentOver(0, 10, source, i)}, bus));
        element->setName("bus(" + std::to_string(i) + ")");
        element->setParentNameLength(3);
        element->setHierarchyIndex(doc.record(bus)->hierarchyIndex());
    }
    doc.rebuildNameIndex();
    ASSERT_TRUE(doc.addItem(std::make_unique<KWaveComment>(bus, 0, 5, "note")));
    const std::string path = folder.file("one.awf");
    KWaveformWriter(doc).writeSignal(bus, path);
    auto again = reopen(path);
    ASSERT_EQ(again->rowCount(), 1u);
    EXPECT_EQ(again->findByName("/top/a"), 0);
    EXPECT_EQ(again->record(again->rows()[0])->children().size(), 2u);
    EXPECT_TRUE(again->items().empty());
    std::vector<std::string> expected = allEvents(doc);
    std::erase_if(expected, [](const std::string& line) { return line.starts_with("/top/a "); });
    EXPECT_EQ(allEvents(*again), expected);
    EXPECT_THROW(KWaveformWriter(doc).writeSignal(999, path), KFileException);
    EXPECT_THROW(KWaveformWriter(doc).write(folder.file("no/such/folder.awf")), KFileException);
    (void)a;
}

TEST(KWaveformWriterTest, DefaultAnalogRangesByType) {
    struct Case {
        const char* type;
        bool has;
        double low;
        double high;
    };
    const Case cases[] = {
        {"i#7#natural(0t255)", true, 0, 255},
        {"i#4#down(9d2)", true, 2, 9},
        {"a#16#std_logic_vector1(7d0)e#9#std_logicc9 UX01ZWLH-", true, 0, 255},
        {"e#3#bitc2 01", false, 0, 0},
    };
    for (const Case& c : cases) {
        auto type = KTypeInfo::fromString(c.type);
        ASSERT_TRUE(type) << c.type;
        double low = -7;
        double high = -7;
        EXPECT_EQ(KWaveformWriter::defaultAnalogRange(*type, low, high), c.has) << c.type;
        if (c.has) {
            EXPECT_EQ(low, c.low) << c.type;
            EXPECT_EQ(high, c.high) << c.type;
        }
    }
    EXPECT_EQ(KWaveformWriter::rangeEndText(4), "4.0000");
    EXPECT_EQ(KWaveformWriter::rangeEndText(-0.5), "-0.50000");
}

// Names ------------------------------------------------------------------------------------

TEST(KWaveformReaderTest, SplitsPathsAtTheLastSeparatorOrTheExtendedIdentifier) {
    const std::pair<const char*, std::size_t> cases[] = {
        {"/top/u1/clk", 8},
        {"clk", 0},
        {"/top/\\a/b\\", 5},
        {"/top/\\a\\\\b\\", 5},
        {"\\ext\\", 0},
        {"/top/", 5},
        {"\\\\", 0},
        {"/top/x\\y\\", 6},
        {"", 0},
    };
    for (const auto& [path, split] : cases)
        EXPECT_EQ(KWaveformReader::splitPoint(path), split) << path;
}

TEST_F(KWaveformFileTest, BusesVirtualBusesAndElementsKeepTheirNames) {
    KEventsReadHandle source = memorySource({{0, 0, 0, 2}, {0, 0, 1, 3}, {5, 0, 0, 3}});
    const SignalHandle bus = logicRow(doc, "data", {});
    doc.setTypeInfo(
        bus, doc.types().registerType("a#16#std_logic_vector1(1d0)e#9#std_logicc9 UX01ZWLH-"));
    ASSERT_TRUE(doc.createElements(bus));
    int i = 0;
    for (const KSignalRecordPtr& element : doc.record(bus)->children())
        element->segments().insert(segmentOver(0, 10, source, i++), InsertForm::Overwrite);
    const SignalHandle member = logicRow(doc, "clk", {segmentOver(0, 10, source, 0)}, "/top/u1/");
    const SignalHandle members[] = {member};
    const SignalHandle vbus = KVBusCreator(doc).create(members);
    ASSERT_NE(vbus, 0);
    ASSERT_EQ(doc.record(vbus)->name(), "VBUS1");

    const std::string path = folder.file("names.awf");
    ASSERT_TRUE(doc.saveDocument(path));
    auto again = reopen(path);
    ASSERT_EQ(again->rowCount(), 2u);
    const KSignalRecordPtr busBack = again->record(again->rows()[0]);
    ASSERT_EQ(busBack->children().size(), 2u);
    EXPECT_EQ(again->fullName(busBack->handle()), "/top/data");
    EXPECT_EQ(busBack->children()[0]->name(), "data(1)");
    EXPECT_EQ(busBack->children()[1]->name(), "data(0)");
    EXPECT_EQ(busBack->children()[1]->parentNameLength(), 4);
    EXPECT_EQ(again->fullName(busBack->children()[0]->handle()), "/top/data(1)");
    const KSignalRecordPtr vbusBack = again->record(again->rows()[1]);
    EXPECT_TRUE(vbusBack->isVirtualBus());
    EXPECT_EQ(vbusBack->name(), "VBUS1");
    ASSERT_EQ(vbusBack->children().size(), 1u);
    EXPECT_EQ(vbusBack->children()[0]->name(), "/top/u1/clk");
    EXPECT_EQ(vbusBack->children()[0]->hierarchyIndex(), 0u);
    EXPECT_EQ(allEvents(*again), allEvents(doc));
}

// Annotations ------------------------------------------------------------------------------

TEST_F(KWaveformFileTest, CommentsAndLongMeasurementsRoundTrip) {
    const SignalHandle a = logicRow(doc, "a", {});
    const SignalHandle b = logicRow(doc, "b", {});
    ASSERT_TRUE(doc.addItem(std::make_unique<KWaveComment>(a, 2, 1500, "x, y,, z,")));
    const SimTime longer = (SimTime(1) << 31) + 12345;
    ASSERT_TRUE(doc.addItem(std::make_unique<KEventsExtent>(a, 100, b, 100 + longer, 1)));
    const std::string path = folder.file("items.awf");
    ASSERT_TRUE(doc.saveDocument(path));

    KEventsReadHandle file = KEventsReadHandle::openDatabase(path);
    ASSERT_EQ(file.annotationCount(a), 2);
    auto again = reopen(path);
    ASSERT_EQ(again->items().size(), 2u);
    for (const auto& item : again->items()) {
        if (item->kind() == KItemUI::Kind::Comment) {
            const auto& comment = static_cast<const KWaveComment&>(*item);
            EXPECT_EQ(comment.text(), "x, y,, z,");
            EXPECT_EQ(comment.rowPosition(), 2);
            EXPECT_EQ(comment.time(), 1500);
        } else {
            const auto& extent = static_cast<const KEventsExtent&>(*item);
            EXPECT_EQ(extent.duration(), longer);
            EXPECT_EQ(extent.startTime(), 100);
            EXPECT_EQ(again->fullName(extent.endSignal()), "/top/b");
            EXPECT_EQ(extent.rowPosition(), 1);
        }
    }
}

// Documents and events ---------------------------------------------------------------------

TEST_F(KWaveformFileTest, EventsOfEditedSegmentsAreStoredAndReadBack) {
    KEventsReadHandle first =
        memorySource({{0, 0, 0, 2}, {10, 0, 0, 3}, {10, 1, 0, 2}, {30, 0, 0, 3}});
    KEventsReadHandle second = memorySource({{0, 0, 0, 4}, {5, 0, 0, 5}});
    logicRow(doc, "a", {segmentOver(0, 20, first), segmentOver(20, 40, second.cloned(20))});
    logicRow(doc, "b", {segmentOver(0, 40, first)});
    const SignalHandle readOnly = logicRow(doc, "ro", {segmentOver(0, 40, first)});
    doc.record(readOnly)->setReadOnly(true);
    const std::vector<std::string> before = allEvents(doc);
    const std::string path = folder.file("events.awf");
    ASSERT_TRUE(doc.saveDocument(path));
    EXPECT_EQ(allEvents(doc), before); // now read from the saved file

    auto again = reopen(path);
    EXPECT_EQ(again->rowCount(), 2u);
    EXPECT_EQ(again->findByName("/top/ro"), 0);
    std::vector<std::string> expected = before;
    std::erase_if(expected, [](const std::string& line) { return line.starts_with("/top/ro"); });
    EXPECT_EQ(allEvents(*again), expected);
    EXPECT_EQ(host.modifiedCalls, std::vector<bool>{false});
}

TEST_F(KWaveformFileTest, VcdOpenedAsDocumentSavesAndReopensWithTheSameValues) {
    for (const char* name : {"ghdl_counter.vcd", "verilog_style.vcd.gz", "ghdl_hier.vcd"}) {
        const std::string vcd = std::string(TESSEL_SOURCE_DIR) + "/tests/data/vcd/" + name;
        std::unique_ptr<KDoc> opened = KDocTemplate::open(vcd, &host);
        EXPECT_EQ(opened->convertedFrom(), vcd);
        EXPECT_GT(opened->rowCount(), 0u);
        const std::string path = folder.file(std::string(name) + ".awf");
        ASSERT_TRUE(opened->saveDocument(path)) << name;
        auto again = reopen(path);
        EXPECT_EQ(allEvents(*again), allEvents(*opened)) << name;
        EXPECT_FALSE(allEvents(*again).empty());
    }
}

// The save protocol ------------------------------------------------------------------------

TEST_F(KWaveformFileTest, SavingAConvertedFileOverItselfAsksAndNoLeavesItUntouched) {
    const std::string vcd = folder.file("counter.vcd");
    fs::copy_file(std::string(TESSEL_SOURCE_DIR) + "/tests/data/vcd/ghdl_counter.vcd", vcd);
    const std::string original = readAll(vcd);
    RecordingHost no;
    no.answer = HostAnswer::No;
    std::unique_ptr<KDoc> opened = KDocTemplate::open(vcd, &no);
    EXPECT_FALSE(opened->saveDocument(vcd));
    EXPECT_EQ(no.questions, std::vector<int>{62128});
    EXPECT_TRUE(no.messages.empty());
    EXPECT_EQ(readAll(vcd), original);
    // The question is asked once: the remembered path is cleared by the attempt.
    EXPECT_TRUE(opened->saveDocument(vcd));
    EXPECT_EQ(no.questions.size(), 1u);
}

TEST_F(KWaveformFileTest, FailedSaveLeavesThePreviousFileIntact) {
    logicRow(doc, "a", {segmentOver(0, 10, memorySource({{0, 0, 0, 2}}))});
    const std::string path = folder.file("keep.awf");
    { std::ofstream(path) << "previous contents"; }
    // No temporary file can be made.
    const char* saved = std::getenv("TMPDIR");
    const std::string previous = saved ? saved : "";
    ::setenv("TMPDIR", folder.file("missing-folder").c_str(), 1);
    EXPECT_FALSE(doc.saveDocument(path));
    saved ? ::setenv("TMPDIR", previous.c_str(), 1) : ::unsetenv("TMPDIR");
    EXPECT_EQ(readAll(path), "previous contents");
    EXPECT_EQ(host.messages, std::vector<int>{62126});

    // The target cannot be replaced (a folder stands at its path).
    const std::string blocked = folder.file("blocked.awf");
    fs::create_directories(fs::path(blocked) / "inside");
    EXPECT_FALSE(doc.saveDocument(blocked));
    EXPECT_TRUE(fs::is_directory(fs::path(blocked) / "inside"));
    for (const auto& entry : fs::directory_iterator(folder.path()))
        EXPECT_FALSE(entry.path().filename().string().starts_with(".blocked")) << entry.path();
    EXPECT_TRUE(host.modifiedCalls.empty());
}

TEST_F(KWaveformFileTest, UnwritableFolderFailsTheSave) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "permissions do not stop root";
    logicRow(doc, "a", {segmentOver(0, 10, memorySource({{0, 0, 0, 2}}))});
    const std::string path = folder.file("ro.awf");
    ASSERT_TRUE(doc.saveDocument(path));
    const std::string saved = readAll(path);
    fs::permissions(folder.path(), fs::perms::owner_write, fs::perm_options::remove);
    EXPECT_FALSE(doc.saveDocument(path));
    EXPECT_EQ(readAll(path), saved);
}

TEST_F(KWaveformFileTest, UndoAfterSavesStillReadsTheEarlierEvents) {
    const SignalHandle a =
        logicRow(doc, "a", {segmentOver(0, 50, memorySource({{0, 0, 0, 2}, {20, 0, 0, 3}}))});
    ASSERT_TRUE(doc.saveDocument(folder.file("u1.awf")));
    const std::string firstTemporary = doc.temporaryFile();
    const std::vector<std::string> before = allEvents(doc);
    // The undo item keeps the segments over the first temporary file.
    doc.beginItem();
    KEditTransaction edit(doc, a, 30, 40);
    edit.setValue(30, edittest::byteValue(4));
    ASSERT_TRUE(edit.commit(false));
    doc.commitItem();
    ASSERT_TRUE(doc.saveDocument(folder.file("u2.awf")));
    EXPECT_FALSE(fs::exists(firstTemporary));
    EXPECT_FALSE(KTempFiles::isRegistered(firstTemporary));
    EXPECT_NE(allEvents(doc), before);
    doc.undo();
    EXPECT_EQ(allEvents(doc), before);
    // Moving them (an insert-form edit) still reads the deleted file through the open source.
    ASSERT_TRUE(doc.record(a)->segments().shiftFrom({0, 0}, 5));
    EXPECT_EQ(allEvents(doc),
              (std::vector<std::string>{"/top/a 25=3.", "/top/a 5=2.", "/top/a none"}));
}

// Bad input --------------------------------------------------------------------------------

TEST_F(KWaveformFileTest, BadFilesDoNotOpen) {
    const std::string garbage = folder.file("garbage.awf");
    { std::ofstream(garbage) << "not a waveform file at all"; }
    KDoc empty;
    EXPECT_FALSE(empty.openDocument(garbage));
    EXPECT_FALSE(empty.openDocument(folder.file("missing.awf")));
    EXPECT_THROW(KDocTemplate::open(garbage), KFileException);
    EXPECT_THROW(KDocTemplate::open(folder.file("missing.vcd")), KFileException);
    const std::string text = folder.file("notes.txt");
    { std::ofstream(text) << "x"; }
    EXPECT_THROW(KDocTemplate::open(text), KFileException);
    const std::string badVcd = folder.file("bad.vcd");
    { std::ofstream(badVcd) << "$var wire 1 ! x $end\n#zz\n"; }
    EXPECT_THROW(KDocTemplate::open(badVcd), KFileException);
}

struct Written {
    EventKey key;
    SignalHandle handle;
    std::string value;
    bool operator==(const Written&) const = default;
};

// Every event of a memory sink, in stream order.
std::vector<Written> sinkEvents(const KEventsWriteHandle& sink) {
    KEventsReadHandle read = KEventsReadHandle::fromWriter(sink);
    read.seek(0);
    std::vector<Written> events;
    for (SignalHandle handle = read.readNextEvent(); handle != kNoSignal;
         handle = read.readNextEvent())
        events.push_back({read.position(), handle, bytesText(read.value())});
    return events;
}

TEST(KStoreEventsQueryTest, LeavesAreWrittenTogetherInKeyOrder) {
    KDoc doc;
    std::vector<SourceEvent> events;
    for (SimTime t = 0; t < 200; t += 7) {
        events.push_back({t, 0, 0, static_cast<std::uint8_t>(t % 4)});
        events.push_back({t, 0, 1, static_cast<std::uint8_t>(t % 3)});
        events.push_back({t, 2, 0, static_cast<std::uint8_t>(t % 5)});
    }
    KEventsReadHandle source = memorySource(events);
    const SignalHandle bus = addBus(doc);
    const SignalHandle a = addLeaf(doc, {segmentOver(0, 100, source, 0)}, bus);
    const SignalHandle b = addLeaf(doc, {segmentOver(0, 150, source, 1)}, bus);
    const SignalHandle c = addLeaf(doc, {segmentOver(10, 190, source.cloned(-5), 0)});
    KStoreEventsQuery query(doc, 180);
    query.addLeavesOf(bus);
    query.addLeavesOf(c);
    query.addLeavesOf(a); // already requested through the bus
    KEventsWriteHandle sink = KEventsWriteHandle::createMemory();
    query.writeTo(sink);
    const std::vector<Written> written = sinkEvents(sink);
    EXPECT_EQ(query.writtenValues(), written.size());
    // Keys ascend; at one key the leaves come in request order (a, b, then c).
    const std::vector<SignalHandle> requested = {a, b, c};
    const auto rank = [&](const Written& w) {
        const auto leaf = std::find(requested.begin(), requested.end(), w.handle);
        EXPECT_NE(leaf, requested.end()) << w.handle;
        return std::make_pair(w.key, leaf - requested.begin());
    };
    EXPECT_TRUE(std::is_sorted(written.begin(), written.end(),
                               [&](const auto& x, const auto& y) { return rank(x) < rank(y); }));
    ASSERT_FALSE(written.empty());
    EXPECT_EQ(written.front(), (Written{{0, 0}, a, "0."}));
    EXPECT_NE(std::find(written.begin(), written.end(), Written{{7, 2}, a, "2."}), written.end());
    // Nothing after the limit, and b's segment ends at 150.
    for (const Written& w : written) {
        EXPECT_LE(w.key.time, 180);
        EXPECT_TRUE(w.handle != b || w.key.time < 150) << w.key.time;
    }
}

TEST(KStoreEventsQueryTest, SeveralChangesAtOneKeyAreAllKept) {
    KDoc doc;
    KEventsReadHandle source =
        memorySource({{2, 0, 0, 1}, {2, 0, 0, 2}, {5, 0, 0, 3}, {5, 0, 0, 2}, {5, 1, 0, 3}});
    const SignalHandle a = addLeaf(doc, {segmentOver(0, 10, source, 0)});
    KStoreEventsQuery query(doc, 10);
    query.addLeavesOf(a);
    KEventsWriteHandle sink = KEventsWriteHandle::createMemory();
    query.writeTo(sink);
    EXPECT_EQ(sinkEvents(sink), (std::vector<Written>{{{2, 0}, a, "1."},
                                                      {{2, 0}, a, "2."},
                                                      {{5, 0}, a, "3."},
                                                      {{5, 0}, a, "2."},
                                                      {{5, 1}, a, "3."}}));
}

} // namespace
