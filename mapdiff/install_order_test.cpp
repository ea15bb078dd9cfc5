#include "mapdiff/install_order.h"

#include <gtest/gtest.h>

#include "tests/support/map_builder.h"

namespace {

void copy_bytes(const bytes& from, std::size_t from_at, bytes& to, std::size_t to_at, std::size_t size) {
    std::copy(from.begin() + static_cast<std::ptrdiff_t>(from_at), from.begin() + static_cast<std::ptrdiff_t>(from_at + size),
              to.begin() + static_cast<std::ptrdiff_t>(to_at));
}

std::uint64_t count_of(const shared_samples& shared, const std::vector<std::size_t>& holders) {
    for (const auto& set : shared)
        if (set.first == holders) return set.second;
    return 0;
}

}  // namespace

// Bytes a map shares with other maps are counted under the maps that hold them, wherever they
// lie, the same from both sides; bytes that a stock map holds too, and bytes only a map that cannot be a source holds,
// are not counted at all.
TEST(install_order, samples_count_bytes_shared_with_other_maps_only) {
    memory_files memory;
    const bytes stock = seeded_random{1}.fill(300000);
    bytes a = seeded_random{2}.fill(200000), b = seeded_random{3}.fill(200000), c = seeded_random{4}.fill(100000);
    copy_bytes(a, 10001, b, 50003, 40000);       // b holds a's bytes, at another alignment
    copy_bytes(stock, 7, a, 100000, 30000);      // a and b both hold stock bytes: not counted
    copy_bytes(stock, 7, b, 150000, 30000);
    copy_bytes(c, 5000, a, 150000, 20000);       // c cannot be a source
    memory.files = {{"maps/S", stock}, {"mods/A", a}, {"mods/B", b}, {"mods/C", c}};
    std::vector<shared_samples> shared;
    progress quiet;
    ASSERT_TRUE(sketch_shared_samples(storage{&memory}, {{"maps/S", stock.size()}},
                                      {{"mods/A", a.size()}, {"mods/B", b.size()}, {"mods/C", c.size()}}, {true, true, false},
                                      shared, quiet));
    ASSERT_EQ(shared.size(), 3u);
    // The same bytes give the same samples in both maps: one position in 16 in sets this small.
    const std::uint64_t a_in_b = count_of(shared[1], {0});
    EXPECT_EQ(a_in_b, count_of(shared[0], {1}));
    EXPECT_NEAR(static_cast<double>(a_in_b), 40000.0 / 16, 40000.0 / 16 / 5);
    EXPECT_EQ(shared[0].size(), 1u) << "the stock bytes and c's were counted";
    EXPECT_EQ(shared[1].size(), 1u);
    EXPECT_NEAR(static_cast<double>(count_of(shared[2], {0})), 20000.0 / 16, 20000.0 / 16 / 5) << "c draws on a";
}

// A chain of maps sharing bytes in pairs (a-b, b-c) comes out as a chain, whichever end first,
// near-equal counts not deciding; a map sharing nothing, or only with one that cannot be a
// source, loses nothing anywhere; maps that cannot be sources come last.
TEST(install_order, chains_stay_chains_and_non_sources_come_last) {
    // Maps 0..4: b (0) shares 500 with a (3) and 480 with c (1); d (2) cannot be a source and
    // shares with a; e (4) shares nothing.
    std::vector<shared_samples> shared(5);
    shared[0] = {{{1}, 481}, {{3}, 499}};
    shared[1] = {{{0}, 480}};
    shared[2] = {{{3}, 100}};
    shared[3] = {{{0}, 500}};
    const std::vector<std::size_t> order = order_maps(shared, {true, true, false, true, true});
    ASSERT_EQ(order.size(), 5u);
    EXPECT_EQ(order.back(), 2u);
    std::vector<std::size_t> chain;
    for (std::size_t m : order)
        if (m != 4 && m != 2) chain.push_back(m);
    EXPECT_TRUE(chain == (std::vector<std::size_t>{1, 0, 3}) || chain == (std::vector<std::size_t>{3, 0, 1}))
        << testing::PrintToString(order);
}
