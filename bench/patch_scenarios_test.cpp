#include "bench/patch_scenarios.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include "tests/support/map_builder.h"

using namespace map_layout;

namespace {

struct parsed_entry {
    std::string name;
    std::uint32_t type, offset, size;
    bytes content;
};

// Reads a map file's table the way the rebuild does, and checks what a patch relies on: each
// chunk inside the file behind the table, no two chunks overlapping, the name field zero behind
// its name (room for a source reference).
std::vector<parsed_entry> parse(const bytes& file) {
    std::vector<parsed_entry> entries;
    EXPECT_EQ(get_u32(file, 0), magic);
    const std::size_t count = get_u32(file, entry_count_at), table_end = table_at + entry_stride * count;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> spans;
    for (std::size_t i = 0; i < count; ++i) {
        const entry_chunk chunk = chunk_of(file, i);
        const std::size_t field = table_at + entry_stride * i + name_at;
        const std::string name(reinterpret_cast<const char*>(&file[field]));
        EXPECT_LT(name.size(), name_field_size);
        for (std::size_t k = name.size(); k < name_field_size; ++k) EXPECT_EQ(file[field + k], 0) << name;
        EXPECT_GE(chunk.offset, table_end);
        EXPECT_LE(std::size_t{chunk.offset} + chunk.size, file.size());
        if (chunk.size) spans.emplace_back(chunk.offset, chunk.offset + chunk.size);
        entries.push_back({name, get_u32(file, table_at + entry_stride * i + 8), chunk.offset, chunk.size, bytes(file.begin() + chunk.offset, file.begin() + chunk.offset + chunk.size)});
    }
    std::sort(spans.begin(), spans.end());
    for (std::size_t k = 1; k < spans.size(); ++k) EXPECT_LE(spans[k - 1].second, spans[k].first);
    return entries;
}

// Which stock maps hold each chunk content.
std::map<bytes, std::set<std::string>> stock_contents(const patch_bench_set& set) {
    std::map<bytes, std::set<std::string>> holders;
    for (const bench_map& map : set.stock)
        for (const parsed_entry& entry : parse(map.file))
            if (entry.size) holders[entry.content].insert(map.name);
    return holders;
}

const patch_scenario& scenario(const patch_bench_set& set, const std::string& name) {
    for (const patch_scenario& s : set.scenarios)
        if (s.name == name) return s;
    throw std::invalid_argument("no scenario " + name);
}

const patch_bench_set& the_set() {
    static const patch_bench_set set = make_patch_bench_set(1);
    return set;
}

}  // namespace

TEST(patch_scenarios, a_seed_gives_the_same_files_and_another_seed_other_ones) {
    const patch_bench_set again = make_patch_bench_set(1), other = make_patch_bench_set(2);
    ASSERT_EQ(again.stock.size(), the_set().stock.size());
    for (std::size_t i = 0; i < again.stock.size(); ++i) EXPECT_EQ(again.stock[i].file, the_set().stock[i].file);
    for (std::size_t i = 0; i < again.scenarios.size(); ++i) EXPECT_EQ(again.scenarios[i].map.file, the_set().scenarios[i].map.file);
    EXPECT_NE(other.stock[0].file, the_set().stock[0].file);
}

TEST(patch_scenarios, the_stock_set_is_31_distinct_maps_that_share_resources_at_other_offsets) {
    const patch_bench_set& set = the_set();
    ASSERT_EQ(set.stock.size(), 31u);
    std::set<std::string> names;
    std::set<bytes> files;
    std::map<bytes, std::set<std::uint32_t>> offsets;
    for (const bench_map& map : set.stock) {
        std::string lower = map.name;
        std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        names.insert(lower);
        files.insert(map.file);
        const std::vector<parsed_entry> entries = parse(map.file);
        ASSERT_EQ(entries.size(), map.chunks.size());
        for (std::size_t i = 0; i < entries.size(); ++i) {
            EXPECT_EQ(entries[i].name, map.chunks[i].name);
            EXPECT_EQ(entries[i].content, map.chunks[i].content);
            if (entries[i].size) offsets[entries[i].content].insert(entries[i].offset);
        }
    }
    EXPECT_EQ(names.size(), 31u);
    EXPECT_EQ(files.size(), 31u);
    std::size_t shared = 0, moved = 0;
    for (const auto& [content, holders] : stock_contents(set)) {
        shared += holders.size() > 1;
        moved += offsets[content].size() > 1;
    }
    EXPECT_GE(shared, 20u);
    EXPECT_GE(moved, 20u);
}

TEST(patch_scenarios, edits_keep_the_table_and_change_few_bytes_of_several_chunks) {
    const patch_bench_set& set = the_set();
    const std::vector<parsed_entry> edited = parse(scenario(set, "edited").map.file);
    const std::vector<parsed_entry> base = parse(set.stock[3].file);
    ASSERT_EQ(edited.size(), base.size());
    std::size_t changed_chunks = 0, changed_bytes = 0, total = 0;
    for (std::size_t i = 0; i < base.size(); ++i) {
        ASSERT_EQ(edited[i].name, base[i].name);
        ASSERT_EQ(edited[i].offset, base[i].offset);
        ASSERT_EQ(edited[i].size, base[i].size);
        std::size_t differ = 0;
        for (std::size_t k = 0; k < base[i].size; ++k) differ += edited[i].content[k] != base[i].content[k];
        changed_chunks += differ > 0;
        changed_bytes += differ;
        total += base[i].size;
    }
    EXPECT_GE(changed_chunks, 5u);
    EXPECT_GT(changed_bytes, 0u);
    EXPECT_LT(changed_bytes * 100, total);
}

