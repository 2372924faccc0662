#pragma once

// Exports an event source as a VCD file (plain, or gzip-compressed when the name ends in .gz).
//
// Every scalar signal whose type VCD can carry (std_logic, bit and vectors of them, integer,
// real; see KVcdType) becomes one $var in the $scope of its '/'-separated path; other signals
// are skipped and counted. Vectors keep their range ("name [7:0]", "name [0:7]"), so a file
// written here imports back to the same names, types and values. Times are written in
// picoseconds, the unit of SimTime, so every time stays exact. Values are written in nine
// states (U X 0 1 Z W L H -, which GHDL and GTKWave read) or, on request, in the four states of
// IEEE 1364 with the mapping of kFourStateDigits.

#include "storage/SimTime.h"

#include <cstdint>
#include <string>

namespace evstream {
class IEventsStreamRead;
}

// The identifier code of variable `number`: a base-94 number in the printable characters '!'
// to '~', lowest digit first.
std::string vcdIdentifierCode(std::size_t number);

struct KVcdExportOptions {
    enum class States { Nine, Four };
    States states = States::Nine;
    std::string version = "tessel-wave";
};

struct KVcdExportSummary {
    std::int64_t signals = 0;        // variables written
    std::int64_t skippedSignals = 0; // signals of types VCD cannot carry
    std::int64_t events = 0;
    SimTime endTime = 0;
    std::uint64_t bytesWritten = 0; // after compression for .gz
};

class KVcdWriter {
public:
    // The four-state digit of each std_logic ordinal U X 0 1 Z W L H -: the weak values L and H
    // become 0 and 1, and the values without a four-state meaning (U, W, -) become x.
    static constexpr const char* kFourStateDigits = "xx01zx01x";
    static constexpr const char* kNineStateDigits = "UX01ZWLH-";

    explicit KVcdWriter(KVcdExportOptions options = {}) : m_options(std::move(options)) {}

    // Writes the whole source to `fileName` (created or truncated). Throws KFileException when
    // the source fails or the file cannot be written.
    KVcdExportSummary write(evstream::IEventsStreamRead& source, const std::string& fileName);

private:
    KVcdExportOptions m_options;
};
