#include "mapdiff/byte_cost.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/support/map_builder.h"

namespace {

double cost_of(const std::vector<unsigned char>& data, std::size_t piece) {
    byte_cost cost;
    for (std::size_t at = 0; at < data.size(); at += piece)
        add_to_cost(cost, data.data() + at, std::min(piece, data.size() - at));
    return cost_bits(cost);
}

}  // namespace

TEST(byte_cost, zeros_cost_nothing_and_random_bytes_about_eight_bits) {
    EXPECT_EQ(cost_of(std::vector<unsigned char>(10000, 0), 10000), 0.0);
    const bytes random = seeded_random{1}.fill(40960);
    const double bits = cost_of(random, 40960);
    EXPECT_GT(bits, 7.9 * 40960);
    EXPECT_LE(bits, 8.0 * 40960);
    // Two symbols in equal numbers: one bit each.
    std::vector<unsigned char> two(4096);
    for (std::size_t i = 0; i < two.size(); ++i) two[i] = i % 2 ? 7 : 9;
    EXPECT_NEAR(cost_of(two, 4096), 4096.0, 1e-6);
}

TEST(byte_cost, the_estimate_does_not_depend_on_how_bytes_are_fed) {
    const bytes random = seeded_random{2}.fill(10000);
    EXPECT_DOUBLE_EQ(cost_of(random, 10000), cost_of(random, 1));
    EXPECT_DOUBLE_EQ(cost_of(random, 10000), cost_of(random, 4095));
}

TEST(byte_cost, a_few_edits_in_zeros_cost_less_than_the_bytes_themselves) {
    std::vector<unsigned char> difference(8192, 0);
    difference[100] = 3;
    difference[5000] = 200;
    const bytes own = seeded_random{3}.fill(8192);
    EXPECT_LT(cost_of(difference, 8192), cost_of(own, 8192) / 100);
}
