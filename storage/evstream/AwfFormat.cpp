#include "storage/evstream/AwfFormat.h"

#include "storage/KCpuFeatures.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#define ZSTD_STATIC_LINKING_ONLY // for the literal compression mode
#include <zstd.h>

namespace evstream::awf {

namespace {

void putU32(std::uint8_t* out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        out[i] = std::uint8_t(value >> (8 * i));
}

void putU64(std::uint8_t* out, std::uint64_t value) {
    for (int i = 0; i < 8; ++i)
        out[i] = std::uint8_t(value >> (8 * i));
}

std::uint32_t getU32(const std::uint8_t* in) {
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i)
        value |= std::uint32_t(in[i]) << (8 * i);
    return value;
}

std::uint64_t getU64(const std::uint8_t* in) {
    std::uint64_t value = 0;
    for (int i = 0; i < 8; ++i)
        value |= std::uint64_t(in[i]) << (8 * i);
    return value;
}

// Slicing-by-8 tables of the reflected CRC-32C (Castagnoli) polynomial.
struct CrcTables {
    std::array<std::array<std::uint32_t, 256>, 8> t{};
    CrcTables() {
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? (c >> 1) ^ 0x82F63B78u : c >> 1;
            t[0][i] = c;
        }
        for (std::uint32_t i = 0; i < 256; ++i)
            for (int s = 1; s < 8; ++s)
                t[s][i] = (t[s - 1][i] >> 8) ^ t[0][t[s - 1][i] & 0xFF];
    }
};

const CrcTables& crcTables() {
    static const CrcTables tables;
    return tables;
}

struct CompressContext {
    std::unique_ptr<ZSTD_CCtx, decltype(&ZSTD_freeCCtx)> c{ZSTD_createCCtx(), ZSTD_freeCCtx};
    std::unique_ptr<ZSTD_DCtx, decltype(&ZSTD_freeDCtx)> d{ZSTD_createDCtx(), ZSTD_freeDCtx};
    // Compressed output before it is appended: growing the caller's vector by the bound would
    // zero-fill it first.
    std::unique_ptr<std::uint8_t[]> scratch;
    std::size_t scratchSize = 0;
};

std::size_t compress(ZSTD_CCtx* c, std::uint8_t* to, std::size_t capacity,
                     std::span<const std::uint8_t> raw, int level) {
    if (level != kFastLevel)
        return ZSTD_compressCCtx(c, to, capacity, raw.data(), raw.size(), level);
    ZSTD_CCtx_reset(c, ZSTD_reset_parameters);
    ZSTD_CCtx_setParameter(c, ZSTD_c_compressionLevel, 1);
    // Skips ahead faster where nothing matches; with it zstd would also stop coding literals
    // unless told otherwise, and literals are most of a bit-packed section.
    ZSTD_CCtx_setParameter(c, ZSTD_c_targetLength, 4);
    ZSTD_CCtx_setParameter(c, ZSTD_c_literalCompressionMode, ZSTD_ps_enable);
    return ZSTD_compress2(c, to, capacity, raw.data(), raw.size());
}

CompressContext& context() {
    // Streams are used from one thread at a time, but different streams may live on different
    // threads: one context per thread avoids both locks and per-call allocation.
    thread_local CompressContext ctx;
    return ctx;
}

} // namespace

