// Feeds the input to the decoders of the database file's inner parts directly: declaration
// records, the index, a block directory, a key table and a signal section. Whole-file fuzzing
// rarely gets past the checksums; this reaches the parsers behind them. The first byte picks the
// decoder, the rest is its raw (decompressed) input.
#include "storage/evstream/BlockLayout.h"
#include "storage/evstream/FileIndex.h"
#include "storage/evstream/SignalTable.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace evstream;
    if (size < 3)
        return 0;
    std::span<const std::uint8_t> input(data + 3, size - 3);
    switch (data[0] % 5) {
    case 0: {
        SignalTable table;
        table.applyRecords(input, SignalTable::Records::All);
        break;
    }
    case 1: {
        FileIndex index;
        decodeIndex(input, 1u << 30, index);
        break;
    }
    case 2: {
        BlockDirectory directory;
        if (decodeDirectory(awf::Bytes(input.begin(), input.end()), directory).empty())
            for (std::size_t i = 0; i < directory.count; ++i)
                directory.find(directory.entry(i).slot);
        break;
    }
    case 3: {
        BlockKeys keys;
        decodeKeys(input, keys);
        break;
    }
    case 4: {
        // A section against a key table of 300 keys, with the value size and event count taken
        // from the second and third bytes.
        BlockKeys keys;
        for (int i = 0; i < 300; ++i) {
            keys.times.push_back(i * 10);
            keys.deltas.push_back(0);
        }
        DirectoryEntry entry;
        entry.valueSize = 1u + data[1] % 70;
        entry.eventCount = data[2];
        SlotEvents events;
        decodeSection(input, entry, keys, events);
        awf::Bytes value;
        bool found = false;
        KeyBound bound;
        bound.count = keys.times.size();
        bound.atOrBefore = data[2] % 301;
        sectionValueAt(input, entry, bound, value, found);
        keysAtOrBefore(input, SimTime(data[2]) * 7, bound);
        break;
    }
    }
    return 0;
}
