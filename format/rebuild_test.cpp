#include "format/rebuild.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>

#include "common/storage_memory.h"
#include "tests/support/map_builder.h"

namespace {

struct rebuild_fixture : ::testing::Test {
    temp_folder folder;
    std::string maps = folder / "Maps";
    std::string mods = folder / "Mods";
    std::string maps_path = maps + "\\";  // as the command line hands it on

    void SetUp() override {
        make_folder(maps);
        make_folder(mods);
    }

    std::string mod(const std::string& name) const { return mods + "/" + name; }

    bytes stock(const std::string& name, std::uint64_t seed, std::size_t size) {
        bytes content = synthetic_map(seed, size, 3);
        write_file(maps + "/" + name, content);
        return content;
    }
};

// The bytes of a patch once its source references are zeroed: what a rebuild starts from.
bytes zeroed_references(bytes patch, const std::vector<std::size_t>& entries) {
    for (const std::size_t i : entries) {
        const std::size_t at = source_reference_at(patch, i);
        std::size_t end = at + 4;
        while (patch[end] != 0) ++end;
        for (std::size_t k = at; k <= end + 1; ++k) patch[k] = 0;
    }
    return patch;
}

}  // namespace

TEST(rebuild_paths, map_file_and_patch_folder) {
    EXPECT_EQ(map_file_path("D:\\Mods\\MyMap.qmp"), "D:\\Mods\\MyMap.qmw");
    EXPECT_EQ(map_file_path("D:\\maps.v2\\level"), "D:\\maps.v2\\level.qmw");
    EXPECT_EQ(patch_folder("D:\\maps.v2\\level"), "D:\\maps.v2");
    EXPECT_EQ(patch_folder("a/b\\c.qmp"), "a/b");
    EXPECT_EQ(patch_folder("Level.qmp"), ".");
}

TEST_F(rebuild_fixture, rebuilds_chunks_from_stock_sources_and_leaves_the_patch_alone) {
    const bytes alpha = stock("Alpha.qmw", 1, 300000);
    const bytes beta = stock("Beta.qmw", 2, 200000);
    const bytes target = synthetic_map(3, 250000, 4);
    const bytes patch = make_patch(target, {{0, 1000, "Alpha.qmw", 0, &alpha},
                                            {1, 5, "Beta.qmw", 0, &beta},
                                            {3, 77777, "Alpha.qmw", 0, &alpha}});
    write_file(mod("Level.qmp"), patch);
    ASSERT_EQ(rebuild_map_file(mod("Level.qmp"), maps_path), rebuilt);
    EXPECT_EQ(read_file(mod("Level.qmw")), target);
    EXPECT_EQ(read_file(mod("Level.qmp")), patch);
}

TEST_F(rebuild_fixture, an_existing_map_file_is_never_touched) {
    write_file(mod("Level.qmp"), synthetic_map(4, 5000, 2));
    write_file(mod("Level.qmw"), std::string("keep me"));
    EXPECT_EQ(rebuild_map_file(mod("Level.qmp"), maps_path), output_unavailable);
    EXPECT_EQ(read_file(mod("Level.qmw")), bytes({'k', 'e', 'e', 'p', ' ', 'm', 'e'}));
}

TEST_F(rebuild_fixture, a_file_without_the_magic_is_copied_and_refused) {
    bytes not_patch = synthetic_map(5, 5000, 2);
    not_patch[3] = 0xC1;
    write_file(mod("Level.qmp"), not_patch);
    EXPECT_EQ(rebuild_map_file(mod("Level.qmp"), maps_path), not_a_patch);
    EXPECT_EQ(read_file(mod("Level.qmw")), not_patch);

    write_file(mod("Tiny.qmp"), std::string("\x01\x00", 2));
    EXPECT_EQ(rebuild_map_file(mod("Tiny.qmp"), maps_path), not_a_patch);
}

TEST_F(rebuild_fixture, a_patch_without_references_rebuilds_to_itself) {
    const bytes map = synthetic_map(6, 9000, 5);
    make_folder(folder / "maps.v2");
    write_file(folder / "maps.v2/level", map);
    ASSERT_EQ(rebuild_map_file(folder / "maps.v2/level", maps_path), rebuilt);
    EXPECT_EQ(read_file(folder / "maps.v2/level.qmw"), map);
}

