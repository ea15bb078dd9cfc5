#include "common/little_endian.h"

#include <gtest/gtest.h>

TEST(little_endian, the_low_byte_comes_first_at_any_alignment) {
    unsigned char bytes[7] = {0xAA, 0x01, 0x00, 0x00, 0xC0, 0xBB, 0xBB};
    EXPECT_EQ(load_u32_le(bytes + 1), 0xC0000001u);
    store_u32_le(bytes + 2, 0x12345678u);
    const unsigned char expected[7] = {0xAA, 0x01, 0x78, 0x56, 0x34, 0x12, 0xBB};
    for (int k = 0; k < 7; ++k) EXPECT_EQ(bytes[k], expected[k]) << k;
}
