// The event query one screen of the waveform pane needs: 50 rows, 2,000 pixel columns, a merge
// distance of 4 pixels, over a database file of 1,000 bus signals (16 to 64 bits) with 15 M
// changes in all. The file is generated once into the temporary folder (it takes a while) and
// kept for later runs; delete it to make it again.
//
//   cmake -S . -B build -DTESSEL_BENCH=ON && cmake --build build -j2 --target storage_bench
//   build/bench/storage_bench --benchmark_filter=Query

#include "BusBenchFile.h"
#include "storage/KEventsReadHandle.h"
#include "storage/evstream/EventStore.h"
#include "storage/query/KEventsQuery.h"

#include <benchmark/benchmark.h>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace benchfile;

constexpr int kRows = 50;
constexpr int kColumns = 2000;

// The document side of the query: each row is one leaf with one segment over the whole file.
class FileSources final : public IEventSources {
public:
    FileSources() {
        m_stream = evstream::CreateStreamRead(ensure());
        m_file = KEventsReadHandle::adopt(m_stream);
    }
    bool isOpen() const { return static_cast<bool>(m_file); }
    // Bytes held by the file's signal summaries.
    std::size_t summaryBytes() const { return evstream::GetSummaryBytes(m_stream); }

    bool queryLeaves(SignalHandle handle, std::vector<QueryLeaf>& leaves) const override {
        leaves = {{handle, 0, busWidth(handle)}};
        return true;
    }
    void querySegments(SignalHandle leaf, std::vector<QuerySegment>& segments) const override {
        segments = {{{0, 0}, {kTimeRange + 1, 0}, m_file, leaf, {}}};
    }

private:
    evstream::IEventsStreamRead* m_stream = nullptr; // held by m_file
    KEventsReadHandle m_file;
};

FileSources& sources() {
    static FileSources instance;
    return instance;
}

// One screen: the rows spread over the file's signals, as a scrolled list would show them.
std::size_t drawScreen(SimTime start, SimTime range, bool coarse = false,
                       const FileSources& file = sources()) {
    const SimTime distance = std::max<SimTime>(4 * range / kColumns, 1);
    KEventsQuery query(file, start, start + range);
    query.setCoarseFolds(coarse);
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

std::size_t countScreen(SimTime start, SimTime range, bool coarse = false) {
    const SimTime distance = std::max<SimTime>(4 * range / kColumns, 1);
    CountingProvider provider(sources(), start);
    provider.setCoarseFolds(coarse);
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

void BM_QueryEngineOnlyZoomedOutCoarse(benchmark::State& state) {
    std::size_t changes = countScreen(0, kTimeRange, true);
    for (auto _ : state)
        benchmark::DoNotOptimize(changes = countScreen(0, kTimeRange, true));
    state.counters["changes"] = static_cast<double>(changes);
}

// The same window again and again: what a repaint costs.
void queryScreen(benchmark::State& state, SimTime start, SimTime range, bool coarse = false) {
    if (!sources().isOpen()) {
        state.SkipWithError("the benchmark file could not be opened");
        return;
    }
    std::size_t changes = drawScreen(start, range, coarse); // summaries built
    for (auto _ : state)
        benchmark::DoNotOptimize(changes = drawScreen(start, range, coarse));
    state.counters["changes"] = static_cast<double>(changes);
    if (coarse)
        state.counters["summaryMB"] = static_cast<double>(sources().summaryBytes()) / 1e6;
}

// The first screen of a file just opened: no summaries, no decoded blocks.
void BM_QueryScreenZoomedOutCoarseCold(benchmark::State& state) {
    std::size_t changes = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto file = std::make_unique<FileSources>();
        state.ResumeTiming();
        benchmark::DoNotOptimize(changes = drawScreen(0, kTimeRange, true, *file));
        state.PauseTiming();
        file.reset();
        state.ResumeTiming();
    }
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
void BM_QueryScreenZoomedOutCoarse(benchmark::State& state) {
    queryScreen(state, 0, kTimeRange, true);
}
void BM_QueryScreenQuarterCoarse(benchmark::State& state) {
    queryScreen(state, kTimeRange / 2, kTimeRange / 4, true);
}
void BM_QueryScreenQuarter(benchmark::State& state) {
    queryScreen(state, kTimeRange / 2, kTimeRange / 4);
}
void BM_QueryScrollZoomedIn(benchmark::State& state) {
    scrollScreen(state, kTimeRange / 100);
}

} // namespace

BENCHMARK(BM_QueryScreenZoomedIn)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QueryScreenZoomedOut)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QueryScreenZoomedOutCoarse)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QueryScreenZoomedOutCoarseCold)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QueryScreenQuarterCoarse)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QueryScreenQuarter)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QueryScrollZoomedIn)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QueryEngineOnlyZoomedIn)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QueryEngineOnlyZoomedOutCoarse)->Unit(benchmark::kMillisecond);