TEST_F(rebuild_fixture, missing_sources_are_rebuilt_from_sibling_patches_first) {
    const bytes alpha = stock("Alpha.qmw", 7, 100000);
    const bytes beta = stock("Beta.qmw", 8, 100000);
    // Top needs Mid (named as a stock file, missing there) and Beta; Mid needs Alpha and Low,
    // a missing patch-folder source; each is rebuilt from its sibling patch first.
    const bytes low = synthetic_map(9, 60000, 2);
    const bytes mid = synthetic_map(10, 90000, 3);
    const bytes top = synthetic_map(11, 80000, 3);
    const std::string m = mods;
    write_file(m + "/Low.qmp", make_patch(low, {{1, 10, "Alpha.qmw", 0, &alpha}}));
    write_file(m + "/Mid.qmp", make_patch(mid, {{0, 300, "Alpha.qmw", 0, &alpha}, {2, 1, "Low.qmw", 1, &low}}));
    write_file(m + "/Top.qmp", make_patch(top, {{0, 4000, "Mid.qmw", 0, &mid}, {1, 2, "Beta.qmw", 0, &beta}}));
    ASSERT_EQ(rebuild_map_file(m + "/Top.qmp", maps_path), rebuilt);
    EXPECT_EQ(read_file(m + "/Top.qmw"), top);
    EXPECT_EQ(read_file(m + "/Mid.qmw"), mid);
    EXPECT_EQ(read_file(m + "/Low.qmw"), low);
}

TEST_F(rebuild_fixture, a_source_name_without_extension_uses_its_whole_name_for_the_sibling) {
    const bytes alpha = stock("Alpha.qmw", 12, 50000);
    const bytes plain = synthetic_map(13, 40000, 2);
    write_file(mod("Plain.qmp"), make_patch(plain, {{0, 9, "Alpha.qmw", 0, &alpha}}));
    // "Plain" is missing; its sibling is Plain.qmp, whose output Plain.qmw is then opened as
    // "Plain" and cannot be: the rebuild fails rather than reading nothing.
    const bytes top = synthetic_map(14, 40000, 2);
    write_file(mod("Top.qmp"), make_patch(top, {{0, 9, "Plain", 1, &plain}}));
    EXPECT_EQ(rebuild_map_file(mod("Top.qmp"), maps_path), source_unreadable);
    EXPECT_EQ(read_file(mod("Plain.qmw")), plain);
}

TEST_F(rebuild_fixture, a_stock_name_already_in_the_patch_folder_is_not_used) {
    const bytes alpha = synthetic_map(15, 50000, 2);
    write_file(mod("Alpha.qmw"), alpha);  // not in the maps folder
    const bytes top = synthetic_map(16, 40000, 2);
    write_file(mod("Top.qmp"), make_patch(top, {{0, 9, "Alpha.qmw", 0, &alpha}}));
    EXPECT_EQ(rebuild_map_file(mod("Top.qmp"), maps_path), source_missing);

    write_file(mod("Alpha.qmp"), alpha);
    std::remove((mods + "/Top.qmw").c_str());
    EXPECT_EQ(rebuild_map_file(mod("Top.qmp"), maps_path), output_unavailable);
}

TEST_F(rebuild_fixture, an_existing_patch_folder_source_is_read_directly) {
    const bytes side = synthetic_map(17, 50000, 2);
    write_file(mod("Side.qmw"), side);
    write_file(mod("Side.qmp"), std::string("not a patch at all"));
    const bytes top = synthetic_map(18, 40000, 2);
    write_file(mod("Top.qmp"), make_patch(top, {{1, 99, "Side.qmw", 1, &side}}));
    ASSERT_EQ(rebuild_map_file(mod("Top.qmp"), maps_path), rebuilt);
    EXPECT_EQ(read_file(mod("Top.qmw")), top);
}

TEST_F(rebuild_fixture, neighbours_with_one_name_share_the_first_entrys_folder) {
    // After sorting, the last maps-folder name equals the first patch-folder name: one group,
    // read from the maps folder; a different file of that name in the patch folder is ignored.
    const bytes shared = stock("Shared.qmw", 19, 50000);
    write_file(mod("Shared.qmw"), synthetic_map(20, 50000, 2));
    const bytes top = synthetic_map(21, 40000, 3);
    write_file(mod("Top.qmp"), make_patch(top, {{0, 9, "Shared.qmw", 1, &shared}, {1, 99, "Shared.qmw", 0, &shared}}));
    ASSERT_EQ(rebuild_map_file(mod("Top.qmp"), maps_path), rebuilt);
    EXPECT_EQ(read_file(mod("Top.qmw")), top);
}

