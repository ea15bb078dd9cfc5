#include "mapmend/result_code.h"

#include <gtest/gtest.h>

TEST(result_code, every_code_has_its_message_and_others_are_unknown) {
    EXPECT_EQ(result_message(0), "All OK.");
    EXPECT_EQ(result_message(result_code::patch_path_missing), "Error: QMP path arg missing.");
    EXPECT_EQ(result_message(10), "Error: Could not delete the QMP.");
    EXPECT_EQ(result_message(11), "Unknown error.");
    EXPECT_EQ(result_message(-1), "Unknown error.");
    EXPECT_EQ(result_message(-2147483647 - 1), "Unknown error.");
}

TEST(result_code, only_the_usage_errors_carry_the_help_hint) {
    for (int code = 0; code <= 10; ++code) {
        const bool expected = code == 3 || code == 5 || code == 6;
        EXPECT_EQ(shows_help_hint(static_cast<result_code>(code)), expected) << code;
    }
}
