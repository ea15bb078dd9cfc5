#include "diff/install_order.h"

#include <gtest/gtest.h>

#include "common/storage_memory.h"
#include "tests/support/map_builder.h"

namespace {

void copy_bytes(const bytes& from, std::size_t from_at, bytes& to, std::size_t to_at, std::size_t size) {
    std::copy(from.begin() + static_cast<std::ptrdiff_t>(from_at), from.begin() + static_cast<std::ptrdiff_t>(from_at + size),
              to.begin() + static_cast<std::ptrdiff_t>(to_at));
}

// A map of the mod at `path` in memory, with its table.
mod_map map_of_mod(const std::string& path, const bytes& map, bool can_be_source) {
    mod_map read;
    read.file.path = path;
    read.file.size = map.size();
    EXPECT_EQ(read_map_table(map.data(), map.size(), read.file.table), table_reading::ok) << path;
    read.can_be_source = can_be_source;
    return read;
}

// Maps that only say whether they can be sources.
std::vector<mod_map> maps_that_can_be_sources(const std::vector<bool>& can_be_source) {
    std::vector<mod_map> maps(can_be_source.size());
    for (std::size_t m = 0; m < maps.size(); ++m) maps[m].can_be_source = can_be_source[m];
    return maps;
}

}  // namespace

// A chunk that is a copy of another map's bytes, wherever they lie there, counts under that
// map; the map copied from, which holds the bytes across two of its chunks, counts none; nor do
// bytes that a stock map holds too, nor bytes only a map that cannot be a source holds (but that
// map's chunk counts under the map that holds a copy of it: it may draw on it).
TEST(install_order, chunks_copied_from_other_maps_are_counted) {
    memory_files memory;
    const bytes stock = seeded_random{1}.fill(300000);
    bytes a = synthetic_map(2, 200000, 4), b = synthetic_map(3, 200000, 4), c = synthetic_map(4, 100000, 2);
    const std::size_t copied = chunk_of(b, 1).size;
    copy_bytes(a, chunk_of(a, 2).offset + 25001, b, chunk_of(b, 1).offset, copied);
    copy_bytes(stock, 7, a, chunk_of(a, 0).offset, chunk_of(a, 0).size);
    copy_bytes(stock, 7, b, chunk_of(b, 2).offset, chunk_of(a, 0).size);
    copy_bytes(c, chunk_of(c, 0).offset, a, chunk_of(a, 1).offset, chunk_of(a, 1).size);
    memory.files = {{"maps/S", stock}, {"mods/A", a}, {"mods/B", b}, {"mods/C", c}};
    std::vector<shared_samples> shared;
    progress quiet;
    patch_source stock_map;
    stock_map.path = "maps/S";
    stock_map.size = stock.size();
    ASSERT_TRUE(sketch_shared_samples(
        storage{&memory}, {stock_map},
        {map_of_mod("mods/A", a, true), map_of_mod("mods/B", b, true), map_of_mod("mods/C", c, false)}, shared, quiet, 2));
    ASSERT_EQ(shared.size(), 3u);
    // One position in 16 is sampled in sets this small.
    ASSERT_EQ(shared[1].size(), 1u) << "only b's copy of a counts";
    EXPECT_EQ(shared[1][0].first, std::vector<std::size_t>{0});
    EXPECT_NEAR(static_cast<double>(shared[1][0].second), copied / 16.0, copied / 16.0 / 5);
    EXPECT_TRUE(shared[0].empty()) << "a is taken for a copy, of b or of c, which cannot be a source";
    ASSERT_EQ(shared[2].size(), 1u) << "c's chunk that a copied is a copy of a's for c";
    EXPECT_EQ(shared[2][0].first, std::vector<std::size_t>{0});
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
    const std::vector<std::size_t> order = order_maps(shared, maps_that_can_be_sources({true, true, false, true, true}));
    ASSERT_EQ(order.size(), 5u);
    EXPECT_EQ(order.back(), 2u);
    std::vector<std::size_t> chain;
    for (std::size_t m : order)
        if (m != 4 && m != 2) chain.push_back(m);
    EXPECT_TRUE(chain == (std::vector<std::size_t>{1, 0, 3}) || chain == (std::vector<std::size_t>{3, 0, 1}))
        << testing::PrintToString(order);
}
