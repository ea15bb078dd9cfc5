// Runs the built mapdiff, then the built mapmend on what it wrote, as a mod author and then an
// installer would; and mapdiff inspect against what mapmend then does.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#ifndef _WIN32
#include <cstdlib>
#include <sys/wait.h>
#endif

#include "digest/file_md5.h"
#include "tests/sample_maps_fixture.h"
#include "tests/support/map_builder.h"
#include "tests/support/run_program.h"
#include "tests/support/sample_set.h"

namespace {

void copy_bytes(const bytes& from, std::size_t from_at, bytes& to, std::size_t to_at, std::size_t size) {
    std::copy(from.begin() + static_cast<std::ptrdiff_t>(from_at), from.begin() + static_cast<std::ptrdiff_t>(from_at + size),
              to.begin() + static_cast<std::ptrdiff_t>(to_at));
}

// The summary's last line, the one an installer runs, without its newline.
std::string installer_line(const std::string& out) {
    const auto at = out.find("mapmend --check-stock");
    if (at == std::string::npos) return {};
    const std::string line = out.substr(at);
    return line.substr(0, line.size() - std::string(console_newline).size());
}

struct mapdiff_run : sample_maps_test {
    std::string work = folder / "Work";    // the author's folder: the map and the mod's other maps
    std::string out = folder / "Out";      // where the patch is written
    std::map<std::string, bytes> maps_before;

    void SetUp() override {
        make_folder(work);
        make_folder(out);
        maps_before = snapshot(maps);
    }
    void TearDown() override { EXPECT_TRUE(snapshot(maps) == maps_before) << "the maps folder changed"; }

    const bytes& stock(const std::string& name) const { return stock_map_named(set, name); }

    program_result mapdiff(const std::vector<std::string>& arguments) {
        return run_program(MAPDIFF_PROGRAM, arguments, folder.path);
    }
    program_result mapmend(const std::vector<std::string>& arguments) {
        return run_program(MAPMEND_PROGRAM, arguments, folder.path);
    }

    // A modified map of the kinds mods make: chunks of several stock maps, one moved to another
    // offset and under another name, one edited, one of new bytes; and one from the mod's own
    // map `town` beside it when given.
    bytes modified_map(const bytes* town) const {
        bytes map = synthetic_map(77, 400000, 6);
        const bytes& canyon = stock("Canyon.qmw");
        const bytes& market = stock("MARKET.qmw");
        const entry_chunk c0 = chunk_of(map, 0), c1 = chunk_of(map, 1), c2 = chunk_of(map, 2), c4 = chunk_of(map, 4);
        copy_bytes(canyon, chunk_of(canyon, 1).offset, map, c0.offset, std::min<std::size_t>(c0.size, chunk_of(canyon, 1).size));
        copy_bytes(market, 5000, map, c1.offset, c1.size);
        copy_bytes(canyon, 90001, map, c2.offset, c2.size);
        for (std::size_t k = 0; k < c2.size; k += 997) map[c2.offset + k] ^= 0x5A;
        if (town) copy_bytes(*town, 20001, map, c4.offset, c4.size);
        return map;
    }