namespace {

std::uint32_t crc32Portable(const std::uint8_t* p, std::size_t size, std::uint32_t crc) {
    const auto& t = crcTables().t;
    while (size >= 8) {
        std::uint32_t lo = crc ^ getU32(p);
        std::uint32_t hi = getU32(p + 4);
        crc = t[7][lo & 0xFF] ^ t[6][(lo >> 8) & 0xFF] ^ t[5][(lo >> 16) & 0xFF] ^ t[4][lo >> 24] ^
              t[3][hi & 0xFF] ^ t[2][(hi >> 8) & 0xFF] ^ t[1][(hi >> 16) & 0xFF] ^ t[0][hi >> 24];
        p += 8;
        size -= 8;
    }
    while (size-- > 0)
        crc = t[0][(crc ^ *p++) & 0xFF] ^ (crc >> 8);
    return crc;
}

#if defined(__x86_64__)
// The SSE 4.2 instruction computes the same CRC-32C about ten times faster than the tables;
// checksums are verified on every block read, so it matters for cold reads. The instruction takes
// three cycles and can start one a cycle, so longer inputs are taken as three streams at once and
// joined: a CRC register followed by n bytes is the register run over n zero bytes (a
// multiplication, by tables) XOR the CRC of those bytes from zero.
constexpr std::size_t kCrcStride = 256; // bytes of each stream per round

__attribute__((target("sse4.2"))) std::uint32_t crcOverZeros(std::uint32_t crc, std::size_t n) {
    std::uint64_t c = crc;
    for (std::size_t i = 0; i < n; i += 8)
        c = __builtin_ia32_crc32di(c, 0);
    return std::uint32_t(c);
}

struct CrcStrideTables {
    std::array<std::array<std::uint32_t, 256>, 4> t{};
    CrcStrideTables() {
        for (unsigned k = 0; k < 4; ++k)
            for (std::uint32_t b = 0; b < 256; ++b)
                t[k][b] = crcOverZeros(b << (8 * k), kCrcStride);
    }
    // The register `c` run over kCrcStride zero bytes.
    std::uint32_t skip(std::uint32_t c) const {
        return t[0][c & 0xFF] ^ t[1][(c >> 8) & 0xFF] ^ t[2][(c >> 16) & 0xFF] ^ t[3][c >> 24];
    }
};

__attribute__((target("sse4.2"))) std::uint32_t crc32Hardware(const std::uint8_t* p,
                                                              std::size_t size, std::uint32_t crc) {
    std::uint64_t c = crc;
    if (size >= 3 * kCrcStride) {
        static const CrcStrideTables stride;
        do {
            std::uint64_t c1 = 0, c2 = 0;
            for (std::size_t i = 0; i < kCrcStride; i += 8) {
                std::uint64_t w0, w1, w2;
                std::memcpy(&w0, p + i, 8);
                std::memcpy(&w1, p + kCrcStride + i, 8);
                std::memcpy(&w2, p + 2 * kCrcStride + i, 8);
                c = __builtin_ia32_crc32di(c, w0);
                c1 = __builtin_ia32_crc32di(c1, w1);
                c2 = __builtin_ia32_crc32di(c2, w2);
            }
            c = stride.skip(stride.skip(std::uint32_t(c)) ^ std::uint32_t(c1)) ^ std::uint32_t(c2);
            p += 3 * kCrcStride;
            size -= 3 * kCrcStride;
        } while (size >= 3 * kCrcStride);
    }
    while (size >= 8) {
        std::uint64_t w;
        std::memcpy(&w, p, 8);
        c = __builtin_ia32_crc32di(c, w);
        p += 8;
        size -= 8;
    }
    auto c32 = std::uint32_t(c);
    while (size-- > 0)
        c32 = __builtin_ia32_crc32qi(c32, *p++);
    return c32;
}
#endif

} // namespace

std::uint32_t crc32(const void* data, std::size_t size, std::uint32_t crc) {
    const auto* p = static_cast<const std::uint8_t*>(data);
#if defined(__x86_64__)
    if (KCpuFeatures::sse42())
        return ~crc32Hardware(p, size, ~crc);
#endif
    return ~crc32Portable(p, size, ~crc);
}

void encodeChunkHeader(const ChunkHeader& h, std::uint8_t* out) {
    putU32(out, h.tag);
    putU32(out + 4, h.directorySize);
    putU64(out + 8, h.payloadSize);
    putU64(out + 16, std::uint64_t(h.firstTime));
    putU64(out + 24, std::uint64_t(h.lastTime));
    putU64(out + 32, h.eventCount);
    putU32(out + 40, h.payloadCrc);
    putU32(out + 44, crc32(out, 44));
}

std::optional<ChunkHeader> decodeChunkHeader(const std::uint8_t* in) {
    if (getU32(in + 44) != crc32(in, 44))
        return std::nullopt;
    ChunkHeader h;
    h.tag = getU32(in);
    h.directorySize = getU32(in + 4);
    h.payloadSize = getU64(in + 8);
    h.firstTime = SimTime(getU64(in + 16));
    h.lastTime = SimTime(getU64(in + 24));
    h.eventCount = getU64(in + 32);
    h.payloadCrc = getU32(in + 40);
    return h;
}

