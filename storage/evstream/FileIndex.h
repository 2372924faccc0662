#pragma once

// The index written at the end of a closed database file: where each block is with its time
// range, where the metadata chunks are, the file's end time and a summary per signal slot. A
// reader of a file without it (still being written, or cut short) rebuilds the same structure by
// scanning chunk headers.

#include "storage/evstream/AwfFormat.h"

#include <string>
#include <vector>

namespace evstream {

struct BlockRef {
    std::uint64_t offset = 0; // of the chunk header
    std::uint64_t payloadSize = 0;
    std::uint32_t directorySize = 0;
    SimTime firstTime = 0;
    SimTime lastTime = 0;
    std::uint64_t eventCount = 0;
};

struct SlotSummary {
    std::uint64_t totalEvents = 0;
    SimTime lastEventTime = kNoTime;
};

struct FileIndex {
    std::vector<BlockRef> blocks;
    std::vector<std::uint64_t> metadataOffsets;
    SimTime endTime = 0;
    std::vector<SlotSummary> slots; // empty when unknown (no index was read)
};

void encodeIndex(const FileIndex& index, awf::Bytes& raw);
std::string decodeIndex(std::span<const std::uint8_t> raw, std::uint64_t fileSize,
                        FileIndex& index);

} // namespace evstream
