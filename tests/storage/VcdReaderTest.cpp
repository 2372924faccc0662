#include "VcdTestUtil.h"
#include "storage/KFileException.h"
#include "storage/vcd/KVcdReader.h"

#include <cctype>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <zlib.h>

using vcdtest::logic;
using vcdtest::RecordingStreamWrite;
using vcdtest::tempPath;

namespace {

using Bytes = std::vector<std::uint8_t>;

std::string writeFile(const std::string& name, const std::string& text) {
    std::string path = tempPath(name);
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

struct Imported {
    RecordingStreamWrite sink;
    KVcdImportSummary summary;
};

// `ahead`: the file is read on a thread of its own (KVcdReader::setReadAhead).
std::unique_ptr<Imported> importText(const std::string& text, std::size_t chunk = 4u << 20,
                                     bool ahead = false) {
    std::string path = writeFile("in.vcd", text);
    auto result = std::make_unique<Imported>();
    KVcdReader reader(path, chunk);
    reader.setReadAhead(ahead);
    result->summary = reader.importInto(result->sink);
    std::filesystem::remove(path);
    return result;
}

Bytes int32Bytes(std::int32_t v) {
    Bytes bytes(4);
    std::memcpy(bytes.data(), &v, 4);
    return bytes;
}

// Writes `text` gzip-compressed to a temporary file named `name`.
std::string writeGzip(const std::string& name, const std::string& text) {
    std::string path = tempPath(name);
    gzFile gz = gzopen(path.c_str(), "wb");
    EXPECT_NE(gz, nullptr);
    gzwrite(gz, text.data(), static_cast<unsigned>(text.size()));
    gzclose(gz);
    return path;
}

// Runs `check` on each build of the line parser the processor can run (the widest first), which
// must give the same events and messages.
template <class Check> void onEveryPath(Check check) {
    struct Restore {
        ~Restore() { KVcdReader::setSimdLimit(KVcdReader::Simd::Avx512Vbmi2); }
    } restore;
    using Simd = KVcdReader::Simd;
    for (Simd limit : {Simd::Avx512Vbmi2, Simd::Avx512, Simd::Avx2, Simd::Sse2}) {
        SCOPED_TRACE(limit == Simd::Avx512Vbmi2 ? "AVX-512 VBMI2"
                     : limit == Simd::Avx512    ? "AVX-512"
                     : limit == Simd::Avx2      ? "AVX2"
                                                : "SSE2");
        KVcdReader::setSimdLimit(limit);
        check();
    }
}

// The message of the file error the import raises, or "" when it succeeds.
std::string importError(KVcdReader&& reader) {
    RecordingStreamWrite sink;
    try {
        reader.importInto(sink);
    } catch (const KFileException& error) {
        return error.message();
    }
    return "";
}

const std::string kHeader = "$date today $end\n$version test $end\n$timescale 1ns $end\n"
                            "$scope module top $end\n$var wire 1 ! clk $end\n"
                            "$var wire 8 \" data [7:0] $end\n$scope module sub $end\n"
                            "$var reg 4 # up [0:3] $end\n$upscope $end\n$upscope $end\n"
                            "$enddefinitions $end\n";

TEST(VcdReader, ScopesBecomePathsAndTypesFollowWidthAndRange) {
    auto imported = importText(kHeader);
    const auto& sink = imported->sink;
    ASSERT_EQ(sink.declarations.size(), 3u);
    EXPECT_EQ(sink.declarations[0].second.name, "top/clk");
    EXPECT_EQ(sink.declarations[1].second.name, "top/data");
    EXPECT_EQ(sink.declarations[2].second.name, "top/sub/up");
    EXPECT_EQ(sink.typeStrings.at(0), "e#9#std_logicc9 UX01ZWLH-");
    EXPECT_EQ(sink.typeStrings.at(1), "a#16#std_logic_vector1(7d0)e#9#std_logicc9 UX01ZWLH-");
    EXPECT_EQ(sink.typeStrings.at(2), "a#16#std_logic_vector1(0t3)e#9#std_logicc9 UX01ZWLH-");
    std::vector<std::string> order{"begin", "scalar", "end", "type"};
    EXPECT_EQ(sink.calls, order);
    // A '/' inside a name is not a level of the path: the export could not write it back.
    auto slashes = importText("$scope module a/b $end\n$var wire 1 ! c/ $end\n$upscope $end\n"
                              "$enddefinitions $end\n");
    EXPECT_EQ(slashes->sink.declarations.at(0).second.name, "a_b/c_");
}

TEST(VcdReader, ValuesBecomeOneEventPerChangeInPicoseconds) {
    auto imported = importText(kHeader + "#0\n$dumpvars\n0!\nb10100101 \"\nb0001 #\n$end\n"
                                         "#5\n1!\nb1 \"\n#10\n0!\n");
    const auto& sink = imported->sink;
    using Events = std::vector<std::pair<SimTime, Bytes>>;
    EXPECT_EQ(sink.eventsOf(0), (Events{{0, logic("0")}, {5000, logic("1")}, {10000, logic("0")}}));
    EXPECT_EQ(sink.eventsOf(1), (Events{{0, logic("10100101")}, {5000, logic("00000001")}}));
    EXPECT_EQ(sink.eventsOf(2), (Events{{0, logic("0001")}}));
    EXPECT_EQ(imported->summary.events, 6);
    EXPECT_EQ(imported->summary.endTime, 10000);
}

TEST(VcdReader, VectorsAreLeftExtendedByTheirFirstDigitInAnyOfNineStates) {
    struct Case {
        const char* record;
        const char* stored;
    };
    for (Case c : {Case{"b1", "00000001"}, Case{"bx1", "XXXXXXX1"}, Case{"bZ0", "ZZZZZZZ0"},
                   Case{"b0", "00000000"}, Case{"bh", "LLLLLLLH"}, Case{"bu", "UUUUUUUU"},
                   Case{"b000011110000", "11110000"}}) {
        auto imported = importText(kHeader + c.record + " \"\n");
        ASSERT_EQ(imported->sink.events.size(), 1u) << c.record;
        EXPECT_EQ(imported->sink.events[0].value, logic(c.stored)) << c.record;
    }
    // The nine states are accepted in either case.
    auto imported = importText(kHeader + "bUX01ZWLH \"\n#1\nbuxzwlh-0 \"\nu!\n#2\nW!\n#3\n-!\n");
    const auto& sink = imported->sink;
    EXPECT_EQ(sink.eventsOf(1)[0].second, logic("UX01ZWLH"));
    EXPECT_EQ(sink.eventsOf(1)[1].second, logic("UXZWLH-0"));
    EXPECT_EQ(sink.eventsOf(0).size(), 3u);
    EXPECT_EQ(sink.eventsOf(0)[2].second, logic("-"));
}

TEST(VcdReader, RepeatedValuesAreDropped) {
    auto imported = importText(kHeader + "#0\n1!\n#1\n1!\n#2\n0!\nb01 \"\nb1 \"\n");
    EXPECT_EQ(imported->sink.eventsOf(0).size(), 2u);
    EXPECT_EQ(imported->sink.eventsOf(1).size(), 1u);
    EXPECT_EQ(imported->summary.repeatedValues, 2);
    // A repeat taken by another parser than the value before: the last line, cut short, goes
    // the careful way.
    for (const char* repeat : {"1!", "b1 \""}) {
        auto cut = importText(kHeader + "#0\n1!\nb00000001 \"\n#1\n" + repeat);
        EXPECT_EQ(cut->sink.events.size(), 2u) << repeat;
        EXPECT_EQ(cut->summary.repeatedValues, 1) << repeat;
    }
    // A first value is always an event, whatever it is (U is the first ordinal, zero bytes),
    // and through every path: one record per line, several per line, mixed widths.
    const std::string header = "$var wire 1 ! a $end\n$var wire 2 \" v [1:0] $end\n"
                               "$var wire 16 # w [15:0] $end\n$var integer 32 $ i $end\n"
                               "$var real 64 % r $end\n$enddefinitions $end\n#0\n";
    for (const char* changes : {"U!\nbUU \"\nb0000000000000000 #\nb0 $\nr0 %\n",
                                "U! bUU \" b0000000000000000 # b0 $ r0 %\n"}) {
        auto first = importText(header + changes);
        EXPECT_EQ(first->sink.events.size(), 5u) << changes;
        EXPECT_EQ(first->summary.repeatedValues, 0) << changes;
    }
}

// Binary values of every width against a model: neighbours in memory stay apart, and a value
// that differs only in its last digit, or not at all, is told apart.
TEST(VcdReader, BinaryVectorsOfAnyWidthChangeOnlyWhenTheirDigitsDo) {
    const std::vector<int> widths = {1, 2, 15, 16, 17, 31, 63, 64, 65, 79, 80, 81, 300};
    std::string text = "$timescale 1ps $end\n";
    for (std::size_t i = 0; i < widths.size(); ++i) {
        // A scalar before each bus leaves the buses at odd places of the current values; its
        // code is the bus's code reversed.
        text += "$var wire 1 " + std::to_string(i) + "v bit $end\n$var wire " +
                std::to_string(widths[i]) + " v" + std::to_string(i) + " bus [" +
                std::to_string(widths[i] - 1) + ":0] $end\n";
    }
    text += "$enddefinitions $end\n";
    std::vector<std::string> current(widths.size());
    std::vector<std::vector<Bytes>> expected(widths.size());
    std::uint64_t state = 12345;
    for (int t = 0; t < 200; ++t) {
        text += "#" + std::to_string(t) + "\n";
        for (std::size_t i = 0; i < widths.size(); ++i) {
            state = state * 6364136223846793005ull + 1442695040888963407ull;
            std::string digits = current[i].empty() ? std::string(widths[i], '0') : current[i];
            switch (state >> 62) {
            case 0: // unchanged
                break;
            case 1: // the last digit flipped or not binary, or every digit one other state
                if (t % 3 == 0)
                    digits.assign(digits.size(), "XUz-"[t % 4]);
                else
                    digits.back() = t % 7 == 0 ? 'Z' : digits.back() == '0' ? '1' : '0';
                break;
            default:
                for (std::size_t d = 0; d < digits.size(); ++d)
                    digits[d] = static_cast<char>('0' + ((state >> (d % 61)) & 1));
            }
            text += "b" + digits + " v" + std::to_string(i) + "\n";
            text += std::string(1, "01"[t % 2]) + std::to_string(i) + "v\n";
            for (char& c : digits) // either case in the file, the same value
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            if (digits != current[i])
                expected[i].push_back(logic(digits));
            current[i] = digits;
        }
    }
    onEveryPath([&] {
        auto imported = importText(text);
        for (std::size_t i = 0; i < widths.size(); ++i) {
            auto events = imported->sink.eventsOf(static_cast<SignalHandle>(2 * i + 1));
            ASSERT_EQ(events.size(), expected[i].size()) << widths[i];
            for (std::size_t e = 0; e < events.size(); ++e)
                EXPECT_EQ(events[e].second, expected[i][e]) << widths[i] << " event " << e;
            EXPECT_EQ(imported->sink.eventsOf(static_cast<SignalHandle>(2 * i)).size(), 200u);
        }
    });
}

// Buses of mixed widths among unusual records (other digits, short values, long codes, an
// integer, a code of a skipped string): the same events whatever the layout and chunk size.
TEST(VcdReader, MixedWidthsGiveTheSameEventsInAnyLayout) {
    std::string header = "$timescale 1ps $end\n$var wire 1 ! clk $end\n"
                         "$var string 1 ~ text $end\n$var integer 32 i n $end\n";
    const std::vector<std::string> codes = {"a", "bc", "def", "long1"};
    const std::vector<int> widths = {5, 12, 40, 64};
    for (std::size_t i = 0; i < codes.size(); ++i)
        header += "$var wire " + std::to_string(widths[i]) + " " + codes[i] + " v [" +
                  std::to_string(widths[i] - 1) + ":0] $end\n";
    header += "$enddefinitions $end\n";
    std::string lines;
    std::uint64_t state = 99;
    for (int n = 0; n < 1500; ++n) {
        if (n % 16 == 0)
            lines += "#" + std::to_string(n) + "\n" + (n % 32 ? "1!" : "0!") + "\n";
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        std::size_t v = (state >> 33) % codes.size();
        std::string digits(static_cast<std::size_t>(widths[v]), '0');
        for (std::size_t d = 0; d < digits.size(); ++d)
            digits[d] = "01"[(state >> (d % 29 + 20)) & 1];
        if (n % 23 == 0)
            digits = n % 46 ? "x1z" : "1"; // other digits, fewer than the width
        lines += (n % 31 == 0 ? "B" : "b") + digits + " " + codes[v] + "\n";
        if (n % 37 == 0)
            lines += "b101 i\nsword ~\n";
        if (n % 97 == 0) // more line breaks in 64 bytes than the line-end search takes in one go
            for (int k = 0; k < 40; ++k)
                lines += k % 2 ? "1!\n" : "0!\n";
    }
    auto plain = importText(header + lines);
    EXPECT_GT(plain->sink.events.size(), 1400u);
    std::string crlf;
    std::string spaces;
    for (char c : lines) {
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
        spaces += c == '\n' ? ' ' : c;
    }
    onEveryPath([&] {
        for (const std::string& layout : {lines, crlf, spaces + "\n"})
            EXPECT_EQ(importText(header + layout)->sink.events, plain->sink.events)
                << layout.substr(0, 20);
        EXPECT_EQ(importText(header + lines, 64)->sink.events, plain->sink.events) << "chunk 64";
    });
}

TEST(VcdReader, SharedIdentifierCodeDeclaresSameEvents) {
    auto imported = importText("$scope module a $end\n$var wire 1 ! x $end\n$upscope $end\n"
                               "$scope module b $end\n$var wire 1 ! y $end\n$upscope $end\n"
                               "$enddefinitions $end\n#0\n1!\n");
    const auto& sink = imported->sink;
    ASSERT_EQ(sink.declarations.size(), 2u);
    EXPECT_EQ(sink.declarations[1].second.name, "b/y");
    EXPECT_EQ(sink.declarations[1].second.sameEventsAs, 0);
    EXPECT_EQ(sink.events.size(), 1u);
    EXPECT_EQ(imported->summary.identifierCodes, 1);
}

TEST(VcdReader, CommentsKeywordsAndEmptyTimestampsAreSkipped) {
    auto imported = importText("$comment a $var in a comment $end\n$var wire 1 ! x $end\n"
                               "$enddefinitions $end\n$comment body #99 comment $end\n#0\n"
                               "$dumpvars 0! $end\n#10\n#20\n$dumpoff x! $end\n#30\n"
                               "$dumpon 1! $end\n#40\n");
    const auto& sink = imported->sink;
    using Events = std::vector<std::pair<SimTime, Bytes>>;
    // Without $timescale a tick is 1 ns.
    EXPECT_EQ(sink.eventsOf(0),
              (Events{{0, logic("0")}, {20000, logic("X")}, {30000, logic("1")}}));
    EXPECT_EQ(sink.lastSetTime, 40000) << "the last timestamp marks the end";
    EXPECT_EQ(imported->summary.timescale, "");
}

TEST(VcdReader, TimescalesConvertToPicoseconds) {
    struct Case {
        const char* timescale;
        std::uint64_t raw;
        SimTime ps;
    };
    for (Case c : {Case{"1 ps", 7, 7}, Case{"10ps", 7, 70}, Case{"100 ns", 3, 300000},
                   Case{"1 us", 2, 2000000}, Case{"1 s", 3, 3000000000000}, Case{"1 fs", 5000, 5},
                   Case{"100 fs", 30, 3}}) {
        auto imported = importText(std::string("$timescale ") + c.timescale +
                                   " $end\n$var wire 1 ! x $end\n$enddefinitions $end\n#" +
                                   std::to_string(c.raw) + "\n1!\n");
        ASSERT_EQ(imported->sink.events.size(), 1u) << c.timescale;
        EXPECT_EQ(imported->sink.events[0].time, c.ps) << c.timescale;
        EXPECT_EQ(imported->summary.roundedTimes, 0) << c.timescale;
    }
}

TEST(VcdReader, SubPicosecondTimesAreRoundedAndCountedKeepingOrder) {
    auto imported =
        importText("$timescale 1 fs $end\n$var wire 1 ! x $end\n"
                   "$enddefinitions $end\n#1000\n1!\n#1400\n0!\n#1600\n1!\n#1900\n0!\n");
    const auto& events = imported->sink.events;
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[1].time, 1);
    EXPECT_EQ(events[2].time, 2);
    EXPECT_EQ(events[3].time, 2);
    EXPECT_EQ(events[3].delta, 1) << "two times rounding to one picosecond stay ordered";
    EXPECT_EQ(imported->summary.roundedTimes, 3);
}

TEST(VcdReader, IntegersAndRealsKeepTheirTypes) {
    auto imported = importText("$var integer 32 ! n $end\n$var real 64 \" r $end\n"
                               "$enddefinitions $end\n#0\nbx !\nr0 \"\n#1\nb101 !\n"
                               "r-1.5e3 \"\n#2\nb11111111111111111111111111111110 !\n");
    const auto& sink = imported->sink;
    EXPECT_EQ(sink.typeStrings.at(0), "i#7#integer(-2147483648t2147483647)");
    EXPECT_EQ(sink.typeStrings.at(1), "f#4#real(-1.7976931348623157e308t1.7976931348623157e308)");
    auto ints = sink.eventsOf(0);
    ASSERT_EQ(ints.size(), 3u);
    EXPECT_EQ(ints[0].second, int32Bytes(INT32_MIN)) << "X stores the left bound";
    EXPECT_EQ(ints[1].second, int32Bytes(5));
    EXPECT_EQ(ints[2].second, int32Bytes(-2));
    EXPECT_EQ(imported->summary.unknownIntegers, 1);
    double real = 0;
    std::memcpy(&real, sink.eventsOf(1)[1].second.data(), 8);
    EXPECT_EQ(real, -1500.0);
}

TEST(VcdReader, BitSelectsStayInTheNameAndStringsAreSkipped) {
    auto imported = importText("$var wire 1 ! bus [3] $end\n$var wire 1 \" d[2] $end\n"
                               "$var string 1 # msg $end\n$enddefinitions $end\n#0\n"
                               "1!\nshello #\n0\"\n");
    const auto& sink = imported->sink;
    ASSERT_EQ(sink.declarations.size(), 2u);
    EXPECT_EQ(sink.declarations[0].second.name, "bus[3]");
    EXPECT_EQ(sink.declarations[1].second.name, "d[2]");
    EXPECT_EQ(sink.events.size(), 2u);
    EXPECT_EQ(imported->summary.skippedVariables, 1);
}

TEST(VcdReader, TruncatedLastLineIsIgnored) {
    for (bool ahead : {false, true}) {
        for (const char* tail : {"b10", "b1", "#", "r1.5"}) {
            auto imported = importText(kHeader + "#0\n1!\n" + tail, 64, ahead);
            EXPECT_TRUE(imported->summary.truncatedLastLine) << tail;
            EXPECT_EQ(imported->sink.events.size(), 1u) << tail;
        }
    }
}

// Whitespace is free in VCD: a record split over lines, tabs, form feeds, vertical tabs, CR LF
// line ends, long identifier codes and big timestamps give the events of the plain layout, and
// so does any chunk size, read ahead or not (a chunk's end is carried into the next one).
TEST(VcdReader, RecordLayoutsDoNotChangeTheResult) {
    const std::string header = "$timescale 1ps $end\n$var wire 1 ! a $end\n"
                               "$var wire 8 \" v [7:0] $end\n$var integer 32 # i $end\n"
                               "$var wire 1 !!!! long $end\n$var wire 4 lng1 w [3:0] $end\n"
                               "$enddefinitions $end\n";
    const std::string plain = "#0\n1!\nb10100101 \"\nb101 #\n0!!!!\nbx lng1\n"
                              "#12345678901234567\n0!\nb1 \"\nb11111111111111111111111111111111 "
                              "#\n1!!!!\nb1010 lng1\n";
    auto expected = importText(header + plain);
    ASSERT_EQ(expected->sink.events.size(), 10u);
    for (std::string layout :
         {std::string("#0 1! b10100101 \" b101 # 0!!!! bx lng1 #12345678901234567 0! b1 \" "
                      "b11111111111111111111111111111111 # 1!!!! b1010 lng1\n"),
          std::string("#0\r\n1!\r\nb10100101\t\"\r\nb101\n#\n0!!!!\nbx\n\nlng1\n"
                      "#12345678901234567\n0!\nb1 \v\f \"\nb11111111111111111111111111111111\t\t#"
                      "\n1!!!!\nB1010 lng1\n"),
          std::string(
              "#00\n1!\nb10100101 \"\nb101 #\n0!!!!\nbx lng1\n#012345678901234567\n"
              "0!\nb00000001 \"\nb11111111111111111111111111111111 #\n1!!!!\nb1010 lng1")}) {
        onEveryPath([&] {
            for (std::size_t chunk : {64u, 97u, 4u << 20})
                for (bool ahead : {false, true})
                    EXPECT_EQ(importText(header + layout, chunk, ahead)->sink.events,
                              expected->sink.events)
                        << layout;
        });
    }
    EXPECT_EQ(expected->sink.eventsOf(2).back().second, int32Bytes(-1));
    EXPECT_EQ(expected->sink.eventsOf(4).front().second, logic("XXXX"));
}

TEST(VcdReader, ReadsGzipCompressedFiles) {
    std::string text = kHeader + "#0\n1!\n#3\nb11 \"\n";
    std::string path = writeGzip("in.vcd.gz", text);
    for (bool ahead : {false, true}) {
        RecordingStreamWrite sink;
        KVcdReader reader(path, 64);
        reader.setReadAhead(ahead);
        KVcdImportSummary summary = reader.importInto(sink);
        ASSERT_EQ(sink.events.size(), 2u);
        EXPECT_EQ(sink.events[1].time, 3000);
        EXPECT_EQ(summary.bytesRead, std::filesystem::file_size(path));
    }
    std::filesystem::remove(path);
}

// A gzip stream cut short imports what it holds; a damaged one fails; either way alike whether
// it is decompressed on the parser's thread or ahead of it.
TEST(VcdReader, CutOrDamagedGzipFilesGiveTheSameOutcomeReadAheadOrNot) {
    std::string text = kHeader;
    for (int t = 0; t < 4000; ++t)
        text += "#" + std::to_string(t) + "\n" + (t % 2 ? "1!" : "0!") + "\nb" +
                std::to_string(t % 2 + 10) + " \"\n";
    std::string path = writeGzip("packed.vcd.gz", text);
    std::ifstream in(path, std::ios::binary);
    std::string packed(std::istreambuf_iterator<char>(in), {});
    std::string cut = packed.substr(0, packed.size() / 2);
    std::string damaged = packed;
    for (std::size_t i = damaged.size() / 3; i < damaged.size() / 3 + 64; ++i)
        damaged[i] = static_cast<char>(damaged[i] ^ 0x5A);
    for (const std::string* bytes : {&cut, &damaged}) {
        std::ofstream(path, std::ios::binary) << *bytes;
        std::string outcome[2];
        for (bool ahead : {false, true}) {
            RecordingStreamWrite sink;
            KVcdReader reader(path, 256);
            reader.setReadAhead(ahead);
            try {
                reader.importInto(sink);
            } catch (const KFileException& error) {
                outcome[ahead] = error.message();
            }
            outcome[ahead] += " events " + std::to_string(sink.events.size());
        }
        EXPECT_EQ(outcome[0], outcome[1]);
        if (bytes == &damaged)
            EXPECT_NE(outcome[1].find(path), std::string::npos) << outcome[1];
        else
            EXPECT_EQ(outcome[1].find(path), std::string::npos) << outcome[1];
    }
    std::filesystem::remove(path);
}

struct BadInput {
    const char* name;
    std::string text;
    const char* expected; // part of the message
};

class VcdReaderBadInput : public testing::TestWithParam<BadInput> {};

TEST_P(VcdReaderBadInput, FailsWithFileLineAndExpectation) {
    std::string path = writeFile(std::string("bad-") + GetParam().name + ".vcd", GetParam().text);
    onEveryPath([&] {
        for (bool ahead : {false, true}) {
            KVcdReader reader(path, 64);
            reader.setReadAhead(ahead);
            const std::string message = importError(std::move(reader));
            EXPECT_NE(message.find(path), std::string::npos) << message;
            EXPECT_NE(message.find(GetParam().expected), std::string::npos) << message;
        }
    });
    std::filesystem::remove(path);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, VcdReaderBadInput,
    testing::Values(
        BadInput{"empty", "", "line 1: the file is empty"},
        BadInput{"blank", "\n\n  \n", "the file is empty"},
        BadInput{"garbage",
                 "\x7f"
                 "ELF\x01\x02 binary",
                 "line 1: unexpected"},
        BadInput{"noEnddefinitions", "$var wire 1 ! x $end\n", "expected $enddefinitions"},
        BadInput{"hugeWidth", "$var wire 99999999999 ! x $end\n", "too large"},
        BadInput{"zeroWidth", "$var wire 0 ! x $end\n", "bad width"},
        BadInput{"widthOverflow", "$var wire 123456789012345678901234567890 ! x $end\n",
                 "bad width"},
        BadInput{"rangeMismatch", "$var wire 4 ! x [7:0] $end\n", "declared with 4"},
        BadInput{"badTimescale", "$timescale 3 ns $end\n", "bad $timescale"},
        BadInput{"upscope", "$upscope $end\n", "$upscope without"},
        BadInput{"undeclared", kHeader + "#0\n1%\n", "line 13: identifier code '%' was never"},
        BadInput{"backwards", kHeader + "#10\n1!\n#5\n0!\n", "line 14: time goes backwards"},
        BadInput{"badDigit", kHeader + "b10q1 \"\n", "bad digit"},
        BadInput{"tooManyDigits", kHeader + "b111111111 \"\n", "9 digits"},
        BadInput{"badTime", kHeader + "#12x\n1!\n", "bad timestamp"},
        BadInput{"timeOverflow",
                 "$timescale 1 s $end\n$var wire 1 ! x $end\n$enddefinitions "
                 "$end\n#99999999999999\n1!\n",
                 "beyond the largest time"},
        BadInput{"realAsBinary", "$var real 64 ! r $end\n$enddefinitions $end\nb1 !\n", "real"},
        BadInput{"binaryAsReal", kHeader + "r1.0 !\n", "not a real variable"},
        BadInput{"sharedMismatch", "$var wire 1 ! a $end\n$var wire 2 ! b $end\n", "shared"},
        BadInput{"stray", kHeader + "garbage\n", "line 12: unexpected 'garbage'"},
        BadInput{"undeclaredAfterChanges", kHeader + "#0\n1!\nb1 \"\n\n0!\n0$\n",
                 "line 17: identifier code '$' was never"},
        BadInput{"badDigitInLongValue", kHeader + "#0\nb0000 #\nb01010q01 \"\n",
                 "line 14: bad digit"},
        BadInput{"controlCharacter", kHeader + "#0\n1!\x01\n#5\n0!\n",
                 "line 13: identifier code '!\x01' was never"},
        BadInput{"scalarWithoutCode", kHeader + "#0\n1 !\n", "line 13: value '1' without"}),
    [](const testing::TestParamInfo<BadInput>& param) { return std::string(param.param.name); });

TEST(VcdReader, EndlessWordsAndMissingFilesAreReported) {
    std::string text = kHeader + "b" + std::string(80u << 20, '1') + " \"\n";
    const std::string endless = importError(KVcdReader("huge.vcd", text));
    EXPECT_NE(endless.find("huge.vcd: line 12: a word of more than 64 MiB"), std::string::npos)
        << endless;
    EXPECT_NE(importError(KVcdReader("/nonexistent/dir/x.vcd")), "");
}

} // namespace