    // make, then mapmend with the line make printed; the patch and its beside maps in `out`.
    void expect_round_trip(const bytes& map, const std::vector<std::string>& options, std::size_t referenced,
                           std::size_t entries = 6) {
        write_file(work + "/Level.qmw", map);
        std::vector<std::string> arguments{"make"};
        arguments.insert(arguments.end(), options.begin(), options.end());
        arguments.insert(arguments.end(), {maps, work + "/Level.qmw", out + "/Level.qmp"});
        const program_result made = mapdiff(arguments);
        ASSERT_EQ(made.exit_code, 0) << made.err;
        EXPECT_EQ(made.err, "");
        EXPECT_NE(made.out.find(std::to_string(referenced) + " of " + std::to_string(entries) + " entries referenced"),
                  std::string::npos)
            << made.out;
        const std::string digest = file_md5(work + "/Level.qmw");
        EXPECT_EQ(installer_line(made.out), "mapmend --check-stock --check-rebuilt=" + digest + " --delete-qmp \"" + maps +
                                                "\" \"" + out + "/Level.qmp\"");
        EXPECT_FALSE(exists(out + "/Level.qmw"));

        const program_result inspected = mapdiff({"inspect", maps, out + "/Level.qmp"});
        EXPECT_EQ(inspected.exit_code, 0) << inspected.out;
        EXPECT_NE(inspected.out.find("md5 " + digest), std::string::npos) << inspected.out;

        const program_result mended =
            mapmend({"--check-stock", "--check-rebuilt=" + digest, "--delete-qmp", maps, out + "/Level.qmp"});
        EXPECT_EQ(mended.exit_code, 0) << mended.out;
        EXPECT_TRUE(read_file(out + "/Level.qmw") == map);
        EXPECT_FALSE(exists(out + "/Level.qmp"));
    }
};

}  // namespace

TEST_F(mapdiff_run, stock_sources_round_trip_through_mapmend) {
    expect_round_trip(modified_map(nullptr), {}, 3);
}

TEST_F(mapdiff_run, a_map_beside_the_patch_is_a_source_and_may_come_from_its_own_patch) {
    const bytes town = synthetic_map(78, 120000, 3);
    write_file(work + "/Town.qmw", town);
    const bytes map = modified_map(&town);
    write_file(out + "/Town.qmw", town);
    expect_round_trip(map, {"--beside", work}, 4);

    // At install time Town.qmw may itself be rebuilt from a patch of its own beside the patch.
    std::remove((out + "/Level.qmw").c_str());
    std::remove((out + "/Town.qmw").c_str());
    const program_result town_patch = mapdiff({"make", maps, work + "/Town.qmw", out + "/Town.qmp"});
    ASSERT_EQ(town_patch.exit_code, 0) << town_patch.err;
    const program_result level = mapdiff({"make", "--beside", work, maps, work + "/Level.qmw", out + "/Level.qmp"});
    ASSERT_EQ(level.exit_code, 0) << level.err;
    EXPECT_NE(level.out.find("1 map needed beside the patch: Town.qmw"), std::string::npos) << level.out;
    const program_result inspected = mapdiff({"inspect", maps, out + "/Level.qmp"});
    EXPECT_EQ(inspected.exit_code, 0);
    EXPECT_NE(inspected.out.find("rebuilt first from Town.qmp"), std::string::npos) << inspected.out;
    EXPECT_EQ(mapmend({maps, out + "/Level.qmp"}).exit_code, 0);
    EXPECT_TRUE(read_file(out + "/Level.qmw") == map);
    EXPECT_TRUE(read_file(out + "/Town.qmw") == town);
}

// Entries whose chunks all lie in a stock map, but where a reference may not go: too little room
// behind the name, a name field without NUL before the next entry, a chunk right behind the name,
// a chunk over the next entry's fields, bytes found only at offset 0 of the source. Only the
// last entry, with room, is referenced; mapmend rebuilds the map all the same.
TEST_F(mapdiff_run, references_only_where_they_may_go_and_the_rest_keeps_its_bytes) {
    const bytes& canyon = stock("Canyon.qmw");
    const std::size_t entries = 6, table_end = map_layout::table_at + map_layout::entry_stride * entries;
    bytes map = seeded_random{90}.fill(table_end + 600 + entries * 1000);
    for (std::size_t at = 4; at < table_end + 600; ++at) map[at] = 0;
    put_u32(map, 0, map_layout::magic);
    put_u32(map, map_layout::entry_count_at, entries);
    const std::size_t name_size[] = {258, 263, 3, 3, 3, 3};
    for (std::size_t i = 0; i < entries; ++i) {
        const std::size_t chunk = table_end + 600 + 1000 * i;
        set_entry(map, i, static_cast<std::uint32_t>(chunk), 1000, std::string(name_size[i], static_cast<char>('a' + i)));
        copy_bytes(canyon, i == 4 ? 0 : 501 + 1000 * i, map, chunk, 1000);
    }
    const std::size_t behind_name = map_layout::table_at + map_layout::entry_stride * 2 + map_layout::name_at + 4;
    set_entry(map, 2, static_cast<std::uint32_t>(behind_name + 8), 100, "ccc");
    set_entry(map, 3, static_cast<std::uint32_t>(map_layout::table_at + map_layout::entry_stride * 4), 100, "ddd");
    expect_round_trip(map, {}, 1, entries);
}

