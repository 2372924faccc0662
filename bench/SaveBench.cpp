// Saving a document opened over the bus-heavy file (1,000 buses, 15 M changes), and what an
// open document costs in memory against the number of events in its file.
//
//   cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DTESSEL_BENCH=ON
//   cmake --build build-release -j2 --target storage_bench
//   build-release/bench/storage_bench --benchmark_filter='Save|OpenDocument'
//
// The files are made in the temporary folder on first use (see BusBenchFile.h); the saved
// copies go to the same folder and are deleted afterwards.

#include "BusBenchFile.h"
#include "document/KDoc.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <filesystem>
#include <malloc.h>
#include <memory>
#include <string>
#include <unistd.h>

namespace {

// Resident memory of this process in KiB, from /proc/self/statm.
double residentKiB() {
    long pages = 0, resident = 0;
    std::FILE* statm = std::fopen("/proc/self/statm", "r");
    if (statm == nullptr)
        return 0;
    if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2)
        resident = 0;
    std::fclose(statm);
    return static_cast<double>(resident) * static_cast<double>(::sysconf(_SC_PAGESIZE)) / 1024;
}

// Heap bytes in use, in KiB: exact where resident memory is blurred by pages the allocator keeps.
double heapKiB() {
    return static_cast<double>(mallinfo2().uordblks) / 1024;
}

std::unique_ptr<KDoc> openBusDocument(std::int64_t changes) {
    auto doc = std::make_unique<KDoc>();
    if (!doc->openDocument(benchfile::ensure(changes)))
        return nullptr;
    // The rows a user would have: every signal of the file, in its order.
    std::vector<SignalHandle> rows;
    for (const auto& [handle, record] : doc->signals())
        if (record->isTopLevel() && !doc->rowOf(handle))
            rows.push_back(handle);
    doc->insertRows(doc->rowCount(), rows);
    return doc;
}

// One whole save: the waveforms into a temporary file, the document moved onto it, a copy at
// the target. Each iteration saves the document as the previous one left it.
void BM_SaveBusDocument(benchmark::State& state) {
    std::unique_ptr<KDoc> doc = openBusDocument(benchfile::kChanges);
    if (!doc) {
        state.SkipWithError("the benchmark file could not be opened");
        return;
    }
    const std::string target =
        (std::filesystem::temp_directory_path() / "tessel-save-bench.awf").string();
    for (auto _ : state) {
        if (!doc->saveDocument(target)) {
            state.SkipWithError("the save failed");
            break;
        }
    }
    state.counters["events"] = static_cast<double>(benchfile::kChanges + benchfile::kSignals);
    state.counters["eventsPerSecond"] =
        benchmark::Counter(static_cast<double>(benchfile::kChanges + benchfile::kSignals) *
                               static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate);
    state.counters["fileMiB"] =
        static_cast<double>(std::filesystem::file_size(target)) / (1024.0 * 1024.0);
    doc.reset();
    std::error_code ignored;
    std::filesystem::remove(target, ignored);
}

// Memory an open document adds, by its file's number of changes (argument, millions): no event
// is copied on open, so it should not follow the file's size.
void BM_OpenDocumentMemory(benchmark::State& state) {
    const std::int64_t changes = state.range(0) * 1'000'000;
    benchfile::ensure(changes);
    double added = 0;
    double heap = 0;
    for (auto _ : state) {
        const double before = residentKiB();
        const double heapBefore = heapKiB();
        std::unique_ptr<KDoc> doc = openBusDocument(changes);
        if (!doc) {
            state.SkipWithError("the benchmark file could not be opened");
            return;
        }
        added = std::max(added, residentKiB() - before); // later opens reuse freed pages
        heap = heapKiB() - heapBefore;
        benchmark::DoNotOptimize(doc.get());
    }
    state.counters["residentKiB"] = added;
    state.counters["heapKiB"] = heap;
    state.counters["events"] = static_cast<double>(changes + benchfile::kSignals);
    state.counters["fileMiB"] =
        static_cast<double>(std::filesystem::file_size(benchfile::path(changes))) /
        (1024.0 * 1024.0);
}

} // namespace

BENCHMARK(BM_SaveBusDocument)->Unit(benchmark::kSecond)->Iterations(2);
BENCHMARK(BM_OpenDocumentMemory)->Arg(3)->Arg(15)->Unit(benchmark::kMillisecond)->Iterations(3);
