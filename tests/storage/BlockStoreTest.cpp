// Values read from blocks nothing has decoded yet (read without unpacking the section) against
// the events written, for every value packing and for value sizes that do and do not fill whole
// bytes of packed bits; and the same reads once the block is decoded, and at another time.
#include "EventStoreTestUtil.h"
#include "storage/KFileException.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <random>

namespace evstream::test {
namespace {

struct Shape {
    unsigned range; // bytes are base + rng() % range
    std::uint8_t base;
    std::uint32_t size;
};

// Logic 0/1, U X 0 1, the nine logic values and any byte, in sizes of 1 to 65 bytes.
std::vector<Shape> shapes() {
    std::vector<Shape> all;
    for (auto [range, base] : {std::pair{2u, 2}, {4u, 0}, {9u, 0}, {256u, 0}})
        for (std::uint32_t size : {1u, 3u, 8u, 13u, 64u, 65u})
            all.push_back({range, std::uint8_t(base), size});
    return all;
}

class BlockStoreValues : public ::testing::Test {
protected:
    void SetUp() override {
        const auto all = shapes();
        const int count = int(all.size());
        std::mt19937 rng(5);
        IEventsStreamWrite* w = openWithScalars(m_file.path(), count);
        SimTime time = 10;
        for (int block = 0; block < 6; ++block) {
            std::vector<Event> part;
            for (int step = 0; step < 300; ++step, time += 1 + rng() % 4) {
                for (int h = 0; h < count; ++h) {
                    // Every fifth signal is quiet in the middle blocks (only its milestone
                    // there); the widest change often enough to get a blob of their own.
                    const bool quiet = h % 5 == 0 && block > 0 && block < 5;
                    const unsigned odds = all[std::size_t(h)].size >= 64 ? 2 : 6;
                    if ((quiet || rng() % odds != 0) && !(block == 0 && step == 0))
                        continue;
                    const Shape& s = all[std::size_t(h)];
                    Event e{time, 0, h, std::vector<std::uint8_t>(s.size)};
                    for (auto& b : e.value)
                        b = std::uint8_t(s.base + rng() % s.range);
                    part.push_back(e);
                    m_bySignal[std::size_t(h)].push_back(std::move(e));
                }
            }
            ASSERT_TRUE(writeEvents(w, part));
            ASSERT_TRUE(FlushStream(w));
            m_blockStarts.push_back(part.front().time);
        }
        m_end = time;
        ASSERT_TRUE(w->Release());
    }

    // Checks every signal's value at `t` through `r`.
    void expectValuesAt(IEventsStreamRead* r, SimTime t, const char* pass) {
        for (std::size_t h = 0; h < std::size(m_bySignal); ++h) {
            const auto& list = m_bySignal[h];
            auto it = std::upper_bound(list.begin(), list.end(), t,
                                       [](SimTime v, const Event& e) { return v < e.time; });
            std::vector<std::uint8_t> value(65, 0xEE);
            const bool has = GetSignalValue(r, t, SignalHandle(h), value.data());
            ASSERT_EQ(has, it != list.begin()) << pass << " t=" << t << " h=" << h;
            if (has) {
                value.resize(list.front().value.size());
                EXPECT_EQ(value, std::prev(it)->value) << pass << " t=" << t << " h=" << h;
            }
        }
    }

    TempFile m_file;
    std::vector<Event> m_bySignal[24];
    std::vector<SimTime> m_blockStarts;
    SimTime m_end = 0;
};

TEST_F(BlockStoreValues, ColdReadsMatchTheEventsWrittenThenDecodedReadsAndOtherTimesToo) {
    std::vector<SimTime> times = {0, 9, 10, m_end, m_end + 5};
    for (SimTime start : m_blockStarts) {
        times.push_back(start);
        times.push_back(start - 1);
        times.push_back(start + 1);
    }
    std::mt19937 rng(9);
    for (int i = 0; i < 12; ++i)
        times.push_back(SimTime(rng() % std::uint64_t(m_end)));
    for (SimTime t : times) {
        Releaser<IEventsStreamRead> r{OpenStreamRead(m_file.path())};
        expectValuesAt(r.stream, t, "cold");
        expectValuesAt(r.stream, t, "decoded"); // a second read decodes the sections whole
        expectValuesAt(r.stream, (t * 7) % (m_end + 1), "another time");
    }
}

TEST_F(BlockStoreValues, DamageInAColdBlockRaisesTheFileError) {
    auto bytes = readFileBytes(m_file.path());
    // Somewhere inside the blocks' data, after the declarations.
    for (std::size_t at : {bytes.size() / 3, bytes.size() / 2, bytes.size() * 2 / 3}) {
        auto damaged = bytes;
        damaged[at] ^= 0x24;
        TempFile file;
        writeFileBytes(file.path(), damaged);
        IEventsStreamRead* r = CreateStreamRead(file.path());
        if (r == nullptr)
            continue; // the index was hit: refused at once, which is fine too
        Releaser<IEventsStreamRead> release{r};
        std::vector<std::uint8_t> value(65);
        EXPECT_THROW(
            {
                for (SimTime t = 0; t <= m_end; t += 40)
                    for (SignalHandle h = 0; h < 24; ++h)
                        GetSignalValue(r, t, h, value.data());
            },
            KFileException)
            << "damage at " << at;
    }
}

} // namespace
} // namespace evstream::test