TEST_F(mapdiff_run, a_stock_map_that_differs_from_the_table_is_never_a_source) {
    temp_folder other;
    make_folder(other / "Maps");
    write_stock_maps(set, other / "Maps");
    bytes changed = stock("Canyon.qmw");
    changed[changed.size() - 1] ^= 1;
    write_file(other / "Maps/Canyon.qmw", changed);
    std::remove((other / "Maps/MARKET.qmw").c_str());
    write_file(other / "Maps/ModMap.qmw", stock("MARKET.qmw"));
    write_file(work + "/Level.qmw", modified_map(nullptr));
    const program_result made = mapdiff({"make", other / "Maps", work + "/Level.qmw", out + "/Level.qmp"});
    ASSERT_EQ(made.exit_code, 0) << made.err;
    EXPECT_NE(made.out.find("0 of 6 entries referenced"), std::string::npos) << made.out;
    EXPECT_NE(made.out.find("skipped Canyon.qmw: differs from the stock table"), std::string::npos) << made.out;
    EXPECT_NE(made.out.find("skipped MARKET.qmw: not in the maps folder"), std::string::npos) << made.out;
    EXPECT_NE(made.out.find("skipped ModMap.qmw: not in the stock table"), std::string::npos) << made.out;
}

// Every refusal: one line on standard error, a non-zero status, and nothing written.
TEST_F(mapdiff_run, refusals_write_nothing) {
    const bytes map = modified_map(nullptr);
    write_file(work + "/Level.qmw", map);
    write_file(out + "/Kept.qmp", std::string("keep me"));
    bytes no_magic = map;
    no_magic[0] = 0;
    write_file(work + "/NoMagic.qmw", no_magic);
    bytes damaged = map;
    put_u32(damaged, 24, 100000);
    write_file(work + "/Damaged.qmw", damaged);
    bytes reads_as_patch = map;
    set_source_reference(reads_as_patch, 2, 1, "Canyon.qmw", 0);
    write_file(work + "/Referenced.qmw", reads_as_patch);
    write_file(work + "/Data.bin", map);
    const std::map<std::string, bytes> work_before = snapshot(work), out_before = snapshot(out);

    struct refusal {
        std::vector<std::string> arguments;
        int status;
        std::string message;
    };
    const std::vector<refusal> refusals = {
        {{"make", maps, work + "/Level.qmw", out + "/Kept.qmp"}, 1, "already exists"},
        {{"make", maps, work + "/Missing.qmw", out + "/A.qmp"}, 1, "Cannot read the map file"},
        {{"make", maps, work + "/NoMagic.qmw", out + "/A.qmp"}, 1, "no magic"},
        {{"make", maps, work + "/Damaged.qmw", out + "/A.qmp"}, 1, "table runs past its end"},
        {{"make", maps, work + "/Referenced.qmw", out + "/A.qmp"}, 1, "reads as a source reference"},
        {{"make", folder / "NoMaps", work + "/Level.qmw", out + "/A.qmp"}, 1, "Maps path not found"},
        {{"make", "--beside", folder / "None", maps, work + "/Level.qmw", out + "/A.qmp"}, 1, "Folder not found"},
        {{"make", maps, work + "/Level.qmw", folder / "NoFolder/A.qmp"}, 1, "Cannot write"},
        {{"make", "--force", maps, work + "/Level.qmw", work + "/Level.qmw"}, 1, "ends in .qmw"},
        {{"make", "--force", maps, work + "/Level.qmw", maps + "/Canyon.QMW"}, 1, "ends in .qmw"},
        {{"make", "--force", maps, work + "/Data.bin", work + "/Data.bin"}, 1, "is the map file"},
        {{"make", maps, work + "/Level.qmw"}, 2, "make takes"},
        {{"make", "--fast", maps, work + "/Level.qmw", out + "/A.qmp"}, 2, "Unknown option"},
        {{"patch", maps}, 2, "Unknown command"},
        {{}, 2, "No command"},
    };
    for (const refusal& r : refusals) {
        const program_result result = mapdiff(r.arguments);
        EXPECT_EQ(result.exit_code, r.status) << testing::PrintToString(r.arguments);
        EXPECT_EQ(result.out, "") << testing::PrintToString(r.arguments);
        EXPECT_EQ(result.err.rfind("Error: ", 0), 0u) << result.err;
        EXPECT_NE(result.err.find(r.message), std::string::npos) << result.err;
        EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << "not one line: " << result.err;
    }
    EXPECT_TRUE(snapshot(work) == work_before);
    EXPECT_TRUE(snapshot(out) == out_before);
    EXPECT_EQ(folder_listing(folder.path), (std::vector<std::string>{"Out", "Work"}));

    // --force replaces the file, with the patch.
    const program_result forced = mapdiff({"make", "--force", maps, work + "/Level.qmw", out + "/Kept.qmp"});
    EXPECT_EQ(forced.exit_code, 0) << forced.err;
    EXPECT_EQ(read_file(out + "/Kept.qmp").size(), map.size());
    EXPECT_EQ(folder_listing(out), (std::vector<std::string>{"Kept.qmp"}));
}

