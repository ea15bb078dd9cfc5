#include "orvstart/elapsed_time.h"

#include <gtest/gtest.h>

TEST(elapsed_ms, counts_across_a_wrap_of_the_clock) {
    EXPECT_EQ(elapsed_ms(100, 30100), 30000u);
    EXPECT_EQ(elapsed_ms(0xFFFFFF00u, 0x100u), 0x200u);
    EXPECT_EQ(elapsed_ms(0xFFFFFFFFu, 29999u), 30000u);
}