void encodeFileHeader(std::uint8_t* out) {
    std::memcpy(out, kFileMagic, 8);
    out[8] = std::uint8_t(kVersionMajor);
    out[9] = std::uint8_t(kVersionMajor >> 8);
    out[10] = std::uint8_t(kVersionMinor);
    out[11] = std::uint8_t(kVersionMinor >> 8);
    putU32(out + 12, 0);
}

std::string checkFileHeader(std::span<const std::uint8_t> header) {
    if (header.size() < kFileHeaderSize)
        return "too short to be a waveform database (" + std::to_string(header.size()) + " bytes)";
    if (std::memcmp(header.data(), kFileMagic, 8) != 0)
        return "not a waveform database (unknown file signature)";
    unsigned major = header[8] | unsigned(header[9]) << 8;
    if (major < kVersionMajor)
        return "waveform database format version " + std::to_string(major) +
               ", which this program no longer reads (it reads version " +
               std::to_string(kVersionMajor) + "): convert the source again";
    if (major != kVersionMajor)
        return "waveform database format version " + std::to_string(major) +
               " is not supported (this program reads version " + std::to_string(kVersionMajor) +
               ")";
    return {};
}

void ByteWriter::u32(std::uint32_t value) {
    std::uint8_t b[4];
    putU32(b, value);
    m_out.insert(m_out.end(), b, b + 4);
}

void ByteWriter::u64(std::uint64_t value) {
    std::uint8_t b[8];
    putU64(b, value);
    m_out.insert(m_out.end(), b, b + 8);
}

void ByteWriter::varint(std::uint64_t value) {
    appendVarint(m_out, value);
}

void ByteWriter::string(std::string_view text) {
    varint(text.size());
    bytes(text.data(), text.size());
}

void ByteWriter::bytes(const void* data, std::size_t size) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    m_out.insert(m_out.end(), p, p + size);
}

std::uint8_t ByteReader::u8() {
    if (m_failed || remaining() < 1) {
        m_failed = true;
        return 0;
    }
    return m_bytes[m_position++];
}

std::uint32_t ByteReader::u32() {
    if (m_failed || remaining() < 4) {
        m_failed = true;
        return 0;
    }
    std::uint32_t value = getU32(m_bytes.data() + m_position);
    m_position += 4;
    return value;
}

std::uint64_t ByteReader::u64() {
    if (m_failed || remaining() < 8) {
        m_failed = true;
        return 0;
    }
    std::uint64_t value = getU64(m_bytes.data() + m_position);
    m_position += 8;
    return value;
}

std::uint64_t ByteReader::varintSlow() {
    if (m_failed) {
        return 0;
    }
    std::uint64_t value = 0;
    std::size_t end = std::min(m_bytes.size(), m_position + 10);
    for (std::size_t p = m_position, shift = 0; p < end; ++p, shift += 7) {
        std::uint8_t byte = m_bytes[p];
        value |= std::uint64_t(byte & 0x7F) << shift;
        if ((byte & 0x80) == 0) {
            m_position = p + 1;
            return value;
        }
    }
    m_failed = true; // cut short, or longer than 64 bits
    return 0;
}

std::string ByteReader::string() {
    std::uint64_t size = count();
    auto view = bytes(size);
    return std::string(reinterpret_cast<const char*>(view.data()), view.size());
}

std::span<const std::uint8_t> ByteReader::bytes(std::size_t size) {
    if (m_failed || remaining() < size) {
        m_failed = true;
        return {};
    }
    auto view = m_bytes.subspan(m_position, size);
    m_position += size;
    return view;
}

std::uint64_t ByteReader::count(std::size_t minItemSize) {
    std::uint64_t n = varint();
    if (minItemSize > 0 && n > remaining() / minItemSize) {
        m_failed = true;
        return 0;
    }
    return n;
}