TEST_F(mapdiff_run, help_describes_every_command) {
    const program_result help = mapdiff({"--help"});
    EXPECT_EQ(help.exit_code, 0);
    for (const char* text : {"mapdiff make [--beside <folder>] [--force] <maps path> <map file> <patch path>",
                             "mapdiff inspect <maps path> <patch path>", "mapdiff stock-table <maps path> [<table file>]"})
        EXPECT_NE(help.out.find(text), std::string::npos) << text;
    EXPECT_EQ(help.err, "");
}

// inspect's verdict on each way a rebuild fails, against what mapmend then does with the patch.
TEST_F(mapdiff_run, inspect_agrees_with_mapmend_on_every_failure) {
    const bytes& canyon = stock("Canyon.qmw");
    const bytes target = synthetic_map(80, 60000, 3);
    const bytes low = synthetic_map(81, 30000, 2);
    struct case_patch {
        std::string what;
        bytes patch;
        std::vector<named_file> beside;
        bool rebuilds;
        std::string reason;
    };
    bytes no_magic = make_patch(target, {{0, 10, "Canyon.qmw", 0, &canyon}});
    no_magic[0] = 7;
    bytes truncated = make_patch(target, {{0, 10, "Canyon.qmw", 0, &canyon}});
    truncated.resize(400);
    bytes outside = make_patch(target, {{1, 10, "Canyon.qmw", 0, &canyon}});
    put_u32(outside, 52 + 308 + 4, 0x7FFFFFF0);
    const bytes long_source(static_cast<std::size_t>(chunk_of(target, 0).size) + 20, 3);
    bytes unsafe = make_patch(target, {{0, 10, "..", 1, &long_source}});
    bytes too_short = make_patch(target, {{0, 10, "Low.qmw", 1, &low}});
    put_u32(too_short, source_reference_at(too_short, 0), static_cast<std::uint32_t>(low.size() - 10));
    const std::vector<case_patch> cases = {
        {"sound", make_patch(target, {{0, 10, "Canyon.qmw", 0, &canyon}, {2, 3, "Low.qmw", 1, &low}}), {{"Low.qmw", low}}, true, ""},
        {"nested", make_patch(target, {{2, 3, "Low.qmw", 1, &low}}), {{"Low.qmp", make_patch(low, {{0, 9, "Canyon.qmw", 0, &canyon}})}}, true, ""},
        {"no magic", no_magic, {}, false, "magic"},
        {"truncated table", truncated, {}, false, "runs past its end"},
        {"chunk outside", outside, {}, false, "outside the file"},
        {"unsafe name", unsafe, {}, false, "outside its folder"},
        {"missing source", make_patch(target, {{1, 3, "Gone.qmw", 1, &low}}), {}, false, "missing"},
        {"too short", too_short, {{"Low.qmw", low}}, false, "ends before"},
        {"nested fails", make_patch(target, {{2, 3, "Low.qmw", 1, &low}}), {{"Low.qmp", no_magic}}, false, "magic"},
        {"map in the way of a nested map", make_patch(target, {{2, 3, "Low.qmw", 0, &low}}), {{"Low.qmp", make_patch(low, {})}, {"Low.qmw", low}}, false, "a file is in its place"},
    };
    for (const case_patch& c : cases) {
        temp_folder mods;
        for (const named_file& file : c.beside) write_file(mods / file.name, file.content);
        write_file(mods / "Level.qmp", c.patch);
        const std::map<std::string, bytes> before = snapshot(mods.path);
        const program_result inspected = mapdiff({"inspect", maps, mods / "Level.qmp"});
        EXPECT_TRUE(snapshot(mods.path) == before) << c.what << ": inspect wrote something";
        EXPECT_EQ(inspected.exit_code, c.rebuilds ? 0 : 1) << c.what << "\n" << inspected.out;
        EXPECT_NE(inspected.out.find(c.reason), std::string::npos) << c.what << "\n" << inspected.out;
        EXPECT_EQ(inspected.err, "");
        const program_result mended = mapmend({maps, mods / "Level.qmp"});
        EXPECT_EQ(mended.exit_code, c.rebuilds ? 0 : 9) << c.what << ": mapmend disagrees";
        if (c.rebuilds) {
            EXPECT_TRUE(read_file(mods / "Level.qmw") == target) << c.what;
        }
    }
    // mapmend's own checks of its paths.
    EXPECT_EQ(mapdiff({"inspect", folder / "NoMaps", out + "/Level.qmp"}).exit_code, 1);
    const program_result no_patch = mapdiff({"inspect", maps, out + "/None.qmp"});
    EXPECT_EQ(no_patch.exit_code, 1);
    EXPECT_NE(no_patch.out.find("QMP not found"), std::string::npos) << no_patch.out;
}

