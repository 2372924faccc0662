// Speed of the event database file: opening a 1,000-signal file, values of 50 signals at one
// time, appending through the write stream, and a screen-wide zoomed-out read by skipping.
//
//   cmake --preset release && cmake --build --preset release --target storage_bench
//   build-release/bench/storage_bench --benchmark_filter=EventStore
#include "storage/evstream/EventStore.h"
#include "storage/evstream/SignalCursor.h"

#include <benchmark/benchmark.h>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using namespace evstream;

constexpr int kSignals = 1000;
constexpr int kSteps = 20000;
constexpr SimTime kStep = 10000; // 10 ns

// Signal shapes of a typical design: mostly single bits, some 64-bit vectors, some integers.
std::uint32_t valueSize(SignalHandle h) {
    return h % 10 == 0 ? 64 : h % 10 == 1 ? 4 : 1;
}

std::string tempName(const char* what) {
    return (std::filesystem::temp_directory_path() /
            ("tessel-bench-" + std::to_string(::getpid()) + "-" + what + ".awf"))
        .string();
}

// The events of kSteps clock steps, made once: at each step the clock (signal 2) toggles and a
// random tenth of the other signals changes; every signal has a value at step 0.
struct Design {
    std::vector<std::uint32_t> stepEnd; // end of each step's events
    std::vector<SignalHandle> handles;
    std::vector<std::uint32_t> valueOffsets;
    std::vector<std::uint8_t> values;

    Design() {
        std::mt19937 rng(1);
        for (int step = 0; step < kSteps; ++step) {
            for (SignalHandle h = 0; h < kSignals; ++h) {
                if (step > 0 && h != 2 && rng() % 10 != 0)
                    continue;
                handles.push_back(h);
                valueOffsets.push_back(std::uint32_t(values.size()));
                std::uint32_t size = valueSize(h);
                if (size == 4) {
                    std::uint32_t v = rng() % 1000;
                    for (int i = 0; i < 4; ++i)
                        values.push_back(std::uint8_t(v >> (8 * i)));
                } else {
                    for (std::uint32_t i = 0; i < size; ++i)
                        values.push_back(std::uint8_t(h == 2 ? 2 + step % 2 : 2 + rng() % 2));
                }
            }
            stepEnd.push_back(std::uint32_t(handles.size()));
        }
    }

    void write(IEventsStreamWrite* w) const {
        w->BeginDeclarations();
        for (SignalHandle h = 0; h < kSignals; ++h) {
            SignalInfo info;
            info.name = "top/u" + std::to_string(h / 50) + "/s" + std::to_string(h);
            w->DeclareScalar(h, info);
        }
        w->EndDeclarations();
        std::size_t e = 0;
        for (int step = 0; step < kSteps; ++step) {
            w->SetTime(step * kStep);
            for (; e < stepEnd[std::size_t(step)]; ++e)
                w->WriteValue(handles[e], values.data() + valueOffsets[e], valueSize(handles[e]));
        }
    }
};

const Design& design() {
    static Design d;
    return d;
}

struct DesignFile {
    std::string path = tempName("design");
    DesignFile() {
        IEventsStreamWrite* w = OpenStreamWrite(path);
        design().write(w);
        w->Release();
    }
    ~DesignFile() { std::filesystem::remove(path); }
};

const std::string& designFile() {
    static DesignFile file;
    return file.path;
}

void BM_EventStoreOpen1000Signals(benchmark::State& state) {
    designFile(); // made before timing starts
    for (auto _ : state) {
        IEventsStreamRead* r = OpenStreamRead(designFile());
        benchmark::DoNotOptimize(r->GetRootCount());
        r->Release();
    }
    auto bytes = double(std::filesystem::file_size(designFile()));
    state.counters["fileBytes"] = bytes;
    state.counters["events"] = double(design().handles.size());
    state.counters["bytesPerEvent"] = bytes / double(design().handles.size());
}
BENCHMARK(BM_EventStoreOpen1000Signals)->Unit(benchmark::kMillisecond);