TEST_F(rebuild_fixture, overlapping_chunks_add_up_and_empty_chunks_change_nothing) {
    const bytes alpha = stock("Alpha.qmw", 22, 50000);
    const bytes beta = stock("Beta.qmw", 23, 50000);
    bytes target = synthetic_map(24, 30000, 4);
    // Entry 0: an empty chunk whose 263-byte name pushes its reference over entry 1's chunk
    // fields, which are zero; entry 3's chunk overlaps entry 2's.
    set_entry(target, 0, 0, 0, std::string(263, 'Q'));
    set_entry(target, 1, 0, 0, "");
    std::fill(target.begin() + 356, target.begin() + 356 + 6 + 8, 0);
    const entry_chunk two = chunk_of(target, 2);
    set_entry(target, 3, two.offset + 100, 500, "overlap");
    const bytes patch =
        make_patch(target, {{0, 123, "Beta.qmw", 0, &beta}, {2, 7, "Alpha.qmw", 0, &alpha}, {3, 3, "Beta.qmw", 0, &beta}});
    write_file(mod("Top.qmp"), patch);
    ASSERT_EQ(rebuild_map_file(mod("Top.qmp"), maps_path), rebuilt);
    EXPECT_EQ(read_file(mod("Top.qmw")), target);
}

TEST_F(rebuild_fixture, chunks_larger_than_a_window_rebuild_exactly) {
    const std::size_t big = (std::size_t{5} << 20) / 2 + 3;
    const bytes alpha = stock("Alpha.qmw", 25, big + 4096);
    bytes target = synthetic_map(26, big + 8192, 1);
    set_entry(target, 0, 4000, static_cast<std::uint32_t>(big), "big");
    write_file(mod("Big.qmp"), make_patch(target, {{0, 4093, "Alpha.qmw", 0, &alpha}}));
    ASSERT_EQ(rebuild_map_file(mod("Big.qmp"), maps_path), rebuilt);
    EXPECT_EQ(read_file(mod("Big.qmw")), target);
}

TEST_F(rebuild_fixture, a_source_that_is_the_output_is_read_as_it_stands_before_each_write) {
    // One entry reads a range of the file being rebuilt that overlaps its own chunk, from
    // before it and from behind it, each larger than a window; a second reads what the first wrote.
    const std::size_t size = std::size_t{6} << 20;
    for (const bool source_first : {true, false}) {
        temp_folder scratch;
        bytes patch = seeded_random{27}.fill(size);
        put_u32(patch, 0, map_layout::magic);
        put_u32(patch, 24, 2);
        const std::uint32_t chunk = 2u << 20, length = (2u << 20) + 5;
        const std::uint32_t from = source_first ? chunk - 1000 : chunk + 777;
        set_entry(patch, 0, chunk, length, "self");
        set_source_reference(patch, 0, static_cast<std::int32_t>(from), "Self.qmw", 1);
        set_entry(patch, 1, 5u << 20, 4096, "after");
        set_source_reference(patch, 1, static_cast<std::int32_t>(chunk), "Self.qmw", 1);
        write_file(scratch / "Self.qmp", patch);

        bytes expected = zeroed_references(patch, {0, 1});
        // Whole-chunk semantics, in sorted order (smaller source offset first).
        auto apply = [&expected](std::uint32_t at, std::uint32_t source, std::uint32_t count) {
            const bytes before = expected;
            for (std::uint32_t j = 0; j < count; ++j)
                expected[at + j] = static_cast<unsigned char>(before[at + j] + before[source + j]);
        };
        if (source_first) {
            apply(chunk, from, length);
            apply(5u << 20, chunk, 4096);
        } else {
            apply(5u << 20, chunk, 4096);
            apply(chunk, from, length);
        }

        ASSERT_EQ(rebuild_map_file(scratch / "Self.qmp", maps_path), rebuilt) << source_first;
        EXPECT_TRUE(read_file(scratch / "Self.qmw") == expected) << "source first: " << source_first;
    }
}

