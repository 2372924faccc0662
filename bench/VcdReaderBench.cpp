// Parsing speed of the VCD importer alone (the sink discards the events), on VCD text made in
// memory: bus-heavy and bit-heavy, like the files of bench/import-vs-vcd2fst.sh but smaller.
// The end-to-end figures with the database writer come from that script.

#include "storage/evstream/IEventsStream.h"
#include "storage/evstream/NullStreamWrite.h"
#include "storage/vcd/KVcdReader.h"

#include <benchmark/benchmark.h>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// Only the parser: every event is accepted and dropped.
using NullSink = evstream::NullStreamWrite;

std::string codeFor(std::size_t number) {
    std::string code;
    do {
        code += static_cast<char>('!' + number % 94);
        number /= 94;
    } while (number != 0);
    return code;
}

// `signals` variables, of the `widths` in turn, and `changes` changes of pseudo-random values:
// to signals chosen at random, or to every signal in declaration order at each time (as a
// simulator dumps a design's registers).
std::string makeVcd(int signals, const std::vector<int>& widths, int changes,
                    bool inOrder = false) {
    auto widthOf = [&](std::size_t i) { return widths[i % widths.size()]; };
    std::string text = "$timescale 1ps $end\n$scope module top $end\n";
    for (int i = 0; i < signals; ++i) {
        int width = widthOf(std::size_t(i));
        // Appended piece by piece: GCC 12 at -O3 warns falsely (-Wrestrict) on operator+ chains.
        text += "$var wire ";
        text += std::to_string(width);
        text += ' ';
        text += codeFor(std::size_t(i));
        text += " s";
        text += std::to_string(i);
        if (width > 1) {
            text += " [";
            text += std::to_string(width - 1);
            text += ":0]";
        }
        text += " $end\n";
    }
    text += "$upscope $end\n$enddefinitions $end\n";
    std::uint64_t state = 88172645463325252ull;
    const int perTime = inOrder ? signals : 32;
    for (int n = 0, time = 0; n < changes; ++n) {
        if (n % perTime == 0) {
            text += '#';
            text += std::to_string(time += 1000);
            text += '\n';
        }
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        std::size_t signal =
            inOrder ? std::size_t(n % signals) : std::size_t(state >> 40) % std::size_t(signals);
        int width = widthOf(signal);
        if (width > 1) {
            text += 'b';
            for (int bit = width - 1; bit >= 0; --bit)
                text += char('0' + ((state >> (bit % 64)) & 1));
            text += ' ';
        } else {
            text += char('0' + (state & 1));
        }
        text += codeFor(signal);
        text += '\n';
    }
    return text;
}

// The argument limits the line parser's build: 0 SSE2, 1 AVX2, 2 AVX-512, 3 AVX-512 with VBMI2
// (where the processor has them).
void parse(benchmark::State& state, const std::string& text) {
    KVcdReader::setSimdLimit(static_cast<KVcdReader::Simd>(state.range(0)));
    for (auto _ : state) {
        NullSink sink;
        KVcdImportSummary summary = KVcdReader("bench.vcd", text).importInto(sink);
        benchmark::DoNotOptimize(summary.events);
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(text.size()));
    KVcdReader::setSimdLimit(KVcdReader::Simd::Avx512Vbmi2);
}

void BM_VcdParseBuses(benchmark::State& state) {
    static const std::string text = makeVcd(1000, {32}, 500000);
    parse(state, text);
}
BENCHMARK(BM_VcdParseBuses)->ArgName("simd")->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

// The same buses all changing at each time, in declaration order.
void BM_VcdParseRegisters(benchmark::State& state) {
    static const std::string text = makeVcd(200, {32}, 500000, true);
    parse(state, text);
}
BENCHMARK(BM_VcdParseRegisters)->ArgName("simd")->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

// Buses of mixed widths, whose changes come in no predictable order of widths.
void BM_VcdParseMixedBuses(benchmark::State& state) {
    static const std::string text = makeVcd(1000, {16, 24, 32, 48, 64}, 500000);
    parse(state, text);
}
BENCHMARK(BM_VcdParseMixedBuses)->ArgName("simd")->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

void BM_VcdParseBits(benchmark::State& state) {
    static const std::string text = makeVcd(5000, {1}, 3000000);
    parse(state, text);
}
BENCHMARK(BM_VcdParseBits)->ArgName("simd")->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

// A VCD file in the temporary folder for the length of the run.
struct TemporaryVcd {
    std::string path;
    explicit TemporaryVcd(const std::string& text)
        : path((std::filesystem::temp_directory_path() /
                ("tessel-bench-" + std::to_string(::getpid()) + ".vcd"))
                   .string()) {
        std::ofstream(path, std::ios::binary) << text;
    }
    ~TemporaryVcd() { std::filesystem::remove(path); }
};

// From a file, read on the parser's thread (0) or ahead of it on another (1): the CPU column is
// the parser's thread alone, so it drops by the copy out of the page cache.
void BM_VcdImportFile(benchmark::State& state) {
    static const TemporaryVcd file(makeVcd(1000, {16, 24, 32, 48, 64}, 500000));
    for (auto _ : state) {
        NullSink sink;
        KVcdReader reader(file.path);
        reader.setReadAhead(state.range(0) != 0);
        KVcdImportSummary summary = reader.importInto(sink);
        benchmark::DoNotOptimize(summary.events);
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) *
                            std::int64_t(std::filesystem::file_size(file.path)));
}
BENCHMARK(BM_VcdImportFile)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace
