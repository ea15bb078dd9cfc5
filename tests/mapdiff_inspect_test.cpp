// mapdiff inspect against what the built mapmend then does with the same files, where the disk
// has a say: a long chain of sibling patches, a source named like mapmend's backup, a link to
// the output, one folder under two spellings, a patch folder that cannot be written.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <set>
#include <sstream>

#include "digest/file_md5.h"
#include "format/rebuild.h"
#include "tests/support/map_builder.h"
#include "tests/support/run_program.h"
#include "tests/support/small_disk.h"
#include "tests/support/test_files.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace {

struct inspect_run : ::testing::Test {
    temp_folder root;
    std::string maps = root / "Maps";
    std::string mods = root / "Mods";
    std::vector<std::string> launcher;  // a program that starts the two, with its arguments
    bytes canyon = synthetic_map(30, 20000, 2);
    bytes target = synthetic_map(31, 12000, 3);

    void SetUp() override {
        make_folder(maps);
        make_folder(mods);
        write_file(maps + "/Canyon.qmw", canyon);
    }

    program_result run(const std::string& program, const std::vector<std::string>& arguments) {
        if (launcher.empty()) return run_program(program, arguments, root.path);
        std::vector<std::string> words(launcher.begin() + 1, launcher.end());
        words.push_back(program);
        words.insert(words.end(), arguments.begin(), arguments.end());
        return run_program(launcher.front(), words, root.path);
    }

    // inspect first, since mapmend changes the folder; then both must tell the same story: the
    // same verdict and, on success, the map mapmend wrote. Returns inspect's output.
    std::string expect_agreement(const std::string& what, const std::string& maps_path, const std::string& patch_path,
                                 bool rebuilds) {
        const program_result inspected = run(MAPDIFF_PROGRAM, {"inspect", maps_path, patch_path});
        const program_result mended = run(MAPMEND_PROGRAM, {maps_path, patch_path});
        EXPECT_EQ(mended.exit_code, rebuilds ? 0 : 9) << what << ": " << mended.out;
        EXPECT_EQ(inspected.exit_code, rebuilds ? 0 : 1) << what << ": inspect disagrees\n" << inspected.out;
        EXPECT_EQ(inspected.err, "") << what;
        if (rebuilds && mended.exit_code == 0) {
            const std::string map_path = patch_path.substr(0, patch_path.size() - 4) + ".qmw";
            EXPECT_NE(inspected.out.find("md5 " + file_md5(map_path)), std::string::npos) << what << "\n" << inspected.out;
        }
        return inspected.out;
    }
};

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

}  // namespace

// Each map missing and rebuilt from the next patch: mapmend stops at its nesting limit. inspect
// must end too, with the same verdict, listing each patch that mapmend meets once.
TEST_F(inspect_run, a_long_chain_of_sibling_patches_ends_as_mapmend_does) {
#ifdef _WIN32
    // Under Wine each file made or missed in a folder costs a scan of the folder: a shorter
    // chain, still five times longer than mapmend goes.
    constexpr std::size_t links = 1000;
#else
    constexpr std::size_t links = 10000;
#endif
    const bytes small = synthetic_map(32, 420, 1);
    const auto name = [](std::size_t i) { return "C" + std::to_string(i); };
    for (std::size_t i = 0; i < links; ++i)
        write_file(mods + "/" + name(i) + ".qmp", make_patch(small, {{0, 1, name(i + 1) + ".qmw", 1, &small}}));

    const std::string out = expect_agreement("chain", maps, mods + "/C0.qmp", false);
    EXPECT_NE(out.find("too long a chain"), std::string::npos) << out.substr(out.size() > 400 ? out.size() - 400 : 0);
    constexpr std::size_t listed_links = rebuild_nesting_limit + 1;
    // A header line and a group line per patch, each a few dozen characters.
    EXPECT_LT(out.size(), 300 * listed_links);
    std::set<std::string> listed;
    std::size_t headers = 0;
    for (const std::string& line : lines_of(out)) {
        const auto at = line.find(".qmp: 1 chunks from sources");
        if (at == std::string::npos) continue;
        ++headers;
        const auto start = line.find_first_not_of(' ');
        listed.insert(line.substr(start, at - start));
    }
    EXPECT_EQ(headers, listed_links);
    EXPECT_EQ(listed.size(), listed_links) << "a patch was listed twice";
}

// A source named like the backup that mapmend makes of an earlier map, as it makes it.
TEST_F(inspect_run, a_source_named_like_the_backup_of_the_earlier_map) {
    const bytes earlier = synthetic_map(33, 15000, 2);
    write_file(mods + "/Level.qmw", earlier);
    write_file(mods + "/Level.qmp", make_patch(target, {{0, 9, "Level.qmw.old", 1, &earlier}, {2, 4, "Canyon.qmw", 0, &canyon}}));
    expect_agreement("backup as source", maps, mods + "/Level.qmp", true);
    EXPECT_EQ(read_file(mods + "/Level.qmw"), target);
    EXPECT_EQ(read_file(mods + "/Level.qmw.old"), earlier);
}

// A patch path that is its own map file path: mapmend refuses it before moving anything, and
// inspect says so too.
TEST_F(inspect_run, a_patch_that_names_its_own_map_file) {
    const bytes patch = make_patch(target, {{2, 4, "Canyon.qmw", 0, &canyon}});
    write_file(mods + "/Self.qmw", patch);
    expect_agreement("own map file", maps, mods + "/Self.qmw", false);
    EXPECT_EQ(read_file(mods + "/Self.qmw"), patch);
    EXPECT_FALSE(exists(mods + "/Self.qmw.old"));
}

// The maps path and the patch folder are one folder: the entry read from the maps folder under
// the map's own name reads the map being rebuilt, as it stands.
TEST_F(inspect_run, one_folder_under_two_spellings) {
    std::vector<std::string> spellings = {mods + "/../Maps"};
#ifdef _WIN32
    spellings.push_back(root / "mAPS");  // names are compared without case
#endif
    for (const std::string& spelling : spellings) {
        write_file(maps + "/Level.qmp", make_patch(target, {{0, 9, "Canyon.qmw", 0, &canyon}, {2, 30, "Level.qmw", 0, &target}}));
        const std::string out = expect_agreement(spelling, maps, spelling + "/Level.qmp", true);
        EXPECT_NE(out.find("the map being rebuilt from Level.qmp"), std::string::npos) << out;
        std::remove((maps + "/Level.qmw").c_str());
    }
}

// Entries that name one source under both folder flags: mapmend reads all of them from the
// folder of the first, and inspect says so.
TEST_F(inspect_run, one_source_named_in_both_folders) {
    const bytes low = synthetic_map(34, 15000, 2);
    write_file(maps + "/Low.qmw", low);
    write_file(mods + "/Low.qmw", canyon);
    write_file(mods + "/Level.qmp", make_patch(target, {{0, 9, "Low.qmw", 0, &low}, {2, 7, "Low.qmw", 1, &low}}));
    const std::string out = expect_agreement("both folders", maps, mods + "/Level.qmp", true);
    EXPECT_NE(out.find("1 entry names it beside the patch: mapmend reads all 2 from the maps folder"), std::string::npos) << out;
    EXPECT_EQ(read_file(mods + "/Level.qmw"), target);
}

TEST_F(inspect_run, a_source_that_is_a_link_to_the_output) {
#ifdef _WIN32
    GTEST_SKIP() << "links are not made on Windows here: making one needs a privilege, and Wine's are Unix links";
#else
    // The link leads nowhere until mapmend makes the map, or to the earlier map until it is moved.
    for (const bool earlier : {false, true}) {
        std::filesystem::create_symlink("Level.qmw", mods + "/Alias.qmw");
        if (earlier) write_file(mods + "/Level.qmw", canyon);
        write_file(mods + "/Level.qmp", make_patch(target, {{0, 9, "Canyon.qmw", 0, &canyon}, {2, 40, "Alias.qmw", 1, &target}}));
        const std::string out = expect_agreement(earlier ? "link, earlier map" : "link", maps, mods + "/Level.qmp", true);
        EXPECT_NE(out.find("the map being rebuilt from Level.qmp, read as it stands"), std::string::npos) << out;
        std::filesystem::remove_all(mods);
        make_folder(mods);
    }
#endif
}

// mapmend can neither make its map nor move an earlier one aside; inspect must not promise it.
TEST_F(inspect_run, a_patch_folder_that_cannot_be_written) {
#ifdef _WIN32
    GTEST_SKIP() << "Wine maps no Windows permission onto a folder; it runs as the prefix's owner";
#else
    namespace fs = std::filesystem;
    const bytes patch = make_patch(target, {{0, 9, "Canyon.qmw", 0, &canyon}});
    // With no map there, then with an earlier map to move aside.
    const auto expect_refused = [&](const std::string& what, const std::string& folder, const std::function<bool(bool)>& writable) {
        write_file(folder + "/Level.qmp", patch);
        ASSERT_TRUE(writable(false));
        expect_agreement(what, maps, folder + "/Level.qmp", false);
        ASSERT_TRUE(writable(true));
        write_file(folder + "/Level.qmw", canyon);
        ASSERT_TRUE(writable(false));
        expect_agreement(what + ", earlier map", maps, folder + "/Level.qmp", false);
        EXPECT_EQ(read_file(folder + "/Level.qmw"), canyon) << what;
        ASSERT_TRUE(writable(true));
    };

    // The folder's permissions. Root is not bound by them: as root, both programs run as
    // another user.
    if (geteuid() == 0) {
        if (!exists("/usr/bin/setpriv")) GTEST_SKIP() << "setpriv is needed to run the programs without root";
        launcher = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
    }
    expect_refused("no write permission", mods, [&](bool on) {
        const fs::perms read = fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read | fs::perms::group_exec |
                               fs::perms::others_read | fs::perms::others_exec;
        fs::permissions(mods, on ? read | fs::perms::owner_write : read);
        return true;
    });
    launcher.clear();

    // A file system mounted read-only, which stops root too.
    if (geteuid() != 0) GTEST_SKIP() << "mounting a file system needs root";
    const small_disk disk(root / "Disk", "size=1m");
    if (!disk.mounted) GTEST_SKIP() << "mount of a tmpfs refused here";
    expect_refused("read-only disk", disk.path, [&](bool on) { return disk.remount(on); });
#endif
}

// What stands at a marker path, where mapmend may not take it over: an empty folder at the map's
// own marker path and at a source's, and, in a sticky folder, a marker of another user that this
// one may not delete. mapmend fails before it moves anything, and inspect says it would.
TEST_F(inspect_run, marker_paths_that_mapmend_may_not_take_over) {
    const bytes low = synthetic_map(35, 15000, 2);
    const bytes low_patch = make_patch(low, {{0, 9, "Canyon.qmw", 0, &canyon}});
    const bytes top_patch = make_patch(target, {{1, 20, "Low.qmw", 1, &low}});
    write_file(mods + "/Low.qmp", low_patch);
    write_file(mods + "/Top.qmp", top_patch);
    make_folder(mods + "/Top.qmw.rebuilding");
    expect_agreement("a folder at the map's marker path", maps, mods + "/Top.qmp", false);
    std::filesystem::remove(mods + "/Top.qmw.rebuilding");
    make_folder(mods + "/Low.qmw.rebuilding");
    expect_agreement("a folder at a source's marker path", maps, mods + "/Top.qmp", false);
    EXPECT_EQ(folder_listing(mods), (std::vector<std::string>{"Low.qmp", "Low.qmw.rebuilding", "Top.qmp"}));

#ifndef _WIN32
    if (geteuid() != 0 || !exists("/usr/bin/setpriv")) GTEST_SKIP() << "another user's marker needs root and setpriv";
    namespace fs = std::filesystem;
    const std::string sticky = root / "Shared";
    make_folder(sticky);
    fs::permissions(root.path, fs::perms::all);
    fs::permissions(sticky, fs::perms::all | fs::perms::sticky_bit);
    write_file(sticky + "/Low.qmp", low_patch);
    write_file(sticky + "/Top.qmp", top_patch);
    write_file(sticky + "/Low.qmw", low_patch);  // left unfinished by a run of root's
    write_file(sticky + "/Low.qmw.rebuilding", std::string());
    launcher = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
    expect_agreement("another user's marker in a sticky folder", maps, sticky + "/Top.qmp", false);
    launcher.clear();
    EXPECT_EQ(folder_listing(sticky), (std::vector<std::string>{"Low.qmp", "Low.qmw", "Low.qmw.rebuilding", "Top.qmp"}));
#endif
}