TEST(patch_scenarios, aligned_scenarios_hold_stock_or_mod_chunks_whole_and_under_the_names_they_say) {
    const patch_bench_set& set = the_set();
    const auto holders = stock_contents(set);
    std::set<bytes> mod_only;
    for (const parsed_entry& entry : parse(set.mod.file))
        if (entry.size && !holders.count(entry.content)) mod_only.insert(entry.content);
    EXPECT_GE(mod_only.size(), 6u);
    std::set<std::string> stock_names;
    for (const bench_map& map : set.stock)
        for (const map_chunk& chunk : map.chunks) stock_names.insert(chunk.name);

    // reordered: the same chunks as one stock map, in another table order and file order.
    const std::vector<parsed_entry> reordered = parse(scenario(set, "reordered").map.file), kiln = parse(set.stock[13].file);
    std::multiset<std::pair<std::string, bytes>> a, b;
    for (const parsed_entry& e : reordered) a.insert({e.name, e.content});
    for (const parsed_entry& e : kiln) b.insert({e.name, e.content});
    EXPECT_EQ(a, b);
    std::vector<std::string> table_order, file_order, stock_order;
    std::vector<parsed_entry> by_offset = reordered;
    std::stable_sort(by_offset.begin(), by_offset.end(), [](const parsed_entry& x, const parsed_entry& y) { return x.offset < y.offset; });
    for (std::size_t i = 0; i < reordered.size(); ++i) {
        table_order.push_back(reordered[i].name);
        file_order.push_back(by_offset[i].name);
        stock_order.push_back(kiln[i].name);
    }
    EXPECT_NE(table_order, stock_order);
    EXPECT_NE(table_order, file_order);

    // several: from at least three stock maps, with chunks found nowhere.
    std::set<std::string> from;
    std::size_t fresh = 0;
    for (const parsed_entry& e : parse(scenario(set, "several").map.file)) {
        if (!e.size) continue;
        const auto found = holders.find(e.content);
        if (found == holders.end()) ++fresh;
        else if (found->second.size() == 1) from.insert(*found->second.begin());
    }
    EXPECT_GE(from.size(), 3u);
    EXPECT_EQ(fresh, 2u);

    // renamed: every chunk is a stock chunk, none under a name any stock map uses.
    for (const parsed_entry& e : parse(scenario(set, "renamed").map.file)) {
        EXPECT_FALSE(stock_names.count(e.name)) << e.name;
        if (e.size) {
            EXPECT_TRUE(holders.count(e.content)) << e.name;
        }
    }

    // beside: some chunks only the mod's own map holds.
    std::size_t from_mod = 0;
    for (const parsed_entry& e : parse(scenario(set, "beside").map.file)) from_mod += mod_only.count(e.content);
    EXPECT_GE(from_mod, 3u);
    EXPECT_TRUE(scenario(set, "beside").beside);
}

TEST(patch_scenarios, insertions_grow_chunks_and_shift_their_tails) {
    const patch_bench_set& set = the_set();
    const patch_scenario& inserted = scenario(set, "inserted");
    EXPECT_FALSE(inserted.aligned);
    std::map<std::string, bytes> base;
    for (const parsed_entry& e : parse(set.stock[21].file)) base[e.name] = e.content;
    std::size_t grown = 0, shifted = 0;
    for (const parsed_entry& e : parse(inserted.map.file)) {
        const bytes& before = base.at(e.name);
        ASSERT_GE(e.size, before.size()) << e.name;
        if (e.size == before.size()) continue;
        ++grown;
        if (e.type != 1 && e.type != 2) continue;  // textures and sounds take one run of bytes
        // The old bytes are all there, those behind the inserted run moved by its length.
        const std::size_t head = std::mismatch(before.begin(), before.end(), e.content.begin()).first - before.begin();
        EXPECT_LT(head, before.size()) << e.name << ": nothing moved";
        EXPECT_TRUE(std::equal(before.begin() + head, before.end(), e.content.begin() + head + (e.size - before.size()))) << e.name;
        ++shifted;
    }
    EXPECT_GE(shifted, 2u);
    EXPECT_GE(grown, 3u);
    for (const patch_scenario& s : set.scenarios)
        if (s.name != "inserted") {
            EXPECT_TRUE(s.aligned) << s.name;
        }
}

TEST(patch_scenarios, a_layout_must_be_a_permutation_of_the_chunks) {
    const std::vector<map_chunk> chunks = {{"a", 1, bytes(5, 1)}, {"b", 2, bytes(3, 2)}};
    const bytes file = lay_out_map(chunks, 9, {1, 0});
    const std::vector<parsed_entry> entries = parse(file);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_LT(entries[1].offset, entries[0].offset);
    EXPECT_EQ(entries[0].offset % 16, 0u);
    EXPECT_THROW(lay_out_map(chunks, 9, {1, 1}), std::invalid_argument);
    EXPECT_THROW(lay_out_map(chunks, 9, {0}), std::invalid_argument);
    EXPECT_THROW(lay_out_map({{std::string(263, 'x'), 1, {}}}, 9), std::invalid_argument);
}