TEST_F(rebuild_fixture, damaged_patches_fail_instead_of_reporting_success) {
    const bytes alpha = stock("Alpha.qmw", 28, 50000);
    const bytes target = synthetic_map(29, 40000, 3);
    const entry_chunk last = chunk_of(target, 2);

    struct damage {
        const char* what;
        std::function<void(bytes&)> apply;
        int expected;
    };
    const std::vector<damage> damages = {
        {"cut inside the table", [](bytes& p) { p.resize(400); }, damaged_patch},
        {"cut inside a chunk", [&](bytes& p) { p.resize(last.offset + 10); }, damaged_patch},
        {"chunk past the end", [&](bytes& p) { put_u32(p, 52 + 308 * 2 + 4, last.size + 1); }, damaged_patch},
        {"negative chunk offset", [](bytes& p) { put_u32(p, 52, 0x80000000u); }, damaged_patch},
        {"negative source offset", [&](bytes& p) { put_u32(p, source_reference_at(p, 0), 0xFFFFFFF0u); },
         damaged_patch},
        {"source too short", [&](bytes& p) { put_u32(p, source_reference_at(p, 0), 49990); }, source_too_short},
    };
    for (const damage& d : damages) {
        temp_folder scratch;
        bytes patch = make_patch(target, {{0, 10, "Alpha.qmw", 0, &alpha}, {2, 20, "Alpha.qmw", 0, &alpha}});
        d.apply(patch);
        write_file(scratch / "Top.qmp", patch);
        EXPECT_EQ(rebuild_map_file(scratch / "Top.qmp", maps_path), d.expected) << d.what;
        EXPECT_EQ(read_file(scratch / "Top.qmw").size(), patch.size()) << d.what;
    }
}

TEST_F(rebuild_fixture, unsafe_source_names_are_refused_before_anything_is_read) {
    make_folder(mods + "/sub");
    const bytes outside = synthetic_map(30, 50000, 2);
    write_file(folder / "Outside.qmw", outside);
    write_file(mods + "/sub/In.qmw", outside);
    const bytes target = synthetic_map(31, 40000, 2);
    for (const char* name : {"..\\Outside.qmw", "../Outside.qmw", "sub/In.qmw", "C:Outside.qmw", "..", "NUL", "con.qmw"}) {
        temp_folder scratch;
        write_file(scratch / "Top.qmp", make_patch(target, {{0, 10, name, 1, &outside}}));
        EXPECT_EQ(rebuild_map_file(scratch / "Top.qmp", maps_path), unsafe_source) << name;
        EXPECT_EQ(folder_listing(scratch.path), (std::vector<std::string>{"Top.qmp", "Top.qmw", "Top.qmw.rebuilding"}))
            << name;
    }
}

TEST_F(rebuild_fixture, a_source_without_patch_or_file_fails_with_source_missing) {
    const bytes ghost = synthetic_map(32, 50000, 2);
    const bytes target = synthetic_map(33, 40000, 2);
    write_file(mod("Top.qmp"), make_patch(target, {{0, 10, "Ghost.qmw", 0, &ghost}}));
    EXPECT_EQ(rebuild_map_file(mod("Top.qmp"), maps_path), source_missing);
}

TEST_F(rebuild_fixture, patches_that_need_each_other_end_without_looping) {
    const bytes a = synthetic_map(34, 20000, 2), b = synthetic_map(35, 20000, 2);
    write_file(mod("A.qmp"), make_patch(a, {{0, 10, "B.qmw", 1, &b}}));
    write_file(mod("B.qmp"), make_patch(b, {{0, 10, "A.qmw", 1, &a}}));
    // B's rebuild finds A.qmw (A's output in progress) and reads it as it stands.
    EXPECT_EQ(rebuild_map_file(mod("A.qmp"), maps_path), rebuilt);
    EXPECT_TRUE(exists(mod("B.qmw")));
}

TEST_F(rebuild_fixture, a_chain_too_deep_fails_cleanly) {
    const bytes base = synthetic_map(36, 2000, 1);
    const int length = 260;
    for (int i = 0; i < length; ++i) {
        const std::string next = "C" + std::to_string(i + 1) + ".qmw";
        write_file(mod("C" + std::to_string(i) + ".qmp"), make_patch(base, {{0, 10, next, 1, &base}}));
    }
    write_file(mod("C" + std::to_string(length) + ".qmw"), base);
    EXPECT_EQ(rebuild_map_file(mod("C0.qmp"), maps_path), nesting_too_deep);
}

