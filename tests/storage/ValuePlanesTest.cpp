// The bit-plane packers agree with each other and with the planes' definition (bit k of the low
// plane is bit 0 of byte k, of the high plane bit 1), for every width a plane word can end at and
// every byte class, whichever packer the processor runs.
#include "storage/evstream/ValuePlanes.h"

#include <gtest/gtest.h>
#include <random>
#include <vector>

namespace evstream {
namespace {

struct Packed {
    std::vector<std::uint8_t> bytes;
    unsigned flags = 0;
    friend bool operator==(const Packed&, const Packed&) = default;
};

// The planes by their definition, one bit at a time.
Packed planesOf(const std::vector<std::uint8_t>& value) {
    Packed p;
    const std::size_t n = value.size(), bytes = planeBytes(n);
    p.bytes.assign(packedPlanesSize(n), 0);
    for (std::size_t k = 0; k < n; ++k) {
        p.bytes[k / 8] |= std::uint8_t((value[k] & 1) << (k % 8));
        p.bytes[bytes + k / 8] |= std::uint8_t(((value[k] >> 1) & 1) << (k % 8));
        p.flags |= (value[k] >= 4 ? kNotPlanes : 0) | ((value[k] & 2) == 0 ? kNotBits : 0);
    }
    return p;
}

using PackFunction = unsigned (*)(const std::uint8_t*, std::size_t, std::uint8_t*);

// What `pack` makes of `value`, from a copy that ends where the value does (so that reading
// past it would be caught by the sanitizers); `stored` bytes of its output are kept.
Packed run(PackFunction pack, const std::vector<std::uint8_t>& value, std::size_t stored) {
    std::vector<std::uint8_t> in(value), out(stored + kPlanesSlack, 0xEE);
    Packed p;
    p.flags = pack(in.data(), in.size(), out.data());
    p.bytes.assign(out.begin(), out.begin() + std::ptrdiff_t(stored));
    return p;
}

struct Packer {
    const char* name;
    PackFunction pack;
    bool needsAvx512;
};

const Packer kPackers[] = {
    {"packPlanes", packPlanes, false},
    {"PlanePacker", PlanePacker::pack, false},
#if defined(TESSEL_PLANES_AVX512)
    {"PlanePackerAvx512", PlanePackerAvx512::pack, true},
#endif
};

struct ByteClass {
    const char* name;
    std::uint8_t base;
    unsigned range;
    std::uint8_t odd = 0; // when set, one byte of each value is this
};

TEST(PlanePackers, AgreeWithThePlanesOfEveryWidthAndByteClass) {
    const ByteClass classes[] = {
        {"bits", 2, 2},
        {"U X 0 1", 0, 4},
        {"bits with one X", 2, 2, 1},
        {"bits with one Z", 2, 2, 4},
        {"nine logic values", 0, 9},
        {"any byte", 0, 256},
        {"U X 0 1 with a byte of high bits", 0, 4, 0xFC},
    };
    std::mt19937 rng(5);
    for (std::size_t width = 1; width <= 130; ++width) {
        for (const ByteClass& c : classes) {
            std::vector<std::uint8_t> value(width);
            for (auto& b : value)
                b = std::uint8_t(c.base + rng() % c.range);
            if (c.odd != 0)
                value[rng() % width] = c.odd;
            const Packed planes = planesOf(value);
            for (const Packer& packer : kPackers) {
#if defined(TESSEL_PLANES_AVX512)
                if (packer.needsAvx512 && !hasAvx512())
                    continue;
#endif
                EXPECT_EQ(run(packer.pack, value, planes.bytes.size()), planes)
                    << packer.name << ", width " << width << ", " << c.name;
            }
        }
    }
}

} // namespace
} // namespace evstream
