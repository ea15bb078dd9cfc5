#include "diff/patch_writer.h"

#include <gtest/gtest.h>

#include "common/storage_memory.h"
#include "format/rebuild.h"
#include "tests/support/map_builder.h"

namespace {

struct planned {
    bytes patch;
    patch_plan plan;
    int rebuild = -1;
    bytes rebuilt;
};

struct named_source {
    std::string name;
    bytes content;
    bool beside = false;
};

// Plans the patch of `map` against the sources, all in memory, then rebuilds it there with
// mapmend's rebuild, the beside sources next to the patch.
// With `usable`, on one index of every source, drawing only on those it marks.
planned plan_and_rebuild(const bytes& map, const std::vector<named_source>& given,
                         const std::vector<bool>& usable = {}, std::size_t workers = 1) {
    memory_files memory;
    std::vector<patch_source> sources;
    for (const named_source& s : given) {
        const std::string path = (s.beside ? "mods/" : "maps/") + s.name;
        memory.files[path] = s.content;
        patch_source source;
        source.name = s.name;
        source.path = path;
        source.in_patch_folder = s.beside;
        source.size = s.content.size();
        read_map_table(s.content.data(), s.content.size(), source.table);
        sources.push_back(std::move(source));
    }
    std::vector<table_entry> table;
    EXPECT_EQ(read_map_table(map.data(), map.size(), table), table_reading::ok);

    planned out;
    memory.files["mods/Level.qmp"] = map;
    progress quiet;
    if (usable.empty()) {
        EXPECT_TRUE(write_patch_in_place(storage{&memory}, "mods/Level.qmp", table, sources, out.plan, quiet, workers));
    } else {
        block_index index;
        EXPECT_TRUE(build_block_index(storage{&memory}, sources, index, quiet, workers));
        EXPECT_TRUE(
            write_patch_on_index(storage{&memory}, "mods/Level.qmp", table, sources, index, usable, out.plan, quiet, workers));
    }
    out.patch = memory.files["mods/Level.qmp"];
    out.rebuild = rebuild_map_file(storage{&memory}, "mods/Level.qmp", "maps\\");
    if (out.rebuild == rebuilt) out.rebuilt = memory.files["mods/Level.qmw"];
    return out;
}

bool referenced(const planned& p, std::size_t entry) {
    for (const planned_reference& r : p.plan.references)
        if (r.entry == entry) return true;
    return false;
}

void copy_bytes(const bytes& from, std::size_t from_at, bytes& to, std::size_t to_at, std::size_t size) {
    std::copy(from.begin() + static_cast<std::ptrdiff_t>(from_at), from.begin() + static_cast<std::ptrdiff_t>(from_at + size),
              to.begin() + static_cast<std::ptrdiff_t>(to_at));
}

// A map of `entries` entries with short names whose chunks, behind the table, are seeded bytes.
bytes plain_map(std::uint64_t seed, std::size_t size, std::size_t entries, std::size_t chunk) {
    bytes map = seeded_random{seed}.fill(size);
    for (std::size_t at = 4; at < map_layout::table_at + map_layout::entry_stride * entries + 600; ++at) map[at] = 0;
    put_u32(map, 0, map_layout::magic);
    put_u32(map, map_layout::entry_count_at, static_cast<std::uint32_t>(entries));
    const std::size_t start = map_layout::table_at + map_layout::entry_stride * entries + 600;
    for (std::size_t i = 0; i < entries; ++i)
        set_entry(map, i, static_cast<std::uint32_t>(start + i * chunk), static_cast<std::uint32_t>(chunk), "e" + std::to_string(i));
    return map;
}

}  // namespace

