#include "storage/KFileException.h"
#include "storage/vcd/KVcdReadAhead.h"

#include <gtest/gtest.h>
#include <string>

namespace {

// Reads `text` a few bytes at a time, failing once `failAt` bytes have been read.
struct Source {
    std::string text;
    std::size_t step = 5;
    std::size_t failAt = std::string::npos;
    std::size_t done = 0;

    KVcdReadAhead start(std::size_t chunkSize, std::size_t buffers = 3) {
        return {[this](char* into, std::size_t capacity) -> std::size_t {
                    if (done >= failAt)
                        throw KFileException::generic("in.vcd", "read failed");
                    std::size_t size = std::min({capacity, step, text.size() - done});
                    text.copy(into, size, done);
                    done += size;
                    return size;
                },
                [this] { return std::uint64_t{done}; },
                chunkSize,
                8,
                16,
                buffers};
    }
};

TEST(VcdReadAhead, ChunksComeInOrderFullAndEndEmpty) {
    Source source{std::string(1000, 'a') + "xyz"};
    for (std::size_t i = 0; i < source.text.size(); ++i)
        source.text[i] = static_cast<char>('a' + i % 26);
    std::string got;
    KVcdReadAhead ahead = source.start(64);
    for (KVcdReadAhead::Chunk chunk; (chunk = ahead.take()).size != 0;) {
        // Short reads are gathered into whole chunks; the gap before the data is writable.
        EXPECT_TRUE(chunk.size == 64 || got.size() + chunk.size == source.text.size());
        EXPECT_EQ(chunk.offset, got.size() + chunk.size);
        std::fill(chunk.data - ahead.gap(), chunk.data, '\0');
        got.append(chunk.data, chunk.size);
        ahead.give(chunk);
    }
    EXPECT_EQ(got, source.text);
    EXPECT_EQ(ahead.take().size, 0u); // and stays at the end
}

TEST(VcdReadAhead, FailureReachesTheTakerAndStays) {
    Source source{std::string(500, 'a')};
    source.failAt = 200;
    KVcdReadAhead ahead = source.start(64);
    std::size_t taken = 0;
    try {
        for (;;) {
            KVcdReadAhead::Chunk chunk = ahead.take();
            taken += chunk.size;
            ahead.give(chunk);
        }
    } catch (const KFileException& error) {
        EXPECT_NE(error.message().find("read failed"), std::string::npos);
    }
    EXPECT_EQ(taken, 192u); // the whole chunks before the failure
    EXPECT_THROW(ahead.take(), KFileException);
}

TEST(VcdReadAhead, StopsWhileChunksAreHeldOrUnread) {
    Source source{std::string(100000, 'a')};
    {
        KVcdReadAhead ahead = source.start(64, 2);
        KVcdReadAhead::Chunk held = ahead.take();
        EXPECT_EQ(held.size, 64u);
    } // the thread waits for a free buffer: the destructor must still end it
    EXPECT_LT(source.done, source.text.size());
}

} // namespace