void appendBlob(Bytes& out, std::span<const std::uint8_t> raw, int level) {
    std::size_t start = out.size();
    out.resize(start + kBlobHeaderSize);
    std::uint8_t codec = 0;
    std::size_t stored = raw.size();
    const std::uint8_t* bytes = raw.data();
    if (raw.size() >= 64 && level != kStoreOnly) {
        CompressContext& ctx = context();
        std::size_t bound = ZSTD_compressBound(raw.size());
        if (ctx.scratchSize < bound) {
            ctx.scratchSize = bound + bound / 4;
            ctx.scratch = std::make_unique_for_overwrite<std::uint8_t[]>(ctx.scratchSize);
        }
        std::size_t n = compress(ctx.c.get(), ctx.scratch.get(), bound, raw, level);
        if (!ZSTD_isError(n) && n < raw.size()) {
            codec = 1;
            stored = n;
            bytes = ctx.scratch.get();
        }
    }
    out.insert(out.end(), bytes, bytes + stored);
    std::uint8_t* h = out.data() + start;
    h[0] = codec;
    putU32(h + 1, std::uint32_t(raw.size()));
    putU32(h + 5, std::uint32_t(stored));
    putU32(h + 9, crc32(h + kBlobHeaderSize, stored));
}

std::size_t blobSize(std::span<const std::uint8_t> stored) {
    if (stored.size() < kBlobHeaderSize)
        return 0;
    std::uint64_t size = kBlobHeaderSize + std::uint64_t(getU32(stored.data() + 5));
    return size <= stored.size() ? std::size_t(size) : 0;
}

namespace {

struct BlobParts {
    std::uint8_t codec = 0;
    std::uint32_t rawSize = 0;
    std::span<const std::uint8_t> data;
};

// The blob's header and checksum, checked.
bool checkBlob(std::span<const std::uint8_t> stored, BlobParts& blob, std::string& error) {
    if (blobSize(stored) == 0) {
        error = "data block cut short";
        return false;
    }
    const std::uint8_t* h = stored.data();
    blob.codec = h[0];
    blob.rawSize = getU32(h + 1);
    blob.data = {h + kBlobHeaderSize, getU32(h + 5)};
    if (crc32(blob.data.data(), blob.data.size()) != getU32(h + 9)) {
        error = "checksum mismatch in a data block";
        return false;
    }
    if (blob.rawSize > kMaxBlobRawSize) {
        error = "data block claims an impossible size";
        return false;
    }
    if (blob.codec == 0 && blob.rawSize != blob.data.size()) {
        error = "stored data block has inconsistent sizes";
        return false;
    }
    if (blob.codec > 1) {
        error = "data block uses an unknown compression (" + std::to_string(blob.codec) + ")";
        return false;
    }
    if (blob.codec == 1 &&
        ZSTD_getFrameContentSize(blob.data.data(), blob.data.size()) != blob.rawSize) {
        error = "compressed data block has inconsistent sizes";
        return false;
    }
    return true;
}

// A checked blob's raw bytes into `raw` (rawSize bytes).
bool decodeBlob(const BlobParts& blob, std::uint8_t* raw, std::string& error) {
    if (blob.codec == 0) {
        if (blob.rawSize > 0)
            std::memcpy(raw, blob.data.data(), blob.rawSize);
        return true;
    }
    std::size_t n = ZSTD_decompressDCtx(context().d.get(), raw, blob.rawSize, blob.data.data(),
                                        blob.data.size());
    if (ZSTD_isError(n) || n != blob.rawSize) {
        error = "compressed data block cannot be decoded";
        return false;
    }
    return true;
}

} // namespace

bool readBlob(std::span<const std::uint8_t> stored, Bytes& raw, std::string& error) {
    BlobParts blob;
    if (!checkBlob(stored, blob, error))
        return false;
    if (blob.codec == 0) {
        raw.assign(blob.data.begin(), blob.data.end());
        return true;
    }
    raw.resize(blob.rawSize);
    return decodeBlob(blob, raw.data(), error);
}

std::size_t blobRawSize(std::span<const std::uint8_t> stored) {
    return stored.size() < kBlobHeaderSize ? 0 : getU32(stored.data() + 1);
}

bool readBlobInto(std::span<const std::uint8_t> stored, std::span<std::uint8_t> raw,
                  std::string& error) {
    BlobParts blob;
    if (!checkBlob(stored, blob, error))
        return false;
    if (raw.size() != blob.rawSize) {
        error = "data block has a wrong size";
        return false;
    }
    return decodeBlob(blob, raw.data(), error);
}

} // namespace evstream::awf
