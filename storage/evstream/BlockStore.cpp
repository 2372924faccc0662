#include "storage/evstream/BlockStore.h"

#include "storage/KFileException.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace evstream {

namespace {

[[noreturn]] void badFormat(const std::string& file, const std::string& what) {
    throw KFileException(KFileException::Cause::BadFormat, file, what);
}

std::size_t heldBytes(const BlockKeys& keys) {
    std::size_t bytes = sizeof keys + 32 + keys.times.capacity() * sizeof(SimTime) +
                        keys.deltas.capacity() * sizeof(DeltaCycle);
    for (const KeyOrder& order : keys.orders)
        bytes += sizeof order + order.slots.capacity() * sizeof(int);
    return bytes;
}

} // namespace

BlockStore::BlockStore(std::string fileName, SignalTable& signals)
    : m_fileName(std::move(fileName)) {
    m_fd = ::open(m_fileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (m_fd < 0) {
        int error = errno;
        auto cause = error == ENOENT   ? KFileException::Cause::FileNotFound
                     : error == EACCES ? KFileException::Cause::AccessDenied
                                       : KFileException::Cause::Generic;
        throw KFileException(cause, m_fileName, "cannot open the waveform database", error);
    }
    try {
        struct stat st {};
        if (::fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode))
            badFormat(m_fileName, "not a regular file");
        m_fileSize = std::uint64_t(st.st_size);
        if (m_fileSize == 0)
            badFormat(m_fileName, "the file is empty (0 bytes), not a waveform database");
        std::uint8_t header[awf::kFileHeaderSize] = {};
        std::size_t got = std::min<std::uint64_t>(m_fileSize, sizeof header);
        if (!readAt(0, header, got))
            badFormat(m_fileName, "cannot read the file header");
        std::string problem = awf::checkFileHeader({header, got});
        if (!problem.empty())
            badFormat(m_fileName, problem);
        readDeclarations(signals);
        if (!readIndex(signals))
            scan(signals);
    } catch (...) {
        ::close(m_fd);
        throw;
    }
}

BlockStore::~BlockStore() {
    if (m_fd >= 0)
        ::close(m_fd);
}

