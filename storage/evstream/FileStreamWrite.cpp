#include "storage/evstream/FileStreamWrite.h"

#include "storage/KFileException.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace evstream {

namespace {

// Handles below this (and below a few times the signal count) resolve through a flat table.
constexpr std::size_t kFastHandleLimit = 1u << 24;

} // namespace

FileStreamWrite::FileStreamWrite(std::string fileName) : m_fileName(std::move(fileName)) {
    m_fd = ::open(m_fileName.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (m_fd < 0) {
        int error = errno;
        auto cause = error == ENOENT   ? KFileException::Cause::FileNotFound
                     : error == EACCES ? KFileException::Cause::AccessDenied
                                       : KFileException::Cause::Generic;
        throw KFileException(cause, m_fileName, "cannot create the waveform database", error);
    }
    awf::Bytes header(awf::kFileHeaderSize);
    awf::encodeFileHeader(header.data());
    if (!writeChunk(header)) {
        ::close(m_fd);
        throw KFileException(KFileException::Cause::DiskFull, m_fileName,
                             "cannot write the waveform database header");
    }
}

FileStreamWrite::~FileStreamWrite() {
    m_worker.reset(); // before the file it writes to is closed
    if (m_fd >= 0)
        ::close(m_fd);
}

bool FileStreamWrite::Release() {
    if (--m_refs > 0)
        return true;
    bool ok = close();
    delete this;
    return ok;
}

bool FileStreamWrite::BeginDeclarations() {
    if (m_phase == Phase::Created)
        m_phase = Phase::Declaring;
    return m_phase == Phase::Declaring;
}

bool FileStreamWrite::EndDeclarations() {
    if (m_phase != Phase::Created && m_phase != Phase::Declaring)
        return false;
    if (!writeRecordsChunk(awf::kTagDeclarations))
        return false;
    m_block.setSlotCount(m_signals.size());
    std::size_t fast = 0;
    for (int i = 0; i < m_signals.size(); ++i) {
        SignalHandle h = m_signals.at(i).handle;
        if (h >= 0 && std::size_t(h) < kFastHandleLimit &&
            std::size_t(h) < 4 * std::size_t(m_signals.size()) + 1024)
            fast = std::max(fast, std::size_t(h) + 1);
    }
    m_fastSlots.assign(fast, -1);
    for (SignalHandle h = 0; std::size_t(h) < fast; ++h)
        m_fastSlots[std::size_t(h)] = slowSlotOf(h);
    m_phase = Phase::Events;
    return true;
}

int FileStreamWrite::slowSlotOf(SignalHandle handle) const {
    const SignalEntry* entry = m_signals.find(handle);
    // A signal that shares another's events never has events written for it.
    if (entry == nullptr || entry->info.sameEventsAs != kNoSignal)
        return -1;
    return entry->slot;
}

bool FileStreamWrite::declare(SignalHandle handle, const SignalInfo& info, bool composite) {
    if (m_phase != Phase::Declaring && m_phase != Phase::Created)
        return false;
    m_phase = Phase::Declaring;
    if (!m_signals.declare(handle, info, composite).empty())
        return false;
    awf::ByteWriter out(m_records);
    SignalTable::encodeDeclaration(out, handle, info, composite);
    return true;
}

bool FileStreamWrite::DeclareScalar(SignalHandle handle, const SignalInfo& info) {
    return declare(handle, info, false);
}

bool FileStreamWrite::DeclareComposite(SignalHandle handle, const SignalInfo& info) {
    return declare(handle, info, true);
}

bool FileStreamWrite::AddAnnotation(SignalHandle handle, SimTime time, std::string_view key,
                                    std::string_view text) {
    if (m_phase == Phase::Closed || !m_signals.addAnnotation(handle, time, key, text).empty())
        return false;
    awf::ByteWriter out(m_records);
    SignalTable::encodeAnnotation(out, handle, time, key, text);
    return true;
}

bool FileStreamWrite::SetProperty(SignalHandle handle, std::string_view key,
                                  std::string_view value) {
    if (m_phase == Phase::Closed || !m_signals.setProperty(handle, key, value).empty())
        return false;
    awf::ByteWriter out(m_records);
    SignalTable::encodeProperty(out, handle, key, value);
    return true;
}

bool FileStreamWrite::SetTypeInfoString(SignalHandle handle, std::string_view typeInfo) {
    if (m_phase == Phase::Closed || !m_signals.setTypeInfo(handle, typeInfo).empty())
        return false;
    awf::ByteWriter out(m_records);
    SignalTable::encodeTypeInfo(out, handle, typeInfo);
    return true;
}

bool FileStreamWrite::SetTime(const SimTime& time) {
    if (m_phase == Phase::Closed || time < m_lastKey.time)
        return false;
    m_time = time;
    m_delta = 0;
    m_maxTime = std::max(m_maxTime, time);
    return true;
}

bool FileStreamWrite::SetDelta(DeltaCycle delta) {
    if (m_phase == Phase::Closed)
        return false;
    m_delta = delta;
    return true;
}

bool FileStreamWrite::WriteValue(SignalHandle handle, const void* value, std::uint32_t size) {
    // Most events: every check of writeValueChecked() holds, and the event goes straight into
    // the block with no call but the last (a call in between would cost this path the saving
    // and restoring of registers).
    const int slot = usualSlot(handle, size);
    if (slot >= 0 && value != nullptr) {
        m_block.addAtKey(slot, static_cast<const std::uint8_t*>(value), size);
        if (!m_block.isFull())
            return true;
        return writeBlock();
    }
    return writeValueChecked(handle, value, size);
}

bool FileStreamWrite::writeValueChecked(SignalHandle handle, const void* value,
                                        std::uint32_t size) {
    const int slot = slotOf(handle);
    EventKey key{m_time, m_delta};
    if (m_failed.load(std::memory_order_relaxed) || slot < 0 || m_phase != Phase::Events ||
        key < m_lastKey || value == nullptr || size == 0)
        return false;
    if (m_block.valueSize(slot) != size) {
        // A signal's value size is fixed by its first value.
        if (m_block.valueSize(slot) != 0 || size > awf::kMaxValueSize)
            return false;
        m_block.setValueSize(slot, size);
    }
    if (!m_records.empty() && !writeRecordsChunk(awf::kTagMetadata))
        return false;
    m_block.add(slot, key, static_cast<const std::uint8_t*>(value));
    m_lastKey = key;
    if (m_block.isFull())
        return writeBlock();
    return true;
}

bool FileStreamWrite::flush() {
    if (m_phase != Phase::Events)
        return m_phase != Phase::Closed && !m_failed;
    if (!m_records.empty() && !writeRecordsChunk(awf::kTagMetadata))
        return false;
    // Readers see the block on return: wait for the worker to have written it.
    return (m_block.isEmpty() || writeBlock()) && drainWorker();
}

bool FileStreamWrite::setWriterThread(bool on) {
    if (m_phase == Phase::Closed || !drainWorker())
        return false;
    if (!on)
        m_worker.reset();
    else if (!m_worker)
        m_worker = std::make_unique<BlockWriterThread>([this](const BlockContent& content) {
            // The encoder is only used here while the worker runs: the caller drains first.
            m_block.encoder().encode(content, m_workerChunk);
            return writeBlockChunk(m_workerChunk);
        });
    return true;
}

bool FileStreamWrite::drainWorker() {
    if (m_worker && !m_worker->drain())
        m_failed = true;
    return !m_failed;
}

bool FileStreamWrite::writeRecordsChunk(std::uint32_t tag) {
    if (!drainWorker())
        return false;
    awf::Bytes payload;
    awf::appendBlob(payload, m_records, 3);
    awf::ChunkHeader header;
    header.tag = tag;
    header.payloadSize = payload.size();
    header.payloadCrc = awf::crc32(payload.data(), payload.size());
    m_chunk.resize(awf::kChunkHeaderSize);
    awf::encodeChunkHeader(header, m_chunk.data());
    m_chunk.insert(m_chunk.end(), payload.begin(), payload.end());
    std::uint64_t offset = m_fileSize;
    if (!writeChunk(m_chunk))
        return false;
    if (tag == awf::kTagMetadata)
        m_index.metadataOffsets.push_back(offset);
    m_records.clear();
    return true;
}

bool FileStreamWrite::writeBlock() {
    if (m_worker) {
        if (m_worker->submit(m_block))
            return true;
        m_failed = true;
        return false;
    }
    m_block.finish(m_chunk);
    return writeBlockChunk(m_chunk);
}

bool FileStreamWrite::writeBlockChunk(const awf::Bytes& chunk) {
    auto header = awf::decodeChunkHeader(chunk.data());
    BlockRef ref;
    ref.offset = m_fileSize;
    ref.payloadSize = header->payloadSize;
    ref.directorySize = header->directorySize;
    ref.firstTime = header->firstTime;
    ref.lastTime = header->lastTime;
    ref.eventCount = header->eventCount;
    if (!writeChunk(chunk))
        return false;
    m_index.blocks.push_back(ref);
    return true;
}

bool FileStreamWrite::writeChunk(const awf::Bytes& chunk) {
    if (m_failed)
        return false;
    const std::uint8_t* p = chunk.data();
    std::size_t left = chunk.size();
    while (left > 0) {
        ssize_t n = ::write(m_fd, p, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            m_failed = true;
            return false;
        }
        p += n;
        left -= std::size_t(n);
    }
    m_fileSize += chunk.size();
    return true;
}

bool FileStreamWrite::close() {
    if (m_phase == Phase::Closed)
        return !m_failed;
    bool ok = true;
    if (m_phase != Phase::Events)
        ok = EndDeclarations();
    ok = ok && flush();
    m_worker.reset();
    if (ok) {
        m_index.endTime = std::max(m_maxTime, m_lastKey.time);
        m_index.slots.resize(std::size_t(m_signals.size()));
        for (int i = 0; i < m_signals.size(); ++i) {
            m_index.slots[std::size_t(i)].totalEvents = m_block.totalEvents(i);
            m_index.slots[std::size_t(i)].lastEventTime = m_block.lastEventTime(i);
        }
        awf::Bytes raw;
        encodeIndex(m_index, raw);
        awf::Bytes payload;
        awf::appendBlob(payload, raw, 3);
        awf::ChunkHeader header;
        header.tag = awf::kTagIndex;
        header.payloadSize = payload.size();
        header.payloadCrc = awf::crc32(payload.data(), payload.size());
        std::uint64_t indexOffset = m_fileSize;
        m_chunk.resize(awf::kChunkHeaderSize);
        awf::encodeChunkHeader(header, m_chunk.data());
        m_chunk.insert(m_chunk.end(), payload.begin(), payload.end());
        awf::ByteWriter trailer(m_chunk);
        trailer.u64(indexOffset);
        trailer.bytes(awf::kTrailerMagic, sizeof awf::kTrailerMagic);
        ok = writeChunk(m_chunk);
    }
    m_phase = Phase::Closed;
    if (::close(m_fd) != 0)
        ok = false;
    m_fd = -1;
    return ok && !m_failed;
}

} // namespace evstream