namespace {

struct windowed_entry {
    std::uint32_t chunk, size, from;
    bool from_output;  // the source is the file being rebuilt, else Alpha.qmw in the maps folder
};

// Applies one patch of seeded bytes whose entries are `entries`, in that order (the order the
// rebuild sorts them into), a whole chunk at a time: the result windows must reproduce.
void expect_windowed_rebuild(const std::string& maps_path, const bytes& alpha,
                             const std::vector<windowed_entry>& entries, std::size_t size, const std::string& what) {
    temp_folder scratch;
    bytes patch = seeded_random{31}.fill(size);
    put_u32(patch, 0, map_layout::magic);
    put_u32(patch, 24, static_cast<std::uint32_t>(entries.size()));
    std::vector<std::size_t> all;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const windowed_entry& e = entries[i];
        set_entry(patch, i, e.chunk, e.size, "w" + std::to_string(i));
        set_source_reference(patch, i, static_cast<std::int32_t>(e.from), e.from_output ? "Self.qmw" : "Alpha.qmw",
                             e.from_output ? 1 : 0);
        all.push_back(i);
    }
    write_file(scratch / "Self.qmp", patch);

    bytes expected = zeroed_references(patch, all);
    for (const windowed_entry& e : entries) {
        const bytes before = expected;
        const bytes& source = e.from_output ? before : alpha;
        for (std::uint32_t j = 0; j < e.size; ++j)
            expected[e.chunk + j] = static_cast<unsigned char>(before[e.chunk + j] + source[e.from + j]);
    }
    ASSERT_EQ(rebuild_map_file(scratch / "Self.qmp", maps_path), rebuilt) << what;
    EXPECT_TRUE(read_file(scratch / "Self.qmw") == expected) << what;
}

}  // namespace

// Chunk sizes on either side of one and several windows, at offsets that are not multiples of
// anything, from a stock source and from the output itself with the source range a window, a
// byte or a window and a byte away from the chunk on either side.
TEST_F(rebuild_fixture, chunks_at_window_boundaries_rebuild_exactly) {
    const std::uint32_t w = static_cast<std::uint32_t>(rebuild_window_size);
    const std::size_t size = 8 * std::size_t{w};
    const bytes alpha = stock("Alpha.qmw", 30, 4 * std::size_t{w});

    for (const std::uint32_t length : {w - 1, w, w + 1, 2 * w - 1, 2 * w, 2 * w + 1, 3 * w + 7}) {
        expect_windowed_rebuild(maps_path, alpha, {{w + 13, length, 101, false}}, size,
                                "stock source, " + std::to_string(length) + " bytes");
    }
    const std::uint32_t chunk = 3 * w + 5, length = 2 * w + 3;
    for (const std::uint32_t from : {chunk - w - 1, chunk - w, chunk - w + 1, chunk - 1, chunk + 1, chunk + w - 1,
                                     chunk + w, chunk + w + 1}) {
        expect_windowed_rebuild(maps_path, alpha, {{chunk, length, from, true}}, size,
                                "output as source, from " + std::to_string(from) + " for a chunk at " +
                                    std::to_string(chunk));
    }
}

// The rebuild through memory files over the disk: the same bytes and results as on disk, with
// every nested rebuild's file made in memory and nothing written to the disk.
TEST_F(rebuild_fixture, in_memory_the_same_rebuild_writes_nothing) {
    const bytes alpha = stock("Alpha.qmw", 40, 100000);
    const bytes low = synthetic_map(41, 60000, 2);
    const bytes top = synthetic_map(42, 80000, 3);
    write_file(mod("Low.qmp"), make_patch(low, {{1, 10, "Alpha.qmw", 0, &alpha}}));
    write_file(mod("Top.qmp"), make_patch(top, {{0, 4000, "Low.qmw", 1, &low}, {2, 3, "Alpha.qmw", 0, &alpha}}));
    const std::vector<std::string> before = folder_listing(mods);

    memory_files memory;
    memory.disk_below = true;
    ASSERT_EQ(rebuild_map_file(storage{&memory}, mod("Top.qmp"), maps_path), rebuilt);
    EXPECT_EQ(folder_listing(mods), before) << "a file was written to the disk";
    EXPECT_TRUE(memory.files.at(memory_path(mod("Top.qmw"))) == top);
    EXPECT_TRUE(memory.files.at(memory_path(mod("Low.qmw"))) == low);

    // A second rebuild in the same memory finds its map file there, as on disk.
    EXPECT_EQ(rebuild_map_file(storage{&memory}, mod("Top.qmp"), maps_path), output_unavailable);
    memory_files fresh;
    fresh.disk_below = true;
    write_file(mod("Low.qmw"), std::string("short"));
    EXPECT_EQ(rebuild_map_file(storage{&fresh}, mod("Top.qmp"), maps_path), source_too_short);
}

