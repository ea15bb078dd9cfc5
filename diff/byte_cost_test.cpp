#include "diff/byte_cost.h"

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

TEST(byte_cost, zeros_cost_almost_nothing_and_random_bytes_about_eight_bits) {
    EXPECT_LT(cost_of(std::vector<unsigned char>(100000, 0), 100000), 64.0);
    const bytes random = seeded_random{1}.fill(40960);
    const double bits = cost_of(random, 40960);
    EXPECT_GT(bits, 7.9 * 40960);
    EXPECT_LE(bits, 8.0 * 40960);
    // Sixteen symbols at random: four bits each, give or take the few repeats.
    bytes sixteen = seeded_random{4}.fill(40960);
    for (unsigned char& b : sixteen) b &= 15;
    EXPECT_GT(cost_of(sixteen, 40960), 3.0 * 40960);
    EXPECT_LE(cost_of(sixteen, 40960), 4.0 * 40960);
}

// What an LZ compressor sees and order-0 entropy does not: a record repeated costs little.
TEST(byte_cost, repeated_records_cost_far_less_than_their_bytes) {
    const bytes record = seeded_random{2}.fill(1000);
    bytes repeated;
    for (int k = 0; k < 50; ++k) repeated.insert(repeated.end(), record.begin(), record.end());
    EXPECT_LT(cost_of(repeated, repeated.size()), 8.0 * 1000 + 50 * 64);
    // Fed apart, the repeats are not seen: the estimate then counts every byte.
    EXPECT_GT(cost_of(repeated, 1000), 7.5 * repeated.size());
}

TEST(byte_cost, a_few_edits_in_zeros_cost_less_than_the_bytes_themselves) {
    std::vector<unsigned char> difference(8192, 0);
    difference[100] = 3;
    difference[5000] = 200;
    const bytes own = seeded_random{3}.fill(8192);
    EXPECT_LT(cost_of(difference, 8192), cost_of(own, 8192) / 100);
}