// The sample stock set is what the default table describes: stock-table must write that table.
TEST_F(mapdiff_run, stock_table_writes_the_table_the_build_reads) {
    const bytes compiled = read_file(MAPMEND_STOCK_TABLE_FILE);
    const program_result written = mapdiff({"stock-table", maps});
    ASSERT_EQ(written.exit_code, 0) << written.err;
    std::string expected(compiled.begin(), compiled.end());
    for (std::size_t at = 0; (at = expected.find('\n', at)) != std::string::npos; at += std::string(console_newline).size())
        expected.replace(at, 1, console_newline);
    if (!MAPMEND_DEFAULT_STOCK_TABLE) GTEST_SKIP() << "built with another stock table";
    EXPECT_EQ(written.out, expected);

    const program_result to_file = mapdiff({"stock-table", maps, out + "/stock.md5"});
    ASSERT_EQ(to_file.exit_code, 0) << to_file.err;
    EXPECT_TRUE(read_file(out + "/stock.md5") == compiled);
    EXPECT_EQ(folder_listing(out), std::vector<std::string>{"stock.md5"});
}

// stock-table keeps an existing file as make does, a stock map it reads included, and replaces
// it with --force; the leftover of a killed run under its temporary name is removed.
TEST_F(mapdiff_run, stock_table_keeps_an_existing_file_unless_forced) {
    write_file(out + "/stock.md5", std::string("keep me"));
    const bytes kept = read_file(out + "/stock.md5");
    write_file(work + "/Level.qmw", modified_map(nullptr));
    const program_result make_refused = mapdiff({"make", maps, work + "/Level.qmw", out + "/stock.md5"});
    for (const std::string& file : {out + "/stock.md5", maps + "/Canyon.qmw"}) {
        const program_result refused = mapdiff({"stock-table", maps, file});
        EXPECT_EQ(refused.exit_code, make_refused.exit_code);
        EXPECT_EQ(refused.out, "");
        EXPECT_EQ(refused.err, "Error: " + file + " already exists (--force replaces it)." + console_newline);
    }
    EXPECT_EQ(make_refused.err, "Error: " + out + "/stock.md5 already exists (--force replaces it)." + console_newline);
    EXPECT_TRUE(read_file(out + "/stock.md5") == kept);

    write_file(out + "/fresh.md5.partial", std::string("left by a killed run"));
    ASSERT_EQ(mapdiff({"stock-table", maps, out + "/fresh.md5"}).exit_code, 0);
    const bytes fresh = read_file(out + "/fresh.md5");
    EXPECT_EQ(std::count(fresh.begin(), fresh.end(), '\n'), 31);
    const program_result forced = mapdiff({"stock-table", "--force", maps, out + "/stock.md5"});
    EXPECT_EQ(forced.exit_code, 0) << forced.err;
    EXPECT_TRUE(read_file(out + "/stock.md5") == fresh);
    EXPECT_EQ(folder_listing(out), (std::vector<std::string>{"fresh.md5", "stock.md5"}));
}