TEST(rebuild_memory, a_memory_without_disk_rebuilds_from_its_own_files_only) {
    const bytes stock_bytes = synthetic_map(43, 20000, 2);
    const bytes target = synthetic_map(44, 30000, 2);
    memory_files memory;
    memory.files["maps/Stock.qmw"] = stock_bytes;
    memory.files["mods/Level.qmp"] = make_patch(target, {{0, 7, "Stock.qmw", 0, &stock_bytes}});
    ASSERT_EQ(rebuild_map_file(storage{&memory}, "mods/Level.qmp", "maps\\"), rebuilt);
    EXPECT_TRUE(memory.files.at("mods/Level.qmw") == target);
    memory.files.erase("mods/Level.qmw");
    memory.files.erase("maps/Stock.qmw");
    EXPECT_EQ(rebuild_map_file(storage{&memory}, "mods/Level.qmp", "maps\\"), source_missing);
}

TEST(rebuild_paths, a_patch_in_the_root_folder) {
    EXPECT_EQ(patch_folder("/P.qmp"), "/");
    EXPECT_EQ(patch_folder("\\P.qmp"), "\\");
}

// Maps that an earlier run began and did not finish, each with its marker: as a patch-folder
// source, and in the way of a nested rebuild of a maps-folder source. Without a sibling patch
// such a map is missing; with one it is moved aside and rebuilt, on disk and in memory alike.
TEST_F(rebuild_fixture, maps_left_unfinished_are_rebuilt_from_their_patches) {
    const bytes alpha = stock("Alpha.qmw", 50, 100000);
    const bytes low = synthetic_map(51, 60000, 2), mid = synthetic_map(52, 50000, 2), top = synthetic_map(53, 80000, 3);
    const bytes low_patch = make_patch(low, {{1, 10, "Alpha.qmw", 0, &alpha}});
    const bytes mid_patch = make_patch(mid, {{0, 20, "Alpha.qmw", 0, &alpha}});
    write_file(mod("Top.qmp"), make_patch(top, {{0, 4000, "Low.qmw", 1, &low}, {2, 30, "Mid.qmw", 0, &mid}}));
    write_file(mod("Mid.qmp"), mid_patch);
    for (const std::string name : {"Low.qmw", "Mid.qmw"}) {
        write_file(mod(name), low_patch);  // the copy a killed run left
        write_file(mod(name + ".rebuilding"), bytes{});
    }
    // Without its patch such a map is neither read nor moved.
    write_file(mod("Only.qmp"), make_patch(top, {{0, 40, "Low.qmw", 1, &low}}));
    EXPECT_EQ(rebuild_map_file(mod("Only.qmp"), maps_path), source_missing);
    EXPECT_EQ(read_file(mod("Low.qmw")), low_patch);
    EXPECT_FALSE(exists(mod("Low.qmw.old")));
    std::remove(mod("Only.qmp").c_str());
    std::remove(mod("Only.qmw").c_str());
    std::remove(mod("Only.qmw.rebuilding").c_str());

    write_file(mod("Low.qmp"), low_patch);
    memory_files memory;
    memory.disk_below = true;
    ASSERT_EQ(rebuild_map_file(storage{&memory}, mod("Top.qmp"), maps_path), rebuilt);
    EXPECT_TRUE(memory.files.at(memory_path(mod("Top.qmw"))) == top);
    EXPECT_TRUE(memory.files.at(memory_path(mod("Mid.qmw"))) == mid);
    EXPECT_FALSE(memory_path_exists(memory, mod("Low.qmw.rebuilding")));
    EXPECT_TRUE(memory_file_exists(memory, mod("Low.qmw.old")));

    ASSERT_EQ(rebuild_map_file(mod("Top.qmp"), maps_path), rebuilt);
    EXPECT_EQ(read_file(mod("Top.qmw")), top);
    EXPECT_EQ(read_file(mod("Low.qmw")), low);
    EXPECT_EQ(read_file(mod("Mid.qmw")), mid);
    EXPECT_EQ(read_file(mod("Low.qmw.old")), low_patch);
    EXPECT_EQ(read_file(mod("Mid.qmw.old")), low_patch);
    EXPECT_EQ(folder_listing(mods), (std::vector<std::string>{"Low.qmp", "Low.qmw", "Low.qmw.old", "Mid.qmp", "Mid.qmw",
                                                              "Mid.qmw.old", "Top.qmp", "Top.qmw"}));
}

