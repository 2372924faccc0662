#include "storage/vcd/KVcdScanner.h"

#include "storage/KFileException.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

namespace {

// No VCD token comes near this (the widest value is 1 Mi digits); a file that does is not text.
constexpr std::size_t kMaxToken = 64u << 20;

bool hasGzipMagic(int fd) {
    unsigned char magic[2] = {0, 0};
    ssize_t got = ::pread(fd, magic, 2, 0);
    return got == 2 && magic[0] == 0x1f && magic[1] == 0x8b;
}

} // namespace

KVcdScanner::KVcdScanner(std::string fileName, std::size_t chunkSize)
    : m_fileName(std::move(fileName)), m_chunkSize(chunkSize < 64 ? 64 : chunkSize) {
    m_fd = ::open(m_fileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (m_fd < 0) {
        int error = errno;
        auto cause = error == ENOENT   ? KFileException::Cause::FileNotFound
                     : error == EACCES ? KFileException::Cause::AccessDenied
                                       : KFileException::Cause::Generic;
        throw KFileException(cause, m_fileName, std::string("cannot open: ") + std::strerror(error),
                             error);
    }
    struct stat info {};
    if (::fstat(m_fd, &info) == 0) {
        if (S_ISDIR(info.st_mode)) {
            ::close(m_fd);
            throw KFileException(KFileException::Cause::BadFormat, m_fileName,
                                 "is a directory, not a VCD file");
        }
        m_fileSize = static_cast<std::uint64_t>(info.st_size);
        m_regularFile = S_ISREG(info.st_mode);
    }
    if (hasGzipMagic(m_fd)) {
        int gzFd = ::dup(m_fd);
        m_gz = gzdopen(gzFd, "rb");
        if (m_gz == nullptr) {
            ::close(gzFd);
            ::close(m_fd);
            throw KFileException(KFileException::Cause::Generic, m_fileName,
                                 "cannot start decompression");
        }
        gzbuffer(static_cast<gzFile>(m_gz), 1u << 18);
    } else {
        ::posix_fadvise(m_fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    }
    allocate(m_chunkSize * 2);
}

KVcdScanner::KVcdScanner(std::string name, std::string_view contents, std::size_t chunkSize)
    : m_fileName(std::move(name)), m_memory(contents), m_inMemory(true),
      m_fileSize(contents.size()), m_chunkSize(chunkSize < 64 ? 64 : chunkSize) {
    allocate(m_chunkSize * 2);
}

void KVcdScanner::allocate(std::size_t size) {
    m_buffer.assign(size + kSlack, 0);
    m_pos = m_end = m_linesEnd = m_base = m_buffer.data();
}

void KVcdScanner::startReadAhead() {
    if (m_ahead || m_refills != 0 || !(m_inMemory || m_regularFile))
        return;
    // The unread end of a chunk, nearly always part of one line, is copied into the gap before
    // the next; a longer word is joined in a buffer of its own.
    // Three chunks of half the size take less memory than the scanner's own buffer of two.
    std::size_t chunk = std::max<std::size_t>(m_chunkSize / 2, 64);
    std::size_t gap = std::min<std::size_t>(chunk / 4, 64u << 10);
    std::vector<char>(kSlack, 0).swap(m_buffer); // the chunks hold the data from now on
    m_pos = m_end = m_linesEnd = m_base = m_buffer.data();
    m_ahead = std::make_unique<KVcdReadAhead>(
        [this](char* into, std::size_t capacity) { return readSome(into, capacity); },
        [this] { return readOffset(); }, chunk, gap, kSlack);
}

KVcdScanner::~KVcdScanner() {
    m_ahead.reset(); // before the file it reads is closed
    if (m_gz != nullptr)
        gzclose(static_cast<gzFile>(m_gz));
    if (m_fd >= 0)
        ::close(m_fd);
}

std::uint64_t KVcdScanner::fileOffset() const {
    return m_ahead ? m_aheadOffset : readOffset();
}

std::uint64_t KVcdScanner::readOffset() const {
    if (m_inMemory)
        return m_fileSize - m_memory.size();
    if (m_gz != nullptr) {
        z_off_t offset = gzoffset(static_cast<gzFile>(m_gz));
        return offset < 0 ? 0 : static_cast<std::uint64_t>(offset);
    }
    off_t offset = ::lseek(m_fd, 0, SEEK_CUR);
    return offset < 0 ? 0 : static_cast<std::uint64_t>(offset);
}

std::size_t KVcdScanner::readSome(char* into, std::size_t capacity) {
    if (m_inMemory) {
        std::size_t size = std::min(capacity, m_memory.size());
        if (size != 0) // an empty text may have no storage at all
            std::memcpy(into, m_memory.data(), size);
        m_memory.remove_prefix(size);
        return size;
    }
    for (;;) {
        if (m_gz != nullptr) {
            unsigned chunk = capacity > (1u << 30) ? (1u << 30) : static_cast<unsigned>(capacity);
            int got = gzread(static_cast<gzFile>(m_gz), into, chunk);
            if (got >= 0)
                return static_cast<std::size_t>(got);
            int code = 0;
            const char* message = gzerror(static_cast<gzFile>(m_gz), &code);
            // A compressed file cut short reads as a short file: keep what was decoded.
            if (code == Z_BUF_ERROR)
                return 0;
            throw KFileException(KFileException::Cause::BadFormat, m_fileName,
                                 std::string("damaged gzip data: ") + message);
        }
        ssize_t got = ::read(m_fd, into, capacity);
        if (got >= 0)
            return static_cast<std::size_t>(got);
        if (errno == EINTR)
            continue;
        throw KFileException(KFileException::Cause::Generic, m_fileName,
                             std::string("read failed: ") + std::strerror(errno), errno);
    }
}

void KVcdScanner::failLongWord() const {
    throw KFileException(KFileException::Cause::BadFormat, m_fileName,
                         "line " + std::to_string(m_line) +
                             ": a word of more than 64 MiB without a blank; expected VCD text");
}

void KVcdScanner::refillAhead() {
    const char* keep =
        m_previous != nullptr ? m_previous : (m_current != nullptr ? m_current : m_pos);
    auto kept = static_cast<std::size_t>(m_end - keep);
    if (kept >= kMaxToken)
        failLongWord();
    KVcdReadAhead::Chunk chunk = m_ahead->take();
    ++m_refills;
    if (chunk.size == 0) {
        m_eof = true;
        return;
    }
    m_aheadOffset = chunk.offset;
    char* base = nullptr;
    if (kept <= m_ahead->gap()) {
        base = chunk.data - kept;
        if (kept > 0)
            std::memcpy(base, keep, kept);
    } else {
        std::vector<char> joined(kept + chunk.size + kSlack);
        std::memcpy(joined.data(), keep, kept);
        std::memcpy(joined.data() + kept, chunk.data, chunk.size);
        base = joined.data();
        m_buffer.swap(joined); // keeps its storage: `base` stays valid
    }
    auto rebase = [&](const char*& p) {
        if (p != nullptr)
            p = base + (p - keep);
    };
    rebase(m_pos);
    rebase(m_current);
    rebase(m_previous);
    m_end = base + kept + chunk.size;
    std::memset(base + kept + chunk.size, 0, kSlack);
    m_base = base;
    const void* lastBreak = ::memrchr(base, '\n', static_cast<std::size_t>(m_end - base));
    m_linesEnd = lastBreak != nullptr ? static_cast<const char*>(lastBreak) + 1 : base;
    // The data have left the previous chunk (and the new one, when joined).
    m_ahead->give(m_held);
    m_held = chunk;
    if (base != chunk.data - kept) {
        m_ahead->give(chunk);
        m_held = {};
    }
}

void KVcdScanner::refill() {
    if (m_eof)
        return;
    if (m_ahead) {
        refillAhead();
        return;
    }
    char* base = m_buffer.data();
    const char* keep =
        m_previous != nullptr ? m_previous : (m_current != nullptr ? m_current : m_pos);
    std::size_t kept = static_cast<std::size_t>(m_end - keep);
    std::size_t shift = static_cast<std::size_t>(keep - base);
    if (shift > 0 && kept > 0)
        std::memmove(base, keep, kept);
    auto rebase = [&](const char*& p) {
        if (p != nullptr)
            p -= shift;
    };
    rebase(m_pos);
    rebase(m_current);
    rebase(m_previous);
    m_end = base + kept;
    if (kept >= kMaxToken)
        failLongWord();
    if (m_buffer.size() - kSlack - kept < m_chunkSize) {
        // A token longer than a chunk: grow instead of failing.
        std::size_t pos = static_cast<std::size_t>(m_pos - base);
        std::size_t current = m_current ? static_cast<std::size_t>(m_current - base) : 0;
        std::size_t previous = m_previous ? static_cast<std::size_t>(m_previous - base) : 0;
        m_buffer.resize(kept + m_chunkSize * 2 + kSlack);
        base = m_buffer.data();
        m_pos = base + pos;
        m_current = m_current ? base + current : nullptr;
        m_previous = m_previous ? base + previous : nullptr;
        m_end = base + kept;
    }
    std::size_t got = readSome(base + kept, m_buffer.size() - kSlack - kept);
    if (got == 0)
        m_eof = true;
    m_end = base + kept + got;
    std::memset(base + kept + got, 0, kSlack);
    m_base = base;
    ++m_refills;
    const void* lastBreak = ::memrchr(base, '\n', static_cast<std::size_t>(m_end - base));
    m_linesEnd = lastBreak != nullptr ? static_cast<const char*>(lastBreak) + 1 : base;
}

bool KVcdScanner::isOnUnterminatedLastLine(std::string_view token) const {
    if (!m_eof || m_pos != m_end || token.data() == nullptr)
        return false;
    const char* from = token.data();
    if (from < m_base || from > m_end)
        return false;
    if (m_end > m_base && isSpace(m_end[-1]))
        return false;
    return std::memchr(from, '\n', static_cast<std::size_t>(m_end - from)) == nullptr;
}

void KVcdScanner::fail(std::string_view what) const {
    throw KFileException(KFileException::Cause::BadFormat, m_fileName,
                         "line " + std::to_string(m_tokenLine) + ": " + std::string(what));
}

std::string KVcdScanner::quoted(std::string_view text) {
    constexpr std::size_t kMaxShown = 40;
    bool cut = text.size() > kMaxShown;
    std::string out;
    out += '\'';
    out += text.substr(0, kMaxShown);
    out += cut ? "...'" : "'";
    return out;
}
