// The byte-level pieces of the database file: varints, checksums, blobs and chunk headers.
#include "storage/evstream/AwfFormat.h"

#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <random>

namespace evstream::awf {
namespace {

TEST(AwfFormat, Crc32cMatchesTheStandardCheckValue) {
    const char* text = "123456789";
    EXPECT_EQ(crc32(text, 9), 0xE3069283u);
    // Split computations chain, whatever the length of the pieces.
    std::string longer(1000, 'x');
    EXPECT_EQ(crc32(longer.data() + 7, 993, crc32(longer.data(), 7)),
              crc32(longer.data(), longer.size()));
    // Long inputs (taken several bytes at once) against the same bytes in short pieces.
    std::mt19937 rng(2);
    std::vector<std::uint8_t> bytes(20011);
    for (auto& b : bytes)
        b = std::uint8_t(rng());
    for (std::size_t size : {767u, 768u, 769u, 5000u, 20011u}) {
        std::uint32_t pieces = 0;
        for (std::size_t at = 0; at < size; at += 100)
            pieces = crc32(bytes.data() + at, std::min<std::size_t>(100, size - at), pieces);
        EXPECT_EQ(crc32(bytes.data(), size), pieces) << size;
    }
}

TEST(AwfFormat, VarintsRoundTripAtEveryLength) {
    const std::int64_t values[] = {0,   1,   -1,        63,        -64,       127,
                                   128, 300, INT32_MAX, INT32_MIN, INT64_MAX, INT64_MIN};
    Bytes bytes;
    ByteWriter out(bytes);
    for (std::int64_t v : values) {
        out.svarint(v);
        out.varint(std::uint64_t(v));
    }
    ByteReader in(bytes);
    for (std::int64_t v : values) {
        EXPECT_EQ(in.svarint(), v);
        EXPECT_EQ(in.varint(), std::uint64_t(v));
    }
    EXPECT_TRUE(in.atEnd());
    EXPECT_FALSE(in.failed());
}

TEST(AwfFormat, ReadingPastTheEndFailsInsteadOfOverrunning) {
    const std::uint8_t unfinished[] = {0x80, 0x80};
    ByteReader a(unfinished);
    a.varint();
    EXPECT_TRUE(a.failed());
    const std::uint8_t tooLong[11] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                      0xFF, 0xFF, 0xFF, 0xFF, 0x01};
    ByteReader b(tooLong);
    b.varint();
    EXPECT_TRUE(b.failed());
    const std::uint8_t shortString[] = {5, 'a', 'b'};
    ByteReader c(shortString);
    EXPECT_EQ(c.string(), "");
    EXPECT_TRUE(c.failed());
    const std::uint8_t hugeCount[] = {0xFF, 0xFF, 0xFF, 0x7F};
    ByteReader d(hugeCount);
    d.count(1);
    EXPECT_TRUE(d.failed());
}

TEST(AwfFormat, BlobsRoundTripAndRejectDamage) {
    Bytes raw(5000);
    for (std::size_t i = 0; i < raw.size(); ++i)
        raw[i] = std::uint8_t(i % 7);
    Bytes blob;
    appendBlob(blob, raw, 3);
    EXPECT_LT(blob.size(), raw.size()); // compressible data is compressed
    EXPECT_EQ(blobSize(blob), blob.size());
    Bytes back;
    std::string error;
    ASSERT_TRUE(readBlob(blob, back, error)) << error;
    EXPECT_EQ(back, raw);

    Bytes damaged = blob;
    damaged[damaged.size() / 2] ^= 1;
    EXPECT_FALSE(readBlob(damaged, back, error));
    EXPECT_NE(error.find("checksum"), std::string::npos);
    EXPECT_FALSE(readBlob(std::span(blob).first(blob.size() - 1), back, error));

    Bytes tiny;
    appendBlob(tiny, Bytes{1, 2, 3}, 3); // too small to compress: stored
    EXPECT_EQ(tiny[0], 0);
    ASSERT_TRUE(readBlob(tiny, back, error));
    EXPECT_EQ(back, (Bytes{1, 2, 3}));
}

// Blobs of every level one after another in one buffer, small and large, compressible or not
// (random bytes are stored as they are): each reads back from where it starts.
TEST(AwfFormat, BlobsOfEveryLevelFollowEachOther) {
    std::mt19937 rng(3);
    std::vector<Bytes> raws;
    for (std::size_t size : {100, 300000, 70, 20000}) {
        Bytes pattern(size), noise(size);
        for (std::size_t i = 0; i < size; ++i) {
            pattern[i] = std::uint8_t(i % 13 == 0 ? rng() : 2);
            noise[i] = std::uint8_t(rng());
        }
        raws.push_back(pattern);
        raws.push_back(noise);
    }
    for (int level : {3, kFastLevel, kStoreOnly}) {
        Bytes out;
        std::vector<std::size_t> starts;
        for (const Bytes& raw : raws) {
            starts.push_back(out.size());
            appendBlob(out, raw, level);
        }
        for (std::size_t i = 0; i < raws.size(); ++i) {
            auto blob = std::span(out).subspan(starts[i]);
            Bytes back;
            std::string error;
            ASSERT_TRUE(readBlob(blob, back, error)) << error << " level " << level;
            EXPECT_EQ(back, raws[i]) << "level " << level << " blob " << i;
            EXPECT_EQ(blob[0], level != kStoreOnly && i % 2 == 0 ? 1 : 0) << "codec of " << i;
        }
    }
}

TEST(AwfFormat, ChunkHeadersCarryTheirOwnChecksum) {
    ChunkHeader h;
    h.tag = kTagBlock;
    h.directorySize = 12;
    h.payloadSize = 1u << 20;
    h.firstTime = -5;
    h.lastTime = INT64_MAX;
    h.eventCount = 99;
    h.payloadCrc = 0xDEADBEEF;
    std::uint8_t bytes[kChunkHeaderSize];
    encodeChunkHeader(h, bytes);
    auto back = decodeChunkHeader(bytes);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->lastTime, INT64_MAX);
    EXPECT_EQ(back->firstTime, -5);
    EXPECT_EQ(back->payloadCrc, 0xDEADBEEFu);
    bytes[20] ^= 0x10;
    EXPECT_FALSE(decodeChunkHeader(bytes).has_value());
}

} // namespace
} // namespace evstream::awf
