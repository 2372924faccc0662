#pragma once

// The bus-heavy database files of the benchmarks: 1,000 bus signals (16 to 64 std_logic bytes)
// over 1.5 M steps of 100 ps, ten buses changing a few bits at each step. A file is generated
// once into the temporary folder (it takes a while) and kept for later runs; delete it to make
// it again. Files of fewer changes hold the same signals over proportionally fewer steps.

#include "storage/KEventsWriteHandle.h"
#include "storage/evstream/AwfFormat.h"

#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace benchfile {

constexpr int kSignals = 1000;
constexpr std::int64_t kChanges = 15'000'000;
constexpr int kChangesPerStep = 10;
constexpr SimTime kStep = 100;
constexpr SimTime kTimeRange = kChanges / kChangesPerStep * kStep;

inline std::uint32_t busWidth(SignalHandle handle) {
    return 16 + static_cast<std::uint32_t>(handle * 7919 % 49); // 16..64 bits
}

inline std::string path(std::int64_t changes = kChanges) {
    // The format's major version in the name: a file of an older format would be refused.
    const std::string name = "tessel-query-bench-1000x" + std::to_string(changes / 1'000'000) +
                             "M-v" + std::to_string(evstream::awf::kVersionMajor) + ".awf";
    return (std::filesystem::temp_directory_path() / name).string();
}

// Every signal gets a value at time 0; then at each step ten random buses change, each in a
// few random bits (std_logic '0'/'1' bytes).
inline void generate(const std::string& target, std::int64_t changes) {
    const std::string partial = target + ".part";
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
    for (std::int64_t step = 1; step <= changes / kChangesPerStep; ++step) {
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
    std::filesystem::rename(partial, target);
}

// The file of `changes` changes, generated when it is missing.
inline std::string ensure(std::int64_t changes = kChanges) {
    const std::string target = path(changes);
    if (!std::filesystem::exists(target))
        generate(target, changes);
    return target;
}

} // namespace benchfile
