#include "format/byte_sum.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Bytes that cover every value and carry out of every bit position when added.
std::vector<unsigned char> pattern(std::size_t size, unsigned step, unsigned start) {
    std::vector<unsigned char> bytes(size);
    unsigned value = start;
    for (unsigned char& b : bytes) {
        b = static_cast<unsigned char>(value);
        value = value * 33 + step;
    }
    return bytes;
}

// Sizes around the 64-byte blocks, at buffer positions that are not aligned, so that the
// block loop, the byte loop and the seam between them each meet every carry case.
TEST(add_bytes, matches_byte_by_byte_sums_at_every_block_edge) {
    for (std::size_t size : {0u, 1u, 15u, 16u, 17u, 63u, 64u, 65u, 127u, 128u, 129u, 1000u, 4097u}) {
        for (std::size_t misalign : {0u, 1u, 3u, 7u}) {
            std::vector<unsigned char> target = pattern(size + misalign + 8, 101, 7);
            const std::vector<unsigned char> source = pattern(size + misalign + 8, 59, 200);
            std::vector<unsigned char> expected = target;
            for (std::size_t i = 0; i < size; ++i)
                expected[misalign + i] = static_cast<unsigned char>((target[misalign + i] + source[misalign + i]) % 256);

            add_bytes(target.data() + misalign, source.data() + misalign, size);
            EXPECT_EQ(target, expected) << "size " << size << ", misaligned by " << misalign;
        }
    }
}

TEST(add_bytes, wraps_modulo_256) {
    std::vector<unsigned char> target(130, 0xff), source(130, 0x02);
    add_bytes(target.data(), source.data(), target.size());
    EXPECT_EQ(target, std::vector<unsigned char>(130, 0x01));
}

}  // namespace
