// Memory event streams through their handles: the editor's paths of writing, snapshotting and
// reading back. Each benchmark handles 1 M events of 8 signals.

#include "storage/KEventsReadHandle.h"
#include "storage/KEventsWriteHandle.h"

#include <benchmark/benchmark.h>
#include <cstdint>
#include <map>
#include <utility>
#include <vector>

namespace {

constexpr int kEvents = 1'000'000;
constexpr int kSignals = 8;

// Time order: every signal changes at each time, one event per signal.
KEventsWriteHandle writeInTimeOrder(std::uint32_t valueSize) {
    KEventsWriteHandle writer = KEventsWriteHandle::createMemory();
    std::vector<std::uint8_t> value(valueSize, 0);
    for (int i = 0; i < kEvents; ++i) {
        if (i % kSignals == 0)
            writer.setTime(i / kSignals * 10);
        value[0] = static_cast<std::uint8_t>(i);
        writer.writeValue(i % kSignals, value.data(), valueSize);
    }
    return writer;
}

// Signal after signal over the same interval: every signal but the first goes back in time.
KEventsWriteHandle writeSignalBySignal() {
    KEventsWriteHandle writer = KEventsWriteHandle::createMemory();
    const std::uint64_t value = 1;
    for (int signal = 0; signal < kSignals; ++signal) {
        for (int i = 0; i < kEvents / kSignals; ++i) {
            writer.setTime(i * 10);
            writer.writeValue(signal, &value, sizeof value);
        }
    }
    return writer;
}

void setEventCounters(benchmark::State& state) {
    state.SetItemsProcessed(state.iterations() * kEvents);
    state.counters["ns/event"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kEvents,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void appendInTimeOrder(benchmark::State& state) {
    const auto valueSize = static_cast<std::uint32_t>(state.range(0));
    for (auto _ : state) {
        KEventsWriteHandle writer = writeInTimeOrder(valueSize);
        benchmark::DoNotOptimize(writer);
    }
    setEventCounters(state);
}
BENCHMARK(appendInTimeOrder)->Arg(8)->Arg(64)->Unit(benchmark::kMillisecond);

void snapshot(benchmark::State& state) {
    KEventsWriteHandle writer = writeInTimeOrder(static_cast<std::uint32_t>(state.range(0)));
    for (auto _ : state) {
        KEventsReadHandle reader = KEventsReadHandle::fromWriter(writer);
        benchmark::DoNotOptimize(reader);
    }
    setEventCounters(state);
}
BENCHMARK(snapshot)->Arg(8)->Arg(64)->Unit(benchmark::kMillisecond);

// Writing and snapshotting together, so the one-time sort of the out-of-order writes is counted.
void appendSignalBySignalAndSnapshot(benchmark::State& state) {
    for (auto _ : state) {
        KEventsWriteHandle writer = writeSignalBySignal();
        KEventsReadHandle reader = KEventsReadHandle::fromWriter(writer);
        benchmark::DoNotOptimize(reader);
    }
    setEventCounters(state);
}
BENCHMARK(appendSignalBySignalAndSnapshot)->Unit(benchmark::kMillisecond);

void readAll(benchmark::State& state) {
    const auto valueSize = static_cast<std::uint32_t>(state.range(0));
    KEventsWriteHandle writer = writeInTimeOrder(valueSize);
    KEventsReadHandle reader = KEventsReadHandle::fromWriter(writer);
    std::vector<std::uint8_t> value(valueSize);
    for (auto _ : state) {
        std::uint64_t sum = 0;
        reader.seek(0);
        while (reader.readNextEvent() != kNoSignal) {
            reader.copyValue(value.data());
            sum += static_cast<std::uint64_t>(reader.time()) + value[0];
        }
        benchmark::DoNotOptimize(sum);
    }
    setEventCounters(state);
}
BENCHMARK(readAll)->Arg(8)->Arg(64)->Unit(benchmark::kMillisecond);

// For comparison only: the same appends into a node-based ordered multimap (one heap node per
// event), the representation the memory streams do not use.
void referenceMultimapAppend(benchmark::State& state) {
    for (auto _ : state) {
        std::multimap<EventKey, std::pair<SignalHandle, EventValue>> events;
        std::uint64_t value = 0;
        for (int i = 0; i < kEvents; ++i) {
            value = static_cast<std::uint64_t>(i);
            events.emplace_hint(events.end(), EventKey{i / kSignals * 10, 0},
                                std::pair(i % kSignals, EventValue(&value, sizeof value)));
        }
        benchmark::DoNotOptimize(events);
    }
    setEventCounters(state);
}
BENCHMARK(referenceMultimapAppend)->Unit(benchmark::kMillisecond);

} // namespace
