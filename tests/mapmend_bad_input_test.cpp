// Damaged, hostile and unusual input to the built mapmend: every case ends with its expected
// code, in bounded time, and leaves the maps folder and everything outside the patch folder alone.
#include "tests/mapmend_fixture.h"

#include <cstdio>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace {

const std::string rebuild_failed = "Error: QMW rebuild failed.";

struct bad_input : mapmend_case {
    bytes stock0 = stock_map(0), stock1 = stock_map(1);
    bytes target = synthetic_map(900, 20000, 3);

    // Entries 0 and 2 draw on two stock maps; entry 1 holds its final bytes.
    bytes good_patch() const {
        return make_patch(target, {{0, 100, stock_name(0), 0, &stock0}, {2, 7, stock_name(1), 0, &stock1}});
    }

    // Writes the patch as Level.qmp, rebuilds it, and checks the code and that the patch stays.
    void expect_code(const bytes& patch, int code, const std::string& why) {
        write_file(mod("Level.qmp"), patch);
        const program_result result = mapmend({"--delete-qmp", maps, mod("Level.qmp")});
        EXPECT_EQ(result.exit_code, code) << why;
        if (code == 9) {
            EXPECT_EQ(result.out, result_line(rebuild_failed)) << why;
            EXPECT_EQ(read_file(mod("Level.qmp")), patch) << why;
        }
        // A failed map keeps its marker, so that no later run takes it for finished.
        for (const std::string& name : folder_listing(mods))
            EXPECT_TRUE(name == "Level.qmp" || name == "Level.qmw" || (code != 0 && name == "Level.qmw.rebuilding"))
                << why << ": " << name;
        std::remove(mod("Level.qmw").c_str());
        std::remove(mod("Level.qmw.rebuilding").c_str());
        std::remove(mod("Level.qmp").c_str());
    }
};

// A chain of patches Chain0.qmp, Chain1.qmp, ... in which each map draws on the next one,
// which is missing and so is rebuilt first from its own patch; the last draws on a stock map.
std::vector<bytes> write_chain(const std::string& folder, std::size_t length, const bytes& stock) {
    std::vector<bytes> targets;
    for (std::size_t k = 0; k < length; ++k) targets.push_back(synthetic_map(3000 + k, 1500, 2));
    for (std::size_t k = 0; k < length; ++k) {
        const bool last = k + 1 == length;
        const patch_reference reference = last ? patch_reference{0, 10, mapmend_case::stock_name(0), 0, &stock}
                                               : patch_reference{0, 10, "Chain" + std::to_string(k + 1) + ".qmw", 1, &targets[k + 1]};
        write_file(folder + "/Chain" + std::to_string(k) + ".qmp", make_patch(targets[k], {reference}));
    }
    return targets;
}

}  // namespace

TEST_F(bad_input, patches_cut_short_in_every_region_fail) {
    const bytes patch = good_patch();
    expect_code(patch, 0, "the whole patch");

    const std::size_t entry1 = map_layout::table_at + map_layout::entry_stride;
    const std::size_t reference0 = source_reference_at(patch, 0);
    const std::size_t name_length = stock_name(0).size();
    const entry_chunk chunk2 = chunk_of(patch, 2);
    const std::vector<std::pair<std::size_t, std::string>> cuts = {
        {0, "empty file"},
        {3, "inside the magic"},
        {20, "header, before the entry count"},
        {26, "inside the entry count"},
        {51, "end of the header"},
        {entry1 + 2, "inside a chunk offset of the table"},
        {entry1 + 6, "inside a chunk size of the table"},
        {entry1 + map_layout::name_at + 3, "inside an entry name"},
        {reference0 + 2, "inside a source offset"},
        {reference0 + 4 + name_length / 2, "inside a source name"},
        {reference0 + 4 + name_length, "on a source name's NUL"},
        {reference0 + 5 + name_length, "on a folder flag"},
        {chunk2.offset + 1, "inside a referenced chunk"},
        {chunk2.offset + chunk2.size - 1, "one byte short of a referenced chunk's end"},
    };
    ASSERT_LT(chunk2.offset + chunk2.size, patch.size() + 1);
    for (const auto& [cut, region] : cuts)
        expect_code(bytes(patch.begin(), patch.begin() + static_cast<long>(cut)), 9, region);
}

