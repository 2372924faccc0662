#pragma once

// The byte-level building blocks of the .awf database file: the file header and trailer, chunk
// headers, little-endian integers and varints, checksums and compressed blobs. Every multi-byte
// integer on disk is little-endian whatever the host; docs/awf-format.md describes the layout.
//
// Readers of outside bytes (ByteReader, decodeChunkHeader, readBlob) never trust a length: each
// is checked against what is left, and a failure is reported, never undefined behaviour.

#include "storage/SimTime.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace evstream::awf {

using Bytes = std::vector<std::uint8_t>;

inline constexpr std::uint8_t kFileMagic[8] = {'T', 'S', 'L', 'W', 'A', 'V', '\r', '\n'};
inline constexpr std::uint16_t kVersionMajor = 2;
inline constexpr std::uint16_t kVersionMinor = 1;
inline constexpr std::size_t kFileHeaderSize = 16;

inline constexpr std::uint8_t kTrailerMagic[8] = {'T', 'S', 'L', 'W', 'E', 'N', 'D', 0};
inline constexpr std::size_t kTrailerSize = 16;

inline constexpr std::size_t kChunkHeaderSize = 48;

// Four-character chunk tags, read as little-endian 32-bit integers.
constexpr std::uint32_t makeTag(char a, char b, char c, char d) {
    return std::uint32_t(std::uint8_t(a)) | std::uint32_t(std::uint8_t(b)) << 8 |
           std::uint32_t(std::uint8_t(c)) << 16 | std::uint32_t(std::uint8_t(d)) << 24;
}
inline constexpr std::uint32_t kTagDeclarations = makeTag('D', 'E', 'C', 'L');
inline constexpr std::uint32_t kTagMetadata = makeTag('M', 'E', 'T', 'A');
inline constexpr std::uint32_t kTagBlock = makeTag('B', 'L', 'C', 'K');
inline constexpr std::uint32_t kTagIndex = makeTag('I', 'N', 'D', 'X');

// Sanity bounds: anything larger in a file is damage, not data.
inline constexpr std::uint32_t kMaxValueSize = 1u << 20;
inline constexpr std::uint64_t kMaxChunkPayload = 1ull << 31;
inline constexpr std::uint32_t kMaxBlobRawSize = 1u << 30;

struct ChunkHeader {
    std::uint32_t tag = 0;
    std::uint32_t directorySize = 0; // blocks: bytes of the directory blob at the payload start
    std::uint64_t payloadSize = 0;
    SimTime firstTime = 0;        // blocks: time of the first event
    SimTime lastTime = 0;         // blocks: time of the last event
    std::uint64_t eventCount = 0; // blocks: number of events
    std::uint32_t payloadCrc = 0;
};

void encodeChunkHeader(const ChunkHeader& header, std::uint8_t* out);
// Nullopt when the header's own checksum does not match (damage, or a write still under way).
std::optional<ChunkHeader> decodeChunkHeader(const std::uint8_t* in);

void encodeFileHeader(std::uint8_t* out);
// An empty string when the header is ours and readable, else what is wrong.
std::string checkFileHeader(std::span<const std::uint8_t> header);

std::uint32_t crc32(const void* data, std::size_t size, std::uint32_t crc = 0);

inline std::uint64_t zigzag(std::int64_t value) {
    return (std::uint64_t(value) << 1) ^ std::uint64_t(value >> 63);
}
inline std::int64_t unzigzag(std::uint64_t value) {
    return std::int64_t(value >> 1) ^ -std::int64_t(value & 1);
}

class ByteWriter {
public:
    explicit ByteWriter(Bytes& out) : m_out(out) {}
    void u8(std::uint8_t value) { m_out.push_back(value); }
    void u32(std::uint32_t value);
    void u64(std::uint64_t value);
    void varint(std::uint64_t value);
    void svarint(std::int64_t value) { varint(zigzag(value)); }
    void string(std::string_view text);
    void bytes(const void* data, std::size_t size);

private:
    Bytes& m_out;
};

// Appends an unsigned LEB128 varint; the hot path of the block builder.
inline void appendVarint(Bytes& out, std::uint64_t value) {
    while (value >= 0x80) {
        out.push_back(std::uint8_t(value) | 0x80);
        value >>= 7;
    }
    out.push_back(std::uint8_t(value));
}

// Reads from a byte span; any read past the end (or a malformed varint) sets failed() and
// returns zeros from then on, so a decoder checks once at the end of a record.
class ByteReader {
public:
    explicit ByteReader(std::span<const std::uint8_t> bytes) : m_bytes(bytes) {}
    std::uint8_t u8();
    std::uint32_t u32();
    std::uint64_t u64();
    std::uint64_t varint() {
        // One-byte varints are most of them: keys steps, small counts.
        if (m_position < m_bytes.size() && m_bytes[m_position] < 0x80)
            return m_bytes[m_position++];
        return varintSlow();
    }
    std::int64_t svarint() { return unzigzag(varint()); }
    std::string string();
    // A view of the next `size` bytes (empty and failed when fewer are left).
    std::span<const std::uint8_t> bytes(std::size_t size);
    // A count that cannot exceed what is left when each item takes at least `minItemSize` bytes.
    std::uint64_t count(std::size_t minItemSize = 1);

    bool failed() const { return m_failed; }
    void fail() { m_failed = true; }
    std::size_t position() const { return m_position; }
    std::size_t remaining() const { return m_bytes.size() - m_position; }
    bool atEnd() const { return m_position == m_bytes.size(); }

private:
    std::uint64_t varintSlow();

    std::span<const std::uint8_t> m_bytes;
    std::size_t m_position = 0;
    bool m_failed = false;
};

// A blob: codec (0 stored, 1 zstd), raw size, stored size, checksum of the stored bytes, then the
// stored bytes. Compression is skipped when it does not save anything.
inline constexpr std::size_t kBlobHeaderSize = 13;
// `level` is a zstd level, kStoreOnly to keep the bytes as they are, or kFastLevel: level 1 with
// a quicker match search and literals still entropy-coded. On the bit-packed sections of event
// blocks that takes a third less zstd time than level 1 for files about 1 % larger (literal
// coding off, as negative levels do, saves as much time but made the bit-heavy file 15 % larger).
inline constexpr int kStoreOnly = -1000000;
inline constexpr int kFastLevel = -1000001;
void appendBlob(Bytes& out, std::span<const std::uint8_t> raw, int level);
// The raw bytes of the blob at the start of `stored`; false with `error` set when damaged.
bool readBlob(std::span<const std::uint8_t> stored, Bytes& raw, std::string& error);
// The raw size a blob's header claims (0 without a header), and the blob read into memory of
// that size which the caller gives (so that it need not be zero-filled first).
std::size_t blobRawSize(std::span<const std::uint8_t> stored);
bool readBlobInto(std::span<const std::uint8_t> stored, std::span<std::uint8_t> raw,
                  std::string& error);
// The total size (header and stored bytes) of the blob starting at `stored`, 0 when unreadable.
std::size_t blobSize(std::span<const std::uint8_t> stored);

} // namespace evstream::awf