// Chunks found at other offsets, in other files, under other names, in a stock map and beside
// the patch: each is referenced and the rebuild gives the map back.
TEST(plan_patch, finds_moved_and_renamed_chunks_in_every_source) {
    const bytes alpha = synthetic_map(1, 200000, 4);
    const bytes beta = synthetic_map(2, 150000, 3);
    const bytes town = synthetic_map(3, 90000, 2);
    bytes map = plain_map(4, 120000, 5, 8000);
    const std::size_t first = chunk_of(map, 0).offset;
    copy_bytes(alpha, 77777, map, first, 8000);                      // at another offset
    copy_bytes(beta, chunk_of(beta, 2).offset, map, first + 8000, 8000);  // another entry's chunk
    copy_bytes(town, 1234, map, first + 16000, 8000);                // beside the patch
    copy_bytes(alpha, 150001, map, first + 24000, 8000);
    map[first + 24000 + 500] ^= 0x55;  // edited inside the chunk
    // Entry 4 keeps bytes found nowhere.
    const planned p = plan_and_rebuild(map, {{"Alpha.qmw", alpha}, {"Beta.qmw", beta}, {"Town.qmw", town, true}});
    ASSERT_EQ(p.rebuild, rebuilt);
    EXPECT_TRUE(p.rebuilt == map);
    for (std::size_t i = 0; i < 4; ++i) EXPECT_TRUE(referenced(p, i)) << "entry " << i;
    EXPECT_FALSE(referenced(p, 4)) << "a reference that does not pay";
    EXPECT_EQ(p.plan.chunks_from, (std::vector<std::uint64_t>{2, 1, 1}));
    EXPECT_EQ(p.plan.bytes_from[2], 8000u);
}

TEST(plan_patch, small_chunks_are_found_under_their_own_name) {
    const bytes alpha = synthetic_map(5, 50000, 6);
    bytes map = plain_map(6, 30000, 2, 40);
    set_entry(map, 1, chunk_of(map, 1).offset, 40, "Named");
    bytes source = alpha;
    set_entry(source, 3, 20000, 40, "Named");
    copy_bytes(source, 20000, map, chunk_of(map, 1).offset, 40);
    const planned p = plan_and_rebuild(map, {{"Alpha.qmw", source}});
    ASSERT_EQ(p.rebuild, rebuilt);
    EXPECT_TRUE(p.rebuilt == map);
    EXPECT_TRUE(referenced(p, 1));
    EXPECT_FALSE(referenced(p, 0));
}

// Short chunks copied in a run hold no whole block of the index: found where the run's longer chunk before or after them ends or begins, in the same
// source, under other names; the same short bytes alone, with no run around them, are not.
TEST(plan_patch, short_chunks_of_a_run_are_found_beside_its_long_ones) {
    const bytes alpha = synthetic_map(9, 120000, 3);
    bytes map = plain_map(10, 60000, 5, 0);
    const std::size_t start = chunk_of(map, 0).offset;
    const std::uint32_t sizes[5] = {3000, 40, 50, 3000, 50};
    std::size_t at = start;
    for (std::size_t i = 0; i < 5; ++i) {
        set_entry(map, i, static_cast<std::uint32_t>(at), sizes[i], "s" + std::to_string(i));
        at += sizes[i];
    }
    copy_bytes(alpha, 40001, map, start, 6090);         // entries 0 to 3, one run of the source
    copy_bytes(alpha, 90003, map, start + 6090, 50);    // entry 4 on its own
    const planned p = plan_and_rebuild(map, {{"Alpha.qmw", alpha}});
    ASSERT_EQ(p.rebuild, rebuilt);
    EXPECT_TRUE(p.rebuilt == map);
    for (std::size_t i = 0; i < 4; ++i) EXPECT_TRUE(referenced(p, i)) << "entry " << i;
    EXPECT_FALSE(referenced(p, 4));
}

