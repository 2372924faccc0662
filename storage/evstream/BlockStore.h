#pragma once

// The file side of a database read stream: it opens the file, reads the declarations and the
// block index (or rebuilds the index by scanning chunk headers when the file has none, because it
// is still being written or was cut short), and loads blocks on demand.
//
// Loaded blocks are decoded lazily and piecewise: the directory first, the key table and each
// signal's section only when asked for. A cache keeps the most recently used blocks up to a
// budget of decoded bytes rather than a number of blocks, since a block decoded for a few signals
// is a small part of one decoded for all; the memory stays bounded whatever the file's size.
// Callers hold decoded sections through shared pointers, so evicting a block never invalidates what
// a cursor is reading.

#include "storage/evstream/BlockLayout.h"
#include "storage/evstream/FileIndex.h"
#include "storage/evstream/SignalTable.h"

#include <list>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace evstream {

class BlockStore {
public:
    // Raw bytes of a section group or own blob, decoded into memory that is not zero-filled first.
    struct RawBlob {
        std::unique_ptr<std::uint8_t[]> bytes;
        std::size_t size = 0;
        std::span<const std::uint8_t> span() const { return {bytes.get(), size}; }
    };

    struct LoadedBlock {
        BlockDirectory directory;
        std::shared_ptr<const BlockKeys> keys; // null until a section needs it
        // The raw key table once read, and where the last value query's time fell in it: the
        // values of one time are read a signal at a time, and none of them needs the whole table.
        awf::Bytes keysStored; // read with the directory, until decoded into keysRaw
        RawBlob keysRaw;
        bool keysRead = false;
        bool hasBound = false;
        SimTime boundTime = 0;
        KeyBound bound;
        std::size_t nextPosition = 0; // the directory entry after the last value query's
        std::vector<RawBlob> groups;  // raw section groups once loaded
        std::vector<bool> groupLoaded;
        // By directory entry; sized when the first section is decoded (a cold read of a few
        // values decodes none).
        std::vector<std::shared_ptr<const SlotEvents>> sections;
        // Entries whose value was read once from the raw section: a second read decodes the
        // section whole and keeps it, so that repeated reads (a cursor's values column) are a
        // binary search while a single cold read stays partial.
        std::vector<bool> valueRead;
        std::size_t bytes = 0; // decoded bytes held, as the cache counts them
        bool cached = false;
    };

    // What the cache holds by default. A file of a few MB stays decoded whole, so repainting a
    // zoomed-out view of it decodes nothing. More would not help a walk through a larger file,
    // which comes back to a block only after all the others, and costs it time: the memory it
    // decodes into is then cold (a zoomed-out screen of 590 blocks took 10 to 30 % longer with
    // 32 MiB).
    static constexpr std::size_t kCacheBytes = std::size_t(8) << 20;
    // The blocks used last stay whatever their size: signals read side by side through time
    // stand a few blocks apart, and a block of dense signals decodes to several MB.
    static constexpr std::size_t kKeptBlocks = 4;
    // Bytes read after a block's directory along with it, to take the key table in the same read.
    static constexpr std::size_t kKeysReadAhead = 4096;

    // Opens the file and reads its declarations into `signals`; throws KFileException.
    BlockStore(std::string fileName, SignalTable& signals);
    ~BlockStore();
    BlockStore(const BlockStore&) = delete;
    BlockStore& operator=(const BlockStore&) = delete;

    // Picks up chunks a writer has appended since; false when the file cannot be read any more.
    bool refresh(SignalTable& signals);

    // Changes the cache's budget of decoded bytes (the kKeptBlocks used last always stay).
    void setCacheBytes(std::size_t bytes);

    const std::string& fileName() const { return m_fileName; }
    const std::vector<BlockRef>& blocks() const { return m_index.blocks; }
    SimTime endTime() const;
    // Per-slot totals from the file's index; null when the file has no index (yet).
    const SlotSummary* summary(int slot) const;

    // The first block whose last event is at or after `time`; blocks().size() when none.
    std::size_t firstBlockEndingAtOrAfter(SimTime time) const;
    // The last block whose first event is at or before `time`; -1 when none.
    std::ptrdiff_t lastBlockStartingAtOrBefore(SimTime time) const;

    // Both throw KFileException when the block is damaged.
    std::shared_ptr<LoadedBlock> block(std::size_t index);
    // The events of one slot in one block; null when the block has nothing for the slot.
    std::shared_ptr<const SlotEvents> section(std::size_t index, int slot);
    // The same for the directory entry at `position` of a block already at hand: no lookup.
    std::shared_ptr<const SlotEvents> section(std::size_t index, LoadedBlock& loaded,
                                              std::size_t position);
    const BlockKeys& keys(std::size_t index, LoadedBlock& block);
    // Where `time` falls in the block's key table, without decoding the table.
    const KeyBound& keyBound(std::size_t index, LoadedBlock& block, SimTime time);
    // The memory a decoded section holds, as the cache counts it.
    static std::size_t decodedBytes(const SlotEvents& events);
    // The slot's value in force at `time` within block `index` (its last event there at or
    // before `time`, else the block's milestone); false when it has none. Reads the section
    // without decoding it whole when no one has yet.
    bool valueAt(std::size_t index, int slot, SimTime time, awf::Bytes& value);

private:
    void readDeclarations(SignalTable& signals);
    bool readIndex(SignalTable& signals);
    void scan(SignalTable& signals);
    bool readChunk(std::uint64_t offset, awf::ChunkHeader& header, awf::Bytes& payload);
    bool readAt(std::uint64_t offset, void* buffer, std::size_t size) const;
    std::span<const std::uint8_t> keysRaw(std::size_t index, LoadedBlock& loaded);
    RawBlob rawBlobFrom(std::size_t block, std::span<const std::uint8_t> stored) const;
    awf::Bytes blobFrom(std::size_t block, std::span<const std::uint8_t> stored) const;
    std::span<const std::uint8_t> sectionBytes(std::size_t index, LoadedBlock& loaded,
                                               const DirectoryEntry& entry, RawBlob& own);
    std::unique_ptr<std::uint8_t[]> readStoredAt(std::size_t block, std::uint64_t offset,
                                                 std::uint64_t size);
    RawBlob readRawBlobAt(std::size_t block, std::uint64_t offset, std::uint64_t size);
    [[noreturn]] void damaged(std::size_t block, const std::string& what) const;
    std::uint64_t currentFileSize() const;
    // Counts `bytes` more decoded into `loaded`, then trims.
    void grew(LoadedBlock& loaded, std::size_t bytes);
    // Evicts the least recently used blocks while the cache is over its budget.
    void trim();

    std::string m_fileName;
    int m_fd = -1;
    std::uint64_t m_fileSize = 0;
    std::uint64_t m_scanOffset = 0; // where scanning for new chunks goes on
    bool m_complete = false;        // the index was read: nothing more will come
    FileIndex m_index;
    using CacheList = std::list<std::pair<std::size_t, std::shared_ptr<LoadedBlock>>>;
    CacheList m_cache; // most recent first
    std::unordered_map<std::size_t, CacheList::iterator> m_cached;
    std::size_t m_cachedBytes = 0;
    std::size_t m_cacheBytes = kCacheBytes;
};

} // namespace evstream
