// The event query one screen of the waveform pane needs: 50 rows, 2,000 pixel columns, a merge
// distance of 4 pixels, over a database file of 1,000 bus signals (16 to 64 bits) with 15 M
// changes in all. The file is generated once into the temporary folder (it takes a while) and
// kept for later runs; delete it to make it again.
//
//   cmake -S . -B build -DTESSEL_BENCH=ON && cmake --build build -j2 --target storage_bench
//   build/bench/storage_bench --benchmark_filter=Query

#include "storage/KEventsReadHandle.h"
#include "storage/KEventsWriteHandle.h"
#include "storage/query/KEventsQuery.h"

#include <benchmark/benchmark.h>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int kSignals = 1000;
constexpr std::int64_t kChanges = 15'000'000;
constexpr int kChangesPerStep = 10;
constexpr SimTime kStep = 100;
constexpr SimTime kTimeRange = kChanges / kChangesPerStep * kStep;
constexpr int kRows = 50;
constexpr int kColumns = 2000;

std::uint32_t busWidth(SignalHandle handle) {
    return 16 + static_cast<std::uint32_t>(handle * 7919 % 49); // 16..64 bits
}

std::string benchFile() {
    return (std::filesystem::temp_directory_path() / "tessel-query-bench-1000x15M-v2.awf").string();
}

// Every signal gets a value at time 0; then at each step ten random buses change, each in a
// few random bits (std_logic '0'/'1' bytes).
void generate(const std::string& path) {
    const std::string partial = path + ".part";
    KEventsWriteHandle writer = KEventsWriteHandle::createDatabase(partial);
    writer.beginDeclarations();
    for (SignalHandle h = 0; h < kSignals; ++h) {
        evstream::SignalInfo info;
        info.name = "bus" + std::to_string(h);
        writer.declareScalar(h, info);
    }
    writer.endDeclarations();
    std::vector<std::vector<std::uint8_t>> values(kSignals);
    for (SignalHandle h = 0; h < kSignals; ++h) {
        values[h].assign(busWidth(h), 2);
        writer.writeValue(h, values[h].data(), busWidth(h));
    }
    std::mt19937 random(15);
    for (std::int64_t step = 1; step <= kChanges / kChangesPerStep; ++step) {
        writer.setTime(step * kStep);
        SignalHandle last = -1;
        for (int i = 0; i < kChangesPerStep; ++i) {
            // Ascending handles within a step, so no bus changes twice at one time.
            const SignalHandle h =
                last + 1 + SignalHandle(random() % ((kSignals - last - 1) / (kChangesPerStep - i)));
            last = h;
            auto& bits = values[h];
            bits[random() % bits.size()] ^= 1;
            bits[random() % bits.size()] ^= 1;
            writer.writeValue(h, bits.data(), static_cast<std::uint32_t>(bits.size()));
        }
    }
    writer.close();
    std::filesystem::rename(partial, path);
}

// The document side of the query: each row is one leaf with one segment over the whole file.
class FileSources final : public IEventSources {
public:
    FileSources() {
        if (!std::filesystem::exists(benchFile()))
            generate(benchFile());
        m_file = KEventsReadHandle::openDatabase(benchFile());
    }
    bool isOpen() const { return static_cast<bool>(m_file); }

    bool queryLeaves(SignalHandle handle, std::vector<QueryLeaf>& leaves) const override {
        leaves = {{handle, 0, busWidth(handle)}};
        return true;
    }
    void querySegments(SignalHandle leaf, std::vector<QuerySegment>& segments) const override {
        segments = {{{0, 0}, {kTimeRange + 1, 0}, m_file, leaf, {}}};
    }

private:
    KEventsReadHandle m_file;
};

FileSources& sources() {
    static FileSources instance;
    return instance;
}

// One screen: the rows spread over the file's signals, as a scrolled list would show them.
std::size_t drawScreen(SimTime start, SimTime range) {
    const SimTime distance = std::max<SimTime>(4 * range / kColumns, 1);
    KEventsQuery query(sources(), start, start + range);
    for (int row = 0; row < kRows; ++row)
        query.addSignal(row * (kSignals / kRows) + 3, distance);
    query.run();
    std::size_t changes = 0;
    for (int row = 0; row < kRows; ++row)
        changes += query.events(row * (kSignals / kRows) + 3).size();
    return changes;
}

// The engine alone: a provider that only counts what it is given.
class CountingProvider final : public KEventsProvider {
public:
    using KEventsProvider::KEventsProvider;
    bool OnEvent(SignalHandle, const KEventRecord& record) override {
        ++changes;
        return record.time() <= m_end;
    }
    void setEnd(SimTime end) { m_end = end; }
    std::size_t changes = 0;

private:
    SimTime m_end = 0;
};

std::size_t countScreen(SimTime start, SimTime range) {
    const SimTime distance = std::max<SimTime>(4 * range / kColumns, 1);
    CountingProvider provider(sources(), start);
    provider.setEnd(start + range);
    for (int row = 0; row < kRows; ++row)
        provider.addSignal(row * (kSignals / kRows) + 3, distance);
    provider.run();
    return provider.changes;
}

void BM_QueryEngineOnlyZoomedIn(benchmark::State& state) {
    std::size_t changes = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(changes = countScreen(kTimeRange / 2, kTimeRange / 100));
    state.counters["changes"] = static_cast<double>(changes);
}

// The same window again and again: what a repaint costs.
void queryScreen(benchmark::State& state, SimTime start, SimTime range) {
    if (!sources().isOpen()) {
        state.SkipWithError("the benchmark file could not be opened");
        return;
    }
    std::size_t changes = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(changes = drawScreen(start, range));
    state.counters["changes"] = static_cast<double>(changes);
}

// A new window each time, a screen further on: what scrolling costs.
void scrollScreen(benchmark::State& state, SimTime range) {
    if (!sources().isOpen()) {
        state.SkipWithError("the benchmark file could not be opened");
        return;
    }
    SimTime start = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(drawScreen(start, range));
        start = (start + range) % (kTimeRange - range);
    }
}

void BM_QueryScreenZoomedIn(benchmark::State& state) {
    queryScreen(state, kTimeRange / 2, kTimeRange / 100);
}
void BM_QueryScreenZoomedOut(benchmark::State& state) {
    queryScreen(state, 0, kTimeRange);
}
void BM_QueryScrollZoomedIn(benchmark::State& state) {
    scrollScreen(state, kTimeRange / 100);
}

} // namespace

BENCHMARK(BM_QueryScreenZoomedIn)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QueryScreenZoomedOut)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QueryScrollZoomedIn)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QueryEngineOnlyZoomedIn)->Unit(benchmark::kMillisecond);