// A marker says which run made it: this run's is taken for its own, another run's (or an empty
// one of an earlier version, or one cut short) is mapmend's, anything else is not, on disk and
// in memory over the disk alike.
TEST_F(rebuild_fixture, markers_are_told_by_their_text_and_kind) {
    const std::string other = "mapmend run 0123456789abcdef\n";
    write_file(mod("Other.rebuilding"), other);
    write_file(mod("Empty.rebuilding"), std::string());
    write_file(mod("Cut.rebuilding"), std::string("mapmend run 01"));
    write_file(mod("Notes.rebuilding"), std::string("my notes\n"));
    write_file(mod("Long.rebuilding"), other + "0");
    make_folder(mod("Folder.rebuilding"));
    memory_files memory;
    memory.disk_below = true;
    memory.disk_rules = true;
    for (const storage where : {storage{}, storage{&memory}}) {
        EXPECT_EQ(marker_at(where, mod("None.rebuilding")), marker_state::none);
        for (const char* name : {"Other", "Empty", "Cut"}) EXPECT_EQ(marker_at(where, mod(std::string(name) + ".rebuilding")), marker_state::left) << name;
        for (const char* name : {"Notes", "Long", "Folder"}) EXPECT_EQ(marker_at(where, mod(std::string(name) + ".rebuilding")), marker_state::foreign) << name;

        ASSERT_TRUE(put_own_marker(where, mod("Other.rebuilding")));
        EXPECT_EQ(marker_at(where, mod("Other.rebuilding")), marker_state::own);
        EXPECT_FALSE(put_own_marker(where, mod("Notes.rebuilding")));
        EXPECT_FALSE(remove_own_marker(where, mod("Empty.rebuilding")));
        EXPECT_TRUE(remove_own_marker(where, mod("Other.rebuilding")));
        EXPECT_EQ(marker_at(where, mod("Other.rebuilding")), marker_state::none);
        write_file(mod("Other.rebuilding"), other);
    }
    EXPECT_EQ(own_marker_text().size(), other.size());
    EXPECT_NE(own_marker_text(), other);
}

// A marker path holding what mapmend did not make, at the map's own path or a source's: the
// rebuild fails before it moves or writes anything, on disk and in memory.
TEST_F(rebuild_fixture, a_foreign_marker_path_stops_the_rebuild_before_anything_moves) {
    const bytes alpha = stock("Alpha.qmw", 60, 100000);
    const bytes low = synthetic_map(61, 60000, 2), top = synthetic_map(62, 50000, 2);
    const bytes low_patch = make_patch(low, {{0, 10, "Alpha.qmw", 0, &alpha}});
    write_file(mod("Low.qmp"), low_patch);
    write_file(mod("Top.qmp"), make_patch(top, {{1, 20, "Low.qmw", 1, &low}}));
    write_file(mod("Low.qmw"), low_patch);  // unfinished, and its marker path is the user's folder
    make_folder(mod("Low.qmw.rebuilding"));
    const std::vector<std::string> before = folder_listing(mods);
    memory_files memory;
    memory.disk_below = true;
    EXPECT_TRUE(marker_blocks_rebuild(storage{}, mod("Top.qmp"), maps_path));
    EXPECT_EQ(rebuild_map_file(storage{&memory}, mod("Top.qmp"), maps_path), marker_blocked);
    EXPECT_EQ(rebuild_map_file(mod("Top.qmp"), maps_path), marker_blocked);
    EXPECT_EQ(rebuild_map_file(mod("Low.qmp"), maps_path), marker_blocked);
    EXPECT_EQ(folder_listing(mods), before);

    std::filesystem::remove_all(mod("Low.qmw.rebuilding"));
    EXPECT_FALSE(marker_blocks_rebuild(storage{}, mod("Top.qmp"), maps_path));
}
