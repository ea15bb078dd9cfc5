#include "format/rebuild_result.h"

#include <gtest/gtest.h>

#include <set>

TEST(rebuild_result_text, each_result_has_its_own_text_and_any_other_number_its_number) {
    // The table follows the enum: a text out of place would name another failure.
    EXPECT_EQ(rebuild_result_text(not_a_patch), "a patch file does not begin with the magic");
    EXPECT_EQ(rebuild_result_text(source_too_short), "a source ends before the range an entry reads");
    EXPECT_EQ(rebuild_result_text(out_of_memory), "not enough memory");
    std::set<std::string> texts;
    for (int result = rebuilt; result <= marker_blocked; ++result) texts.insert(rebuild_result_text(result));
    EXPECT_EQ(texts.size(), std::size_t{marker_blocked + 1});
    EXPECT_EQ(rebuild_result_text(marker_blocked + 1), "rebuild result 12");
    EXPECT_EQ(rebuild_result_text(-1), "rebuild result -1");
}