// Each iteration: a freshly opened file (not timed), a random time, then the values of 50
// signals there (bits, vectors, integers): the cost of a block nothing has decoded yet.
// Argument 0: 50 signals spread over the 1,000 (the worst case: they touch every section group
// of the block); 1: 50 neighbouring signals (the rows of a view).
void BM_EventStoreValues50SignalsAtOneTimeCold(benchmark::State& state) {
    std::mt19937 rng(3);
    std::vector<std::uint8_t> value(64);
    int stride = state.range(0) == 0 ? kSignals / 50 : 1;
    designFile();
    for (auto _ : state) {
        state.PauseTiming();
        IEventsStreamRead* r = OpenStreamRead(designFile());
        SimTime t = SimTime(rng() % (kSteps * kStep));
        auto first = SignalHandle(state.range(0) == 0 ? t % 7 : t % (kSignals - 50));
        state.ResumeTiming();
        for (int i = 0; i < 50; ++i)
            benchmark::DoNotOptimize(GetSignalValue(r, t, first + i * stride, value.data()));
        state.PauseTiming();
        r->Release();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_EventStoreValues50SignalsAtOneTimeCold)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// The same, all at one time: what a redraw after a cursor move costs once blocks are cached.
void BM_EventStoreValues50SignalsAtOneTimeWarm(benchmark::State& state) {
    IEventsStreamRead* r = OpenStreamRead(designFile());
    std::vector<std::uint8_t> value(64);
    SimTime t = kSteps * kStep / 2 + 1234;
    for (auto _ : state) {
        for (SignalHandle h = 0; h < kSignals; h += kSignals / 50)
            benchmark::DoNotOptimize(GetSignalValue(r, t, h, value.data()));
    }
    r->Release();
}
BENCHMARK(BM_EventStoreValues50SignalsAtOneTimeWarm)->Unit(benchmark::kMicrosecond);

void BM_EventStoreAppend(benchmark::State& state) {
    std::string path = tempName("append");
    const Design& d = design();
    for (auto _ : state) {
        IEventsStreamWrite* w = OpenStreamWrite(path);
        d.write(w);
        w->Release();
    }
    state.SetItemsProcessed(std::int64_t(state.iterations()) * std::int64_t(d.handles.size()));
    std::filesystem::remove(path);
}
BENCHMARK(BM_EventStoreAppend)->Unit(benchmark::kMillisecond)->Iterations(3);

// A zoomed-out screen: 1,000 pixel columns over the whole file, 50 signals; for each column and
// signal the first event at or after the column's time (what a drawer needs to draw it).
void BM_EventStoreZoomedOutRead50Signals(benchmark::State& state) {
    IEventsStreamRead* r = OpenStreamRead(designFile());
    constexpr int kPixels = 1000;
    SimTime span = kSteps * kStep;
    std::uint64_t found = 0;
    for (auto _ : state) {
        std::vector<std::unique_ptr<SignalCursor>> cursors;
        for (SignalHandle h = 3; h < kSignals; h += kSignals / 50)
            cursors.push_back(OpenSignalCursor(r, h));
        for (int px = 0; px < kPixels; ++px) {
            SimTime t = span * px / kPixels;
            for (auto& cursor : cursors)
                found += cursor->seek(t) ? 1 : 0;
        }
    }
    benchmark::DoNotOptimize(found);
    state.counters["seeksPerScreen"] = 50.0 * kPixels;
    r->Release();
}
BENCHMARK(BM_EventStoreZoomedOutRead50Signals)->Unit(benchmark::kMillisecond);

// For comparison: reading every event of the file in time order.
void BM_EventStoreReadAllEvents(benchmark::State& state) {
    IEventsStreamRead* r = OpenStreamRead(designFile());
    std::uint64_t events = 0;
    for (auto _ : state) {
        r->Rewind(0);
        while (r->ReadNextEvent() != kNoSignal)
            ++events;
    }
    state.SetItemsProcessed(std::int64_t(events));
    r->Release();
}
BENCHMARK(BM_EventStoreReadAllEvents)->Unit(benchmark::kMillisecond);

} // namespace