// Where a reference may not go: too little room behind the name before the next entry, a name
// field without NUL before the next entry, a chunk right behind the name, a chunk that covers
// table bytes, a best range at offset 0. Every such entry keeps its own bytes, and the rebuild
// still gives the map back.
TEST(plan_patch, references_only_go_where_the_scan_allows) {
    const bytes alpha = synthetic_map(7, 100000, 3);
    bytes map = plain_map(8, 60000, 6, 2000);
    for (std::size_t i = 0; i < 6; ++i) copy_bytes(alpha, 30001 + 2000 * i, map, chunk_of(map, i).offset, 2000);
    // Entry 0: a name leaving 266 - 258 = 8 bytes, short of the 6 + 9 a reference to Alpha.qmw needs.
    set_entry(map, 0, chunk_of(map, 0).offset, 2000, std::string(258, 'n'));
    // Entry 1: a name field without NUL: the reference would start on entry 2's fields' doorstep.
    set_entry(map, 1, chunk_of(map, 1).offset, 2000, std::string(263, 'f'));
    // Entry 2: a chunk that starts right behind the name field, so the reference would reach it.
    const std::size_t behind_name = map_layout::table_at + map_layout::entry_stride * 2 + map_layout::name_at + 4;
    set_entry(map, 2, static_cast<std::uint32_t>(behind_name + 8), 100, "abc");
    // Entry 3: a chunk over entry 4's fields.
    set_entry(map, 3, static_cast<std::uint32_t>(map_layout::table_at + map_layout::entry_stride * 4), 100, "t3");
    // Entry 4: its bytes are only at offset 0 of the source.
    copy_bytes(alpha, 0, map, chunk_of(map, 4).offset, 2000);
    const planned p = plan_and_rebuild(map, {{"Alpha.qmw", alpha}});
    ASSERT_EQ(p.rebuild, rebuilt);
    EXPECT_TRUE(p.rebuilt == map);
    for (std::size_t i = 0; i < 5; ++i) EXPECT_FALSE(referenced(p, i)) << "entry " << i;
    EXPECT_TRUE(referenced(p, 5)) << "the one entry with room";
}

TEST(plan_patch, a_name_field_without_nul_on_the_last_entry_takes_a_reference_behind_the_table) {
    const bytes alpha = synthetic_map(9, 100000, 3);
    bytes map = plain_map(10, 40000, 2, 3000);
    set_entry(map, 1, chunk_of(map, 1).offset, 3000, std::string(263, 'L'));
    copy_bytes(alpha, 40000, map, chunk_of(map, 1).offset, 3000);
    const planned p = plan_and_rebuild(map, {{"Alpha.qmw", alpha}});
    ASSERT_EQ(p.rebuild, rebuilt);
    EXPECT_TRUE(p.rebuilt == map);
    ASSERT_TRUE(referenced(p, 1));
    const std::size_t at = map_layout::table_at + map_layout::entry_stride + map_layout::name_at + 263;
    EXPECT_EQ(get_u32(p.patch, at), 40000u);
}

// Overlapping chunks, each drawn from its own source: the rebuild adds both sources to the
// bytes they share, in whatever order it applies them.
TEST(plan_patch, overlapping_chunks_rebuild_whatever_the_order) {
    const bytes alpha = synthetic_map(11, 100000, 3);
    const bytes beta = synthetic_map(12, 100000, 3);
    bytes map = plain_map(13, 50000, 3, 4000);
    const std::size_t start = chunk_of(map, 0).offset;
    copy_bytes(alpha, 10001, map, start, 4000);
    set_entry(map, 1, static_cast<std::uint32_t>(start + 2000), 4000, "over");
    copy_bytes(beta, 20001, map, start + 4000, 2000);  // entry 1's second half
    set_entry(map, 2, static_cast<std::uint32_t>(start + 1000), 500, "inside");
    const planned p = plan_and_rebuild(map, {{"Zeta.qmw", beta}, {"Alpha.qmw", alpha}});
    ASSERT_EQ(p.rebuild, rebuilt);
    EXPECT_TRUE(p.rebuilt == map);
    EXPECT_TRUE(referenced(p, 0));
}

// A chunk several times the size of one read, found in two sources, one of which differs from it
// in a quarter of its bytes: the whole chunk's difference picks the other.
TEST(plan_patch, a_chunk_larger_than_a_read_is_found_and_rebuilt) {
    constexpr std::size_t size = std::size_t{9} << 20;
    const bytes alpha = synthetic_map(14, size + 300000, 2);
    bytes beta = alpha;
    for (std::size_t at = 200000; at < 200000 + size / 4; ++at) beta[at] = static_cast<unsigned char>(beta[at] * 7 + 3);
    bytes map = plain_map(15, size + 20000, 1, size);
    copy_bytes(alpha, 200000, map, chunk_of(map, 0).offset, size);
    map[chunk_of(map, 0).offset + size - 10] ^= 1;
    const planned p = plan_and_rebuild(map, {{"Beta.qmw", beta}, {"Alpha.qmw", alpha}});
    ASSERT_EQ(p.rebuild, rebuilt);
    EXPECT_TRUE(p.rebuilt == map);
    ASSERT_EQ(p.plan.references.size(), 1u);
    EXPECT_EQ(p.plan.references[0].source, 1u) << "the source that differs in a quarter of the chunk";
    EXPECT_EQ(p.plan.references[0].source_offset, 200000);
}