// A killed make leaves "<patch>.partial"; the next make of that patch removes it, and only it.
TEST_F(mapdiff_run, make_removes_the_partial_file_a_killed_make_left) {
    write_file(work + "/Level.qmw", modified_map(nullptr));
    for (const char* name : {"Level.qmp.partial", "Level.qmp (2).partial", "Level.qmp.partial.txt", "Town.qmp.partial"})
        write_file(out + "/" + name, std::string("left by a killed run"));
    std::map<std::string, bytes> others = snapshot(out);
    others.erase("Level.qmp.partial");
    const program_result made = mapdiff({"make", maps, work + "/Level.qmw", out + "/Level.qmp"});
    ASSERT_EQ(made.exit_code, 0) << made.err;
    std::map<std::string, bytes> after = snapshot(out);
    EXPECT_EQ(after.erase("Level.qmp"), 1u);
    EXPECT_TRUE(after == others) << testing::PrintToString(folder_listing(out));
}

#ifndef _WIN32
// Standard output on a full disk: every command that prints fails with one line, which names
// the file the run wrote all the same.
TEST_F(mapdiff_run, a_full_standard_output_fails_every_command) {
    if (!exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    write_file(work + "/Level.qmw", modified_map(nullptr));
    // The test's own paths hold no quote.
    const auto quoted = [](const std::string& word) { return "'" + word + "'"; };
    const std::string err = folder / "err.txt";
    const std::vector<std::pair<std::vector<std::string>, std::string>> runs = {
        {{"--help"}, ""},
        {{"stock-table", maps}, ""},
        {{"stock-table", maps, out + "/stock.md5"}, out + "/stock.md5"},
        {{"make", maps, work + "/Level.qmw", out + "/Level.qmp"}, out + "/Level.qmp"},
        {{"inspect", maps, out + "/Level.qmp"}, ""},
    };
    for (const auto& [arguments, written] : runs) {
        std::string command = quoted(MAPDIFF_PROGRAM);
        for (const std::string& argument : arguments) command += " " + quoted(argument);
        command += " >/dev/full 2>" + quoted(err);
        const int status = std::system(command.c_str());
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << command << ": " << status;
        const bytes text = read_file(err);
        EXPECT_EQ(std::string(text.begin(), text.end()),
                  "Error: Cannot write to standard output" + (written.empty() ? "" : "; " + written + " was written") + ".\n")
            << command;
        if (!written.empty()) {
            EXPECT_TRUE(exists(written)) << written;
        }
    }
}
#endif