TEST_F(bad_input, entry_counts_chunk_sizes_and_offsets_out_of_range_fail) {
    const std::size_t entry0 = map_layout::table_at;
    const std::size_t reference0 = source_reference_at(good_patch(), 0);
    struct field_case {
        std::size_t at;
        std::uint32_t value;
        int code;
        const char* what;
    };
    const std::vector<field_case> cases = {
        {map_layout::entry_count_at, 0x7FFFFFFFu, 9, "an entry count of 2^31 - 1"},
        {map_layout::entry_count_at, 0x80000000u, 0, "a negative entry count: no entries at all"},
        {entry0 + 4, 0x7FFFFFFFu, 9, "a chunk size of 2^31 - 1"},
        {entry0 + 4, 0x80000000u, 9, "a chunk size of 2^31"},
        {entry0 + 4, 0x80000001u, 9, "a chunk size of 2^31 + 1"},
        {entry0 + 4, 0xFFFFFFFFu, 9, "a chunk size of 2^32 - 1"},
        {entry0, 0x7FFFFFFFu, 9, "a chunk offset of 2^31 - 1"},
        {entry0, 0xFFFFFFFFu, 9, "a chunk offset of -1"},
        {entry0, 0x80000000u, 9, "a chunk offset of -2^31"},
        {reference0, 0xFFFFFFFFu, 9, "a source offset of -1"},
        {reference0, 0x80000000u, 9, "a source offset of -2^31"},
        {reference0, 0x7FFFFFFFu, 9, "a source offset of 2^31 - 1, past the source's end"},
    };
    for (const field_case& c : cases) {
        bytes patch = good_patch();
        put_u32(patch, c.at, c.value);
        expect_code(patch, c.code, c.what);
    }
    // A chunk of size 0 reads nothing, whatever its offsets say.
    bytes empty_chunk = good_patch();
    put_u32(empty_chunk, entry0 + 4, 0);
    put_u32(empty_chunk, entry0, 0xFFFFFFFFu);
    put_u32(empty_chunk, reference0, 0x80000000u);
    expect_code(empty_chunk, 0, "a zero-size chunk with negative offsets");
}

TEST_F(bad_input, source_names_with_folders_drive_letters_or_devices_fail) {
    // Copies of a stock map where an escaping name would find one, so that only the name can fail.
    make_folder(root / "Other");
    also_in_root.insert("Other");
    write_file(root / ("Other/" + stock_name(0)), stock0);
    const std::vector<std::string> names = {
        "..\\Maps\\" + stock_name(0), "../Maps/" + stock_name(0), "..\\Other\\" + stock_name(0),
        "Other/" + stock_name(0),     "C:" + stock_name(0),       "Z:\\" + stock_name(0),
        "\\\\server\\share\\x.qmw",   "..",                        ".",
        "CON",                        "nul.qmw",                   stock_name(0) + ":stream",
        "...",                        stock_name(0) + " ",
    };
    for (const std::string& name : names) {
        for (const std::uint8_t flag : {std::uint8_t{0}, std::uint8_t{1}}) {
            bytes hostile = make_patch(target, {{0, 100, stock_name(0), 0, &stock0}});
            set_source_reference(hostile, 0, 100, name, flag);
            expect_code(hostile, 9, name + (flag ? " beside the patch" : " in the maps folder"));
        }
    }
}

TEST_F(bad_input, self_and_mutually_referencing_patches_end) {
    // A map that draws on itself reads its own bytes as they stand: a success.
    bytes self = make_patch(target, {{0, 100, stock_name(0), 0, &stock0}});
    set_source_reference(self, 2, 40, "Level.qmw", 1);
    expect_code(self, 0, "a patch that draws on its own map");

    // Named as a maps-folder source, its own map is not there, and its sibling patch is the
    // patch itself, whose map already exists: the nested rebuild refuses.
    bytes via_sibling = self;
    set_source_reference(via_sibling, 2, 40, "Level.qmw", 0);
    expect_code(via_sibling, 9, "a patch that needs itself rebuilt first");

    // Two patches that draw on each other: the inner rebuild reads the outer one's map as it stands.
    const bytes other = synthetic_map(901, 20000, 3);
    bytes first = make_patch(target, {{0, 5, "Second.qmw", 1, &other}});
    bytes second = make_patch(other, {{0, 5, "First.qmw", 1, &target}});
    write_file(mod("First.qmp"), first);
    write_file(mod("Second.qmp"), second);
    const program_result result = mapmend({maps, mod("First.qmp")});
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(read_file(mod("First.qmw")).size(), first.size());
    EXPECT_EQ(read_file(mod("Second.qmw")).size(), second.size());
    EXPECT_EQ(folder_listing(mods), (std::vector<std::string>{"First.qmp", "First.qmw", "Second.qmp", "Second.qmw"}));
}