// One index for several maps: a source the map may not draw on (the map itself, a map installed
// after it) is never referenced, even where it alone holds a chunk's bytes; and the map's own
// blocks, met by the scan before a usable source's, do not keep that source from being found.
TEST(plan_patch, on_a_shared_index_only_usable_sources_are_drawn_on) {
    const bytes alpha = synthetic_map(16, 100000, 3);
    const bytes later = synthetic_map(17, 100000, 3);
    bytes map = plain_map(18, 60000, 3, 6000);
    // The chunks start 40 bytes past a block boundary of the map (64-byte blocks): the scan meets
    // the map's own block 24 bytes in, and Alpha's, 20 bytes past its boundaries, 44 bytes in.
    ASSERT_EQ(chunk_of(map, 0).offset % 64, 40u);
    copy_bytes(alpha, 30036, map, chunk_of(map, 0).offset, 6000);
    copy_bytes(later, 40001, map, chunk_of(map, 1).offset, 6000);
    copy_bytes(alpha, 60052, map, chunk_of(map, 2).offset, 6000);
    const planned p = plan_and_rebuild(map, {{"Alpha.qmw", alpha}, {"Self.qmw", map, true}, {"Later.qmw", later, true}},
                                       {true, false, false});
    ASSERT_EQ(p.rebuild, rebuilt);
    EXPECT_TRUE(p.rebuilt == map);
    EXPECT_TRUE(referenced(p, 0));
    EXPECT_FALSE(referenced(p, 1));
    EXPECT_TRUE(referenced(p, 2));
    EXPECT_EQ(p.plan.chunks_from, (std::vector<std::uint64_t>{2, 0, 0}));
}

// Releases must be reproducible: several workers write the very patch one writes, with chunks
// that overlap others or the table (planned in table order) among those planned apart.
TEST(plan_patch, the_patch_is_the_same_whatever_the_number_of_workers) {
    const bytes alpha = synthetic_map(19, 400000, 5);
    const bytes beta = synthetic_map(20, 300000, 4);
    bytes map = plain_map(21, 200000, 40, 4000);
    seeded_random pick{22};
    for (std::size_t i = 0; i < 40; ++i) {
        const bytes& from = i % 3 == 0 ? beta : alpha;
        if (i % 7 != 6) copy_bytes(from, 1000 + pick.below(250000), map, chunk_of(map, i).offset, 4000);
        if (i % 5 == 1) map[chunk_of(map, i).offset + 1234] ^= 0x40;
    }
    const std::size_t start = chunk_of(map, 10).offset;
    set_entry(map, 11, static_cast<std::uint32_t>(start + 2500), 3000, "over");  // overlaps entries 10 and 12
    set_entry(map, 20, static_cast<std::uint32_t>(map_layout::table_at + map_layout::entry_stride * 21), 400, "table");
    const std::vector<named_source> sources{{"Alpha.qmw", alpha}, {"Beta.qmw", beta, true}};
    const planned one = plan_and_rebuild(map, sources);
    ASSERT_EQ(one.rebuild, rebuilt);
    EXPECT_TRUE(one.rebuilt == map);
    EXPECT_GT(one.plan.references.size(), 25u);
    for (std::size_t workers : {2, 3, 8}) {
        for (const bool shared : {false, true}) {
            const planned several = plan_and_rebuild(map, sources, shared ? std::vector<bool>{true, true} : std::vector<bool>{}, workers);
            EXPECT_TRUE(several.patch == one.patch) << workers << " workers";
            ASSERT_EQ(several.plan.references.size(), one.plan.references.size());
            for (std::size_t k = 0; k < one.plan.references.size(); ++k) {
                EXPECT_EQ(several.plan.references[k].entry, one.plan.references[k].entry);
                EXPECT_EQ(several.plan.references[k].source_offset, one.plan.references[k].source_offset);
            }
            EXPECT_EQ(several.plan.bytes_from, one.plan.bytes_from);
        }
    }
}