bool BlockStore::readAt(std::uint64_t offset, void* buffer, std::size_t size) const {
    auto* p = static_cast<std::uint8_t*>(buffer);
    while (size > 0) {
        ssize_t n = ::pread(m_fd, p, size, off_t(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        offset += std::uint64_t(n);
        size -= std::size_t(n);
    }
    return true;
}

std::uint64_t BlockStore::currentFileSize() const {
    struct stat st {};
    return ::fstat(m_fd, &st) == 0 ? std::uint64_t(st.st_size) : 0;
}

bool BlockStore::readChunk(std::uint64_t offset, awf::ChunkHeader& header, awf::Bytes& payload) {
    if (offset > m_fileSize || m_fileSize - offset < awf::kChunkHeaderSize)
        return false;
    std::uint8_t bytes[awf::kChunkHeaderSize];
    if (!readAt(offset, bytes, sizeof bytes))
        return false;
    auto decoded = awf::decodeChunkHeader(bytes);
    if (!decoded || decoded->payloadSize > awf::kMaxChunkPayload ||
        decoded->payloadSize > m_fileSize - offset - awf::kChunkHeaderSize)
        return false;
    header = *decoded;
    payload.resize(header.payloadSize);
    return readAt(offset + awf::kChunkHeaderSize, payload.data(), payload.size()) &&
           awf::crc32(payload.data(), payload.size()) == header.payloadCrc;
}

void BlockStore::readDeclarations(SignalTable& signals) {
    awf::ChunkHeader header;
    awf::Bytes payload;
    if (!readChunk(awf::kFileHeaderSize, header, payload)) {
        if (m_fileSize < awf::kFileHeaderSize + awf::kChunkHeaderSize)
            throw KFileException(KFileException::Cause::EndOfFile, m_fileName,
                                 "the file ends before its signal declarations");
        badFormat(m_fileName, "the signal declarations are damaged or incomplete");
    }
    if (header.tag != awf::kTagDeclarations)
        badFormat(m_fileName, "the file does not start with signal declarations");
    awf::Bytes raw;
    std::string error;
    if (!awf::readBlob(payload, raw, error))
        badFormat(m_fileName, "signal declarations: " + error);
    error = signals.applyRecords(raw, SignalTable::Records::All);
    if (!error.empty())
        badFormat(m_fileName, "signal declarations: " + error);
    m_scanOffset = awf::kFileHeaderSize + awf::kChunkHeaderSize + header.payloadSize;
}

bool BlockStore::readIndex(SignalTable& signals) {
    if (m_fileSize < m_scanOffset + awf::kTrailerSize)
        return false;
    std::uint8_t trailer[awf::kTrailerSize];
    if (!readAt(m_fileSize - awf::kTrailerSize, trailer, sizeof trailer) ||
        std::memcmp(trailer + 8, awf::kTrailerMagic, 8) != 0)
        return false;
    awf::ByteReader in({trailer, 8});
    std::uint64_t offset = in.u64();
    awf::ChunkHeader header;
    awf::Bytes payload, raw;
    std::string error;
    if (!readChunk(offset, header, payload) || header.tag != awf::kTagIndex ||
        offset + awf::kChunkHeaderSize + header.payloadSize + awf::kTrailerSize != m_fileSize ||
        !awf::readBlob(payload, raw, error))
        return false;
    FileIndex index;
    if (!decodeIndex(raw, m_fileSize, index).empty() ||
        index.slots.size() != std::size_t(signals.size()))
        return false;
    // Metadata written after the declarations (type strings and the like).
    for (std::uint64_t meta : index.metadataOffsets) {
        if (!readChunk(meta, header, payload) || header.tag != awf::kTagMetadata ||
            !awf::readBlob(payload, raw, error))
            badFormat(m_fileName, "a metadata chunk listed in the index is damaged");
        error = signals.applyRecords(raw, SignalTable::Records::MetadataOnly);
        if (!error.empty())
            badFormat(m_fileName, "metadata: " + error);
    }
    m_index = std::move(index);
    m_complete = true;
    return true;
}

void BlockStore::scan(SignalTable& signals) {
    awf::ChunkHeader header;
    awf::Bytes payload, raw;
    std::string error;
    // Everything up to the first chunk that is incomplete or damaged counts; the rest is what a
    // writer has not finished (or never will).
    while (!m_complete && readChunk(m_scanOffset, header, payload)) {
        if (header.tag == awf::kTagBlock) {
            SimTime previous = m_index.blocks.empty() ? INT64_MIN : m_index.blocks.back().lastTime;
            if (header.lastTime < header.firstTime || header.firstTime < previous ||
                header.directorySize > header.payloadSize) {
                m_complete = true; // damage: nothing after it can be trusted
                return;
            }
            m_index.blocks.push_back(BlockRef{m_scanOffset, header.payloadSize,
                                              header.directorySize, header.firstTime,
                                              header.lastTime, header.eventCount});
        } else if (header.tag == awf::kTagMetadata) {
            if (!awf::readBlob(payload, raw, error) ||
                !signals.applyRecords(raw, SignalTable::Records::MetadataOnly).empty()) {
                m_complete = true; // a checksummed chunk that does not parse is damage
                return;
            }
        } else if (header.tag == awf::kTagIndex) {
            FileIndex index;
            if (awf::readBlob(payload, raw, error) && decodeIndex(raw, m_fileSize, index).empty() &&
                index.slots.size() == std::size_t(signals.size())) {
                m_index.endTime = index.endTime;
                m_index.slots = std::move(index.slots);
            }
            m_complete = true;
        }
        m_scanOffset += awf::kChunkHeaderSize + header.payloadSize;
    }
}

bool BlockStore::refresh(SignalTable& signals) {
    if (m_complete)
        return true;
    std::uint64_t size = currentFileSize();
    if (size < m_fileSize)
        return false;
    m_fileSize = size;
    scan(signals);
    return true;
}

SimTime BlockStore::endTime() const {
    SimTime end = m_index.blocks.empty() ? 0 : m_index.blocks.back().lastTime;
    return m_complete ? std::max(end, m_index.endTime) : end;
}

const SlotSummary* BlockStore::summary(int slot) const {
    if (!m_complete || slot < 0 || std::size_t(slot) >= m_index.slots.size())
        return nullptr;
    return &m_index.slots[std::size_t(slot)];
}

std::size_t BlockStore::firstBlockEndingAtOrAfter(SimTime time) const {
    const auto& b = m_index.blocks;
    return std::size_t(std::partition_point(b.begin(), b.end(),
                                            [&](const BlockRef& r) { return r.lastTime < time; }) -
                       b.begin());
}

std::ptrdiff_t BlockStore::lastBlockStartingAtOrBefore(SimTime time) const {
    const auto& b = m_index.blocks;
    auto it = std::partition_point(b.begin(), b.end(),
                                   [&](const BlockRef& r) { return r.firstTime <= time; });
    return (it - b.begin()) - 1;
}

void BlockStore::damaged(std::size_t block, const std::string& what) const {
    badFormat(m_fileName, "event block " + std::to_string(block) + " at offset " +
                              std::to_string(m_index.blocks[block].offset) + ": " + what);
}

std::unique_ptr<std::uint8_t[]> BlockStore::readStoredAt(std::size_t block, std::uint64_t offset,
                                                         std::uint64_t size) {
    const BlockRef& ref = m_index.blocks[block];
    if (offset > ref.payloadSize || size > ref.payloadSize - offset)
        damaged(block, "a data part lies outside the block");
    // Read straight into an uninitialised buffer: zero-filling it first was a tenth of a cold read.
    auto stored = std::make_unique_for_overwrite<std::uint8_t[]>(std::size_t(size));
    if (!readAt(ref.offset + awf::kChunkHeaderSize + offset, stored.get(), std::size_t(size)))
        damaged(block, "cannot read the block");
    return stored;
}

BlockStore::RawBlob BlockStore::readRawBlobAt(std::size_t block, std::uint64_t offset,
                                              std::uint64_t size) {
    const auto stored = readStoredAt(block, offset, size);
    return rawBlobFrom(block, {stored.get(), std::size_t(size)});
}

BlockStore::RawBlob BlockStore::rawBlobFrom(std::size_t block,
                                            std::span<const std::uint8_t> bytes) const {
    RawBlob raw;
    raw.size = awf::blobRawSize(bytes);
    if (awf::blobSize(bytes) != bytes.size() || raw.size > awf::kMaxBlobRawSize)
        damaged(block, "a data part has a wrong size");
    // Decoded into memory that is not zero-filled first, like the stored bytes.
    raw.bytes = std::make_unique_for_overwrite<std::uint8_t[]>(raw.size);
    std::string error;
    if (!awf::readBlobInto(bytes, {raw.bytes.get(), raw.size}, error))
        damaged(block, error);
    return raw;
}

awf::Bytes BlockStore::blobFrom(std::size_t block, std::span<const std::uint8_t> bytes) const {
    awf::Bytes raw;
    std::string error;
    if (awf::blobSize(bytes) != bytes.size() || !awf::readBlob(bytes, raw, error))
        damaged(block, error.empty() ? "a data part has a wrong size" : error);
    return raw;
}

std::size_t BlockStore::decodedBytes(const SlotEvents& events) {
    return sizeof events + 32 + events.milestone.capacity() + events.values.capacity() +
           events.keys.capacity() * sizeof(std::uint32_t) +
           events.times.capacity() * sizeof(SimTime);
}

std::shared_ptr<BlockStore::LoadedBlock> BlockStore::block(std::size_t index) {
    if (auto found = m_cached.find(index); found != m_cached.end()) {
        m_cache.splice(m_cache.begin(), m_cache, found->second);
        return m_cache.front().second;
    }
    const BlockRef& ref = m_index.blocks[index];
    auto loaded = std::make_shared<LoadedBlock>();
    // The key table follows the directory and is usually small: one read takes both, and the
    // key table's stored bytes wait until a section needs them.
    if (ref.directorySize > ref.payloadSize)
        damaged(index, "the directory lies outside the block");
    const std::size_t ahead =
        std::size_t(std::min<std::uint64_t>(kKeysReadAhead, ref.payloadSize - ref.directorySize));
    const std::size_t size = ref.directorySize + ahead;
    auto stored = std::make_unique_for_overwrite<std::uint8_t[]>(size);
    if (!readAt(ref.offset + awf::kChunkHeaderSize, stored.get(), size))
        damaged(index, "cannot read the block");
    awf::Bytes raw = blobFrom(index, {stored.get(), ref.directorySize});
    std::string error = decodeDirectory(std::move(raw), loaded->directory);
    if (!error.empty())
        damaged(index, error);
    if (loaded->directory.keysOffset == 0 && loaded->directory.keysSize <= ahead)
        loaded->keysStored.assign(stored.get() + ref.directorySize,
                                  stored.get() + ref.directorySize + loaded->directory.keysSize);
    loaded->valueRead.assign(loaded->directory.count, false);
    loaded->groups.resize(loaded->directory.groups.size());
    loaded->groupLoaded.assign(loaded->directory.groups.size(), false);
    m_cache.emplace_front(index, loaded);
    m_cached[index] = m_cache.begin();
    loaded->cached = true;
    grew(*loaded, sizeof(LoadedBlock) + loaded->directory.raw.capacity() +
                      loaded->keysStored.capacity() +
                      loaded->directory.groups.size() * sizeof(BlockDirectory::Group) +
                      loaded->groups.size() * sizeof(RawBlob));
    return loaded;
}

void BlockStore::grew(LoadedBlock& loaded, std::size_t bytes) {
    loaded.bytes += bytes;
    if (!loaded.cached)
        return;
    m_cachedBytes += bytes;
    trim();
}

void BlockStore::setCacheBytes(std::size_t bytes) {
    m_cacheBytes = bytes;
    trim();
}

void BlockStore::trim() {
    while (m_cachedBytes > m_cacheBytes && m_cache.size() > kKeptBlocks) {
        LoadedBlock& oldest = *m_cache.back().second;
        oldest.cached = false;
        m_cachedBytes -= oldest.bytes;
        m_cached.erase(m_cache.back().first);
        m_cache.pop_back();
    }
}

std::span<const std::uint8_t> BlockStore::keysRaw(std::size_t index, LoadedBlock& loaded) {
    if (!loaded.keysRead) {
        const BlockRef& ref = m_index.blocks[index];
        loaded.keysRaw = !loaded.keysStored.empty()
                             ? rawBlobFrom(index, loaded.keysStored)
                             : readRawBlobAt(index, ref.directorySize + loaded.directory.keysOffset,
                                             loaded.directory.keysSize);
        loaded.keysStored = awf::Bytes();
        loaded.keysRead = true;
        grew(loaded, loaded.keysRaw.size);
    }
    return loaded.keysRaw.span();
}

const BlockKeys& BlockStore::keys(std::size_t index, LoadedBlock& loaded) {
    if (!loaded.keys) {
        const BlockRef& ref = m_index.blocks[index];
        auto keys = std::make_shared<BlockKeys>();
        std::string error = decodeKeys(keysRaw(index, loaded), *keys);
        if (!error.empty())
            damaged(index, error);
        if (keys->times.size() > 0 &&
            (keys->times.front() != ref.firstTime || keys->times.back() != ref.lastTime))
            damaged(index, "the key table does not match the block's time range");
        const std::size_t bytes = heldBytes(*keys);
        loaded.keys = std::move(keys);
        grew(loaded, bytes);
    }
    return *loaded.keys;
}

const KeyBound& BlockStore::keyBound(std::size_t index, LoadedBlock& loaded, SimTime time) {
    if (loaded.hasBound && loaded.boundTime == time)
        return loaded.bound;
    KeyBound bound;
    if (loaded.keys) {
        const auto& times = loaded.keys->times;
        bound.count = times.size();
        bound.atOrBefore =
            std::size_t(std::upper_bound(times.begin(), times.end(), time) - times.begin());
    } else {
        std::string error = keysAtOrBefore(keysRaw(index, loaded), time, bound);
        if (!error.empty())
            damaged(index, error);
        if (bound.count > 0 && bound.firstTime != m_index.blocks[index].firstTime)
            damaged(index, "the key table does not match the block's time range");
    }
    loaded.bound = bound;
    loaded.boundTime = time;
    loaded.hasBound = true;
    return loaded.bound;
}

std::span<const std::uint8_t> BlockStore::sectionBytes(std::size_t index, LoadedBlock& loaded,
                                                       const DirectoryEntry& entry, RawBlob& own) {
    const BlockRef& ref = m_index.blocks[index];
    if (entry.ownBlob) {
        own = readRawBlobAt(index, ref.directorySize + entry.offset, entry.size);
        return own.span();
    }
    const auto& where = loaded.directory.groups[entry.group];
    RawBlob& group = loaded.groups[entry.group];
    if (!loaded.groupLoaded[entry.group]) {
        group = readRawBlobAt(index, ref.directorySize + where.offset, where.size);
        loaded.groupLoaded[entry.group] = true;
        grew(loaded, group.size);
    }
    if (entry.offset > group.size || entry.size > group.size - entry.offset)
        damaged(index, "a signal section lies outside the block");
    return group.span().subspan(entry.offset, entry.size);
}

std::shared_ptr<const SlotEvents> BlockStore::section(std::size_t index, int slot) {
    std::shared_ptr<LoadedBlock> loaded = block(index);
    std::ptrdiff_t found = loaded->directory.indexOf(slot);
    if (found < 0)
        return nullptr;
    return section(index, *loaded, std::size_t(found));
}

std::shared_ptr<const SlotEvents> BlockStore::section(std::size_t index, LoadedBlock& loaded,
                                                      std::size_t position) {
    if (loaded.sections.empty()) {
        loaded.sections.resize(loaded.directory.count);
        grew(loaded, loaded.sections.size() * sizeof(loaded.sections[0]));
    }
    if (loaded.sections[position])
        return loaded.sections[position];
    DirectoryEntry entry = loaded.directory.entry(position);
    const BlockKeys& blockKeys = keys(index, loaded);
    RawBlob own;
    std::span<const std::uint8_t> raw = sectionBytes(index, loaded, entry, own);
    auto events = std::make_shared<SlotEvents>();
    std::string error = decodeSection(raw, entry, blockKeys, *events);
    if (!error.empty())
        damaged(index, error);
    loaded.sections[position] = events;
    grew(loaded, decodedBytes(*events));
    return events;
}

bool BlockStore::valueAt(std::size_t index, int slot, SimTime time, awf::Bytes& value) {
    std::shared_ptr<LoadedBlock> loaded = block(index);
    std::ptrdiff_t found = loaded->directory.indexOf(slot, loaded->nextPosition);
    if (found < 0)
        return false;
    auto position = std::size_t(found);
    loaded->nextPosition = position + 1;
    const bool decoded = !loaded->sections.empty() && loaded->sections[position];
    if (!decoded && loaded->valueRead[position])
        section(index, *loaded, position);
    loaded->valueRead[position] = true;
    if (!loaded->sections.empty() && loaded->sections[position]) {
        const auto& events = loaded->sections[position];
        auto it = std::upper_bound(events->times.begin(), events->times.end(), time);
        const std::uint8_t* v = it != events->times.begin()
                                    ? events->value(std::size_t(it - events->times.begin()) - 1)
                                : events->hasMilestone ? events->milestone.data()
                                                       : nullptr;
        if (v != nullptr)
            value.assign(v, v + events->valueSize);
        return v != nullptr;
    }
    DirectoryEntry entry = loaded->directory.entry(position);
    const KeyBound& bound = keyBound(index, *loaded, time);
    RawBlob own;
    std::span<const std::uint8_t> raw = sectionBytes(index, *loaded, entry, own);
    bool has = false;
    std::string error = sectionValueAt(raw, entry, bound, value, has);
    if (!error.empty())
        damaged(index, error);
    return has;
}

} // namespace evstream