TEST_F(bad_input, chains_of_nested_patches_end_at_the_nesting_bound) {
    const bytes stock = stock_map(0);
    const std::vector<bytes> targets = write_chain(mods, 150, stock);
    program_result result = mapmend({maps, mod("Chain0.qmp")});
    EXPECT_EQ(result.out, result_line("All OK."));
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(read_file(mod("Chain0.qmw")), targets[0]);
    EXPECT_EQ(read_file(mod("Chain149.qmw")), targets[149]);

    // Deeper than the rebuild goes: a clean failure, whatever the levels left behind.
    temp_folder deep;
    write_chain(deep.path, 260, stock);
    result = mapmend({maps, deep / "Chain0.qmp"});
    EXPECT_EQ(result.out, result_line(rebuild_failed));
    EXPECT_EQ(result.exit_code, 9);
    EXPECT_TRUE(exists(deep / "Chain0.qmp"));
}

#ifndef _WIN32
TEST_F(bad_input, a_chain_deeper_than_the_open_file_limit_fails_cleanly) {
    // Each level keeps its map open while the next is rebuilt: with 40 files a process may
    // open, a chain of 150 runs out of them long before the nesting bound.
    write_chain(mods, 150, stock_map(0));
    launcher = {"/bin/sh", "-c", "ulimit -n 40 && exec \"$0\" \"$@\""};
    const program_result result = mapmend({maps, mod("Chain0.qmp")});
    EXPECT_EQ(result.out, result_line(rebuild_failed));
    EXPECT_EQ(result.exit_code, 9);
}
#endif

TEST_F(bad_input, arguments_with_bytes_above_127) {
    const std::string accented = "\xC9t\xE9";  // "Été" in the usual 8-bit code pages
    make_folder(mods + "/" + accented);
    write_file(mods + "/" + accented + "/" + accented + ".qmp", good_patch());
    program_result result = mapmend({maps, mods + "/" + accented + "/" + accented + ".qmp"});
    EXPECT_EQ(result.out, result_line("All OK."));
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(read_file(mods + "/" + accented + "/" + accented + ".qmw"), target);

    result = mapmend({maps, mods + "/" + accented + "/Missing\xFF.qmp"});
    EXPECT_EQ(result.exit_code, 2);
    result = mapmend({maps + "\xE9"});
    EXPECT_EQ(result.exit_code, 1);
    result = mapmend({"--check-rebuilt=" + std::string(31, 'a') + "\xE9", maps});
    EXPECT_EQ(result.out, result_line("Error: Invalid MD5 string."));
    EXPECT_EQ(result.exit_code, 4);
    result = mapmend({"--\xE9", maps});
    EXPECT_EQ(result.exit_code, 3);
}

// A patch path ending in ".qmw" is its own map file path: moving "the earlier map" aside would
// move the patch, here a stock map. Refused before anything is moved or written.
TEST_F(bad_input, a_patch_path_that_names_its_own_map_file_is_refused) {
    std::vector<std::string> patches = {maps + "/" + stock_name(0), mod("Level.qmw")};
#ifdef _WIN32
    patches.push_back(mod("Other.QMW"));  // the same file as Other.qmw, where names ignore case
#endif
    write_file(mod("Level.qmw"), good_patch());
    write_file(mod("Other.QMW"), good_patch());
    const std::vector<std::string> before = folder_listing(mods);
    for (const std::string& patch : patches) {
        const program_result result = mapmend({"--delete-qmp", maps, patch});
        EXPECT_EQ(result.out, result_line(rebuild_failed)) << patch;
        EXPECT_EQ(result.exit_code, 9) << patch;
        EXPECT_EQ(folder_listing(mods), before) << patch;
    }
    EXPECT_EQ(read_file(mod("Level.qmw")), good_patch());
}

#ifndef _WIN32
// A patch directly in the root folder: its map lies there too, and the folder flushed before
// the patch is deleted is the root, not the empty path.
TEST_F(bad_input, a_patch_in_the_root_folder) {
    if (geteuid() != 0) GTEST_SKIP() << "only root may write in the root folder";
    const std::string name = "/mapmend-root-test-" + std::to_string(::getpid());
    struct removed_at_end {
        std::string name;
        ~removed_at_end() {
            for (const char* ending : {".qmp", ".qmw", ".qmw.rebuilding"}) std::remove((name + ending).c_str());
        }
    } cleanup{name};
    write_file(name + ".qmp", good_patch());
    const program_result result = mapmend({"--delete-qmp", maps, name + ".qmp"});
    EXPECT_EQ(result.out, result_line("All OK."));
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(read_file(name + ".qmw"), target);
    EXPECT_FALSE(exists(name + ".qmp"));
}
#endif
