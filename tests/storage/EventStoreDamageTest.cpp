// Files that are not what they claim: empty, foreign, damaged, cut short, or still being written.
// Each opens with what it really holds or raises the file error naming the file; none crashes.
#include "EventStoreTestUtil.h"
#include "storage/KFileException.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace evstream::test {
namespace {

std::vector<std::uint8_t> bytesOf(std::string_view text) {
    return {text.begin(), text.end()};
}

// The message of the file error raised by opening `path`, or "" when it opened.
std::string openError(const std::string& path) {
    try {
        Releaser<IEventsStreamRead> r{OpenStreamRead(path)};
        readAll(r.stream);
        return {};
    } catch (const KFileException& e) {
        return e.message();
    }
}

struct BadFile {
    const char* name;
    std::vector<std::uint8_t> bytes;
    const char* says;
};

void PrintTo(const BadFile& file, std::ostream* out) {
    *out << file.name;
}

class EventStoreBadFile : public ::testing::TestWithParam<BadFile> {};

TEST_P(EventStoreBadFile, RaisesTheFileErrorNamingFileAndProblem) {
    TempFile file;
    writeFileBytes(file.path(), GetParam().bytes);
    std::string message = openError(file.path());
    EXPECT_NE(message.find(file.path()), std::string::npos) << message;
    EXPECT_NE(message.find(GetParam().says), std::string::npos) << message;
    EXPECT_EQ(CreateStreamRead(file.path()), nullptr);
}

std::vector<std::uint8_t> header(std::uint8_t major) {
    return {'T', 'S', 'L', 'W', 'A', 'V', '\r', '\n', major, 0, 0, 0, 0, 0, 0, 0};
}

INSTANTIATE_TEST_SUITE_P(
    Files, EventStoreBadFile,
    ::testing::Values(BadFile{"Empty", {}, "empty"},
                      BadFile{"Text", bytesOf("$date today $end\n$timescale 1ps $end\n"),
                              "not a waveform"},
                      BadFile{"Short", bytesOf("TSL"), "too short"},
                      BadFile{"NewerVersion", header(3), "version 3"},
                      BadFile{"OlderVersion", header(1), "version 1, which this program no longer"},
                      BadFile{"HeaderOnly", header(2), "ends before its signal declarations"}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(EventStoreDamage, MissingFileIsReportedAsNotFound) {
    try {
        OpenStreamRead("/nonexistent/file.awf");
        FAIL() << "no exception";
    } catch (const KFileException& e) {
        EXPECT_EQ(e.cause(), KFileException::Cause::FileNotFound);
        EXPECT_EQ(e.fileName(), "/nonexistent/file.awf");
    }
}

// A file of 12 blocks; `ends` holds the file size after each block and `counts` the number of
// events written by then.
struct BlockFile {
    TempFile file;
    std::vector<Event> events;
    std::vector<std::uint64_t> ends;
    std::vector<std::size_t> counts;

    BlockFile() {
        IEventsStreamWrite* w = openWithScalars(file.path(), 3);
        for (int block = 0; block < 12; ++block) {
            std::vector<Event> part;
            for (int i = 0; i < 40; ++i)
                part.push_back({block * 1000 + i * 10,
                                0,
                                SignalHandle(i % 3),
                                {std::uint8_t(i % 9), std::uint8_t(block)}});
            EXPECT_TRUE(writeEvents(w, part));
            EXPECT_TRUE(FlushStream(w));
            events.insert(events.end(), part.begin(), part.end());
            ends.push_back(std::filesystem::file_size(file.path()));
            counts.push_back(events.size());
        }
        EXPECT_TRUE(w->Release());
    }
};

TEST(EventStoreDamage, AFileCutShortOpensWithEveryCompleteBlock) {
    BlockFile original;
    auto bytes = readFileBytes(original.file.path());
    TempFile cut;
    for (std::size_t size = 0; size <= bytes.size(); size += (size < 200 ? 1 : 37)) {
        writeFileBytes(cut.path(), {bytes.begin(), bytes.begin() + std::ptrdiff_t(size)});
        IEventsStreamRead* r = CreateStreamRead(cut.path());
        if (r == nullptr) {
            EXPECT_LT(size, 200u) << "a file with its declarations must open, size " << size;
            continue;
        }
        std::size_t expected = 0;
        for (std::size_t b = 0; b < original.ends.size(); ++b)
            if (original.ends[b] <= size)
                expected = original.counts[b];
        auto events = readAll(r);
        r->Release();
        ASSERT_EQ(events.size(), expected) << "size " << size;
        EXPECT_TRUE(std::equal(events.begin(), events.end(), original.events.begin()));
    }
}

TEST(EventStoreDamage, ADamagedBlockRaisesTheFileErrorWhenRead) {
    BlockFile original;
    auto bytes = readFileBytes(original.file.path());
    // A byte in the middle of the sixth block.
    std::size_t at = (original.ends[4] + original.ends[5]) / 2;
    bytes[at] ^= 0x5A;
    TempFile damaged;
    writeFileBytes(damaged.path(), bytes);
    std::string message = openError(damaged.path());
    EXPECT_NE(message.find(damaged.path()), std::string::npos) << message;
    EXPECT_NE(message.find("block"), std::string::npos) << message;
}

TEST(EventStoreDamage, ADamagedIndexFallsBackToScanningTheBlocks) {
    BlockFile original;
    auto bytes = readFileBytes(original.file.path());
    bytes[bytes.size() - 20] ^= 0xFF; // inside the index chunk
    TempFile damaged;
    writeFileBytes(damaged.path(), bytes);
    IEventsStreamRead* r = OpenStreamRead(damaged.path());
    Releaser<IEventsStreamRead> release{r};
    EXPECT_TRUE(readAll(r) == original.events);
}

TEST(EventStoreDamage, DamagedDeclarationsMakeTheFileUnreadable) {
    BlockFile original;
    auto bytes = readFileBytes(original.file.path());
    bytes[16 + 48 + 5] ^= 0x01;
    TempFile damaged;
    writeFileBytes(damaged.path(), bytes);
    EXPECT_NE(openError(damaged.path()).find("declarations"), std::string::npos);
}

TEST(EventStoreLive, ReaderSeesFlushedBlocksOnRefresh) {
    TempFile file;
    IEventsStreamWrite* w = openWithScalars(file.path(), 2);
    w->SetTypeInfoString(1, "integer");
    ASSERT_TRUE(writeEvents(w, {{10, 0, 0, {3}}, {20, 0, 1, {1, 0, 0, 0}}}));
    ASSERT_TRUE(FlushStream(w));

    IEventsStreamRead* r = OpenStreamRead(file.path());
    Releaser<IEventsStreamRead> release{r};
    EXPECT_EQ(r->GetTypeInfoString(1), "integer");
    EXPECT_EQ(readAll(r).size(), 2u);
    EXPECT_EQ(r->GetEndTime(), 20);

    ASSERT_TRUE(writeEvents(w, {{30, 0, 0, {2}}}));
    EXPECT_TRUE(r->Refresh());
    EXPECT_EQ(readAll(r).size(), 2u); // not flushed yet
    ASSERT_TRUE(FlushStream(w));
    EXPECT_TRUE(r->Refresh());
    EXPECT_EQ(readAll(r).size(), 3u);
    EXPECT_EQ(r->GetEndTime(), 30);
    std::uint8_t value = 0;
    EXPECT_TRUE(GetSignalValue(r, 35, 0, &value));
    EXPECT_EQ(value, 2);

    // Reading on from where the events ended picks up what a refresh adds.
    ASSERT_TRUE(writeEvents(w, {{40, 0, 1, {7, 0, 0, 0}}}));
    w->SetTime(90);
    ASSERT_TRUE(w->Release());
    EXPECT_TRUE(r->Refresh());
    EXPECT_EQ(r->ReadNextEvent(), 1);
    EXPECT_EQ(r->GetTime(), 40);
    EXPECT_EQ(r->GetEndTime(), 90); // the closed file gives the writer's last time
}

} // namespace
} // namespace evstream::test
