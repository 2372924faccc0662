// The database writer alone, fed from memory: what an import costs on the writer's side (the
// block log, the sort into sections, chaining, packing, zstd and the write), without a parser.
// Bus events like the bus-heavy import's: 1,000 buses of 16 to 64 std_logic bytes, ten of them
// changing one or two bits at each step, and a few buses now and then unknown in one bit.
// Arg: 1 encodes on the caller's thread, 2 on the writer thread (process CPU time counts both).

#include "storage/evstream/EventStore.h"

#include <benchmark/benchmark.h>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

using namespace evstream;

namespace {

constexpr int kBuses = 1000;
constexpr int kSteps = 150'000;
constexpr int kChangesPerStep = 10;

struct BusEvents {
    std::vector<std::uint32_t> handles;
    std::vector<std::uint32_t> offsets; // into bytes, one value each
    std::vector<std::uint8_t> bytes;
};

std::uint32_t width(int bus) {
    return 16 + std::uint32_t(bus * 7919 % 49);
}

const BusEvents& busEvents() {
    static const BusEvents events = [] {
        BusEvents e;
        std::vector<std::vector<std::uint8_t>> values(kBuses);
        std::mt19937 random(7);
        for (int h = 0; h < kBuses; ++h)
            values[std::size_t(h)].assign(width(h), 2);
        for (int step = 0; step < kSteps; ++step) {
            int last = -1;
            for (int i = 0; i < kChangesPerStep; ++i) {
                const int h = last + 1 +
                              int(random() % unsigned((kBuses - last - 1) / (kChangesPerStep - i)));
                last = h;
                auto& bits = values[std::size_t(h)];
                for (int flip = 0; flip < 2; ++flip) {
                    auto& b = bits[random() % bits.size()];
                    // Buses of every seventh handle go unknown (X) now and then.
                    b = h % 7 == 0 && random() % 64 == 0 ? 1 : b == 1 ? 2 : b ^ 1;
                }
                e.handles.push_back(std::uint32_t(h));
                e.offsets.push_back(std::uint32_t(e.bytes.size()));
                e.bytes.insert(e.bytes.end(), bits.begin(), bits.end());
            }
        }
        return e;
    }();
    return events;
}

void BM_WriterBusEvents(benchmark::State& state) {
    const BusEvents& e = busEvents();
    const std::string path =
        (std::filesystem::temp_directory_path() / "tessel-writer-bench.awf").string();
    for (auto _ : state) {
        IEventsStreamWrite* w = OpenStreamWrite(path);
        SetWriterThread(w, state.range(0) == 2);
        SetWriteOrderKept(w, false);
        w->BeginDeclarations();
        for (int h = 0; h < kBuses; ++h) {
            SignalInfo info;
            info.name = "bus" + std::to_string(h);
            w->DeclareScalar(h, info);
        }
        w->EndDeclarations();
        for (std::size_t i = 0; i < e.handles.size(); ++i) {
            if (i % kChangesPerStep == 0)
                w->SetTime(SimTime(i / kChangesPerStep) * 100);
            const auto h = SignalHandle(e.handles[i]);
            w->WriteValue(h, e.bytes.data() + e.offsets[i], width(h));
        }
        w->Release();
    }
    state.SetItemsProcessed(std::int64_t(state.iterations()) * std::int64_t(e.handles.size()));
    state.counters["bytes"] = double(std::filesystem::file_size(path));
    std::filesystem::remove(path);
}
BENCHMARK(BM_WriterBusEvents)
    ->Arg(1)
    ->Arg(2)
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

} // namespace
