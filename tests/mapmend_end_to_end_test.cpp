// Runs the built mapmend as an installer would and checks its one line, its exit status and
// what it left on disk.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <map>
#include <stdexcept>

#include "digest/file_md5.h"
#include "tests/sample_maps_fixture.h"
#include "tests/support/map_builder.h"
#include "tests/support/run_program.h"
#include "tests/support/sample_set.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace {

std::string line_of(const std::string& message, const std::string& detail = std::string()) {
    return message + " " + detail + console_newline;
}

const std::string hint = "Try \"mapmend --help\"";

// One sample set for the whole program; each test works on its own copy of the mods.
struct mapmend_run : sample_maps_test {
    std::string mods = folder / "Mods";
    std::string work = folder / "Work";
    std::map<std::string, bytes> maps_before;

    void SetUp() override {
        make_folder(mods);
        make_folder(work);
        for (const named_file& file : set.patches) write_file(mods + "/" + file.name, file.content);
        maps_before = snapshot(maps);
    }

    // Every run: nothing on standard error, no file outside the patch folder, and the stock
    // maps untouched.
    void TearDown() override { EXPECT_TRUE(snapshot(maps) == maps_before) << "the maps folder changed"; }

    // Runs start in an empty folder of their own unless told otherwise, so that a file made
    // through a relative path shows there.
    program_result mapmend(const std::vector<std::string>& arguments, const std::string& working_folder = {}) {
        const std::vector<std::string> around = folder_listing(folder.path);
        program_result result = run_program(MAPMEND_PROGRAM, arguments, working_folder.empty() ? work : working_folder);
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(folder_listing(folder.path), around) << "a file appeared outside the patch folder";
        EXPECT_EQ(folder_listing(work), std::vector<std::string>{}) << "a file appeared in the working folder";
        return result;
    }

    const bytes& rebuilt(const std::string& name) const {
        for (const named_file& file : set.rebuilt)
            if (file.name == name) return file.content;
        throw std::invalid_argument(name);
    }

    std::string expected_digest(const std::string& name) {
        write_file(folder / name, rebuilt(name));
        return file_md5(folder / name);
    }
};

}  // namespace

TEST_F(mapmend_run, installer_run_checks_rebuilds_verifies_and_deletes) {
    const std::string digest = expected_digest("Riverside.qmw");
    const program_result result = mapmend(
        {"--check-stock", "--check-rebuilt=" + digest, "--delete-qmp", maps, mods + "/Riverside.qmp"});
    EXPECT_EQ(result.out, line_of("All OK."));
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(read_file(mods + "/Riverside.qmw"), rebuilt("Riverside.qmw"));
    EXPECT_EQ(read_file(mods + "/Outpost.qmw"), rebuilt("Outpost.qmw"));  // the nested source
    EXPECT_FALSE(exists(mods + "/Riverside.qmp"));
    EXPECT_TRUE(exists(mods + "/Outpost.qmp"));
    EXPECT_EQ(folder_listing(mods), (std::vector<std::string>{"Outpost.qmp", "Outpost.qmw", "Riverside.qmw"}));
}

TEST_F(mapmend_run, upper_case_digest_and_backslash_paths_work_alike) {
    std::string digest = expected_digest("Riverside.qmw");
    for (char& c : digest) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    std::string windows_mods = mods;
    for (char& c : windows_mods)
        if (c == '/') c = '\\';
    const program_result result = mapmend({maps + "\\", windows_mods + "\\Riverside.qmp", "--check-rebuilt=" + digest});
    EXPECT_EQ(result.out, line_of("All OK."));
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_TRUE(exists(mods + "/Riverside.qmp"));
}

TEST_F(mapmend_run, usage_text_and_help_hint) {
    program_result result = mapmend({"--help", "--bogus"});
    EXPECT_EQ(result.exit_code, 0);
    std::string expected_start = std::string("mapmend: Rebuild a Q5 QMW file from a QMP.") + console_newline + "Usage:";
    EXPECT_EQ(result.out.substr(0, expected_start.size()), expected_start);
    const std::string expected_end = std::string("  10 - Error: Could not delete the QMP.") + console_newline + console_newline;
    ASSERT_GT(result.out.size(), expected_end.size());
    EXPECT_EQ(result.out.substr(result.out.size() - expected_end.size()), expected_end);

    result = mapmend({"--bogus", "--help"});
    EXPECT_EQ(result.out, line_of("Error: Wrong options.", hint));
    EXPECT_EQ(result.exit_code, 3);
}

TEST_F(mapmend_run, argument_errors_end_with_their_codes) {
    const std::string digits = "0123456789abcdef0123456789abcdef";
    struct expectation {
        std::vector<std::string> arguments;
        std::string line;
        int code;
    };
    const std::vector<expectation> cases = {
        {{}, line_of("Error: Maps path arg missing.", hint), 5},
        {{"--check-stock"}, line_of("Error: Maps path arg missing.", hint), 5},
        {{mods + "/Riverside.qmp"}, line_of("Error: Maps path not found."), 1},
        {{"-x"}, line_of("Error: Maps path not found."), 1},
        {{maps, mods + "/Nothing.qmp"}, line_of("Error: QMP not found."), 2},
        {{maps, "--check-rebuilt"}, line_of("Error: Wrong options.", hint), 3},
        {{"--check-rebuilt=" + digits.substr(1), maps}, line_of("Error: Invalid MD5 string."), 4},
        {{"--check-rebuilt=" + digits + "0"}, line_of("Error: Invalid MD5 string."), 4},
        {{"--check-stock", "--delete-qmp", maps}, line_of("Error: QMP path arg missing.", hint), 6},
        {{"--check-stock", "--check-rebuilt=" + digits, maps}, line_of("Error: QMP path arg missing.", hint), 6},
        // No patch and no stock check: nothing to do, and nothing is written.
        {{maps}, line_of("Error: QMP path arg missing.", hint), 6},
    };
    const auto before = snapshot(mods);
    for (const expectation& c : cases) {
        const program_result result = mapmend(c.arguments);
        EXPECT_EQ(result.out, c.line) << testing::PrintToString(c.arguments);
        EXPECT_EQ(result.exit_code, c.code) << testing::PrintToString(c.arguments);
    }
    EXPECT_TRUE(snapshot(mods) == before);
}

TEST_F(mapmend_run, stock_check_alone) {
    const auto before = snapshot(mods);
    program_result result = mapmend({"--check-stock", maps});
    EXPECT_EQ(result.out, line_of("All OK."));
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_TRUE(snapshot(mods) == before);

    // A changed last file, and an empty folder, fail the check; nothing is rebuilt.
    make_folder(folder / "Changed");
    write_stock_maps(set, folder / "Changed");
    bytes last = set.stock.back().content;
    last[last.size() / 2] ^= 1;
    write_file(folder / ("Changed/" + set.stock.back().name), last);
    for (const std::string& stock : {folder / "Changed", mods}) {
        result = mapmend({"--check-stock", stock, mods + "/Riverside.qmp"});
        EXPECT_EQ(result.out, line_of("Error: Stock QMW verification failed."));
        EXPECT_EQ(result.exit_code, 7);
    }
    EXPECT_FALSE(exists(mods + "/Riverside.qmw"));
}

// Whichever row fails, early or late in the table, and however (changed, one byte longer,
// missing, a folder in its place), the check fails; put right again, it passes.
TEST_F(mapmend_run, stock_check_fails_on_any_failing_row) {
    const std::string copy = folder / "Copy";
    make_folder(copy);
    write_stock_maps(set, copy);
    const std::size_t last = set.stock.size() - 1;
    struct damage {
        std::size_t row;
        const char* how;
    };
    for (const damage d : {damage{0, "changed"}, damage{1, "longer"}, damage{last, "longer"}, damage{last, "missing"},
                           damage{15, "folder"}, damage{0, "missing"}}) {
        const std::string path = copy + "/" + set.stock[d.row].name;
        bytes content = set.stock[d.row].content;
        std::filesystem::remove(path);
        if (std::string(d.how) == "changed") {
            content[content.size() / 3] ^= 0x40;
            write_file(path, content);
        } else if (std::string(d.how) == "longer") {
            content.push_back(0);
            write_file(path, content);
        } else if (std::string(d.how) == "folder") {
            make_folder(path);
        }
        const program_result result = mapmend({"--check-stock", copy});
        EXPECT_EQ(result.out, line_of("Error: Stock QMW verification failed.")) << "row " << d.row << " " << d.how;
        EXPECT_EQ(result.exit_code, 7) << "row " << d.row << " " << d.how;
        std::filesystem::remove(path);
        write_file(path, set.stock[d.row].content);
    }
    const program_result result = mapmend({"--check-stock", copy});
    EXPECT_EQ(result.out, line_of("All OK."));
    EXPECT_EQ(result.exit_code, 0);
}

TEST_F(mapmend_run, a_wrong_digest_keeps_the_rebuilt_file_and_the_patch) {
    const program_result result =
        mapmend({"--check-rebuilt=" + std::string(32, '0'), "--delete-qmp", maps, mods + "/Riverside.qmp"});
    EXPECT_EQ(result.out, line_of("Error: Rebuilt QMW verification failed."));
    EXPECT_EQ(result.exit_code, 8);
    EXPECT_EQ(read_file(mods + "/Riverside.qmw"), rebuilt("Riverside.qmw"));
    EXPECT_TRUE(exists(mods + "/Riverside.qmp"));
}

TEST_F(mapmend_run, damaged_or_truncated_patches_never_end_in_all_ok) {
    const bytes& patch = set.patches.back().content;  // Riverside.qmp
    const std::string digest = expected_digest("Riverside.qmw");
    // Cut in the header, the table, referenced chunks, and the last
    // chunk, which no entry references: only the digest can tell that one.
    for (const std::size_t cut : {std::size_t{30}, std::size_t{500}, std::size_t{3000}, patch.size() / 2, patch.size() - 1}) {
        temp_folder scratch;
        write_file(scratch / "Riverside.qmp", bytes(patch.begin(), patch.begin() + static_cast<long>(cut)));
        write_file(scratch / "Outpost.qmp", set.patches.front().content);
        const program_result result =
            mapmend({"--check-rebuilt=" + digest, "--delete-qmp", maps, scratch / "Riverside.qmp"});
        const bool format_tells = cut < patch.size() - 1;
        EXPECT_EQ(result.out, line_of(format_tells ? "Error: QMW rebuild failed." : "Error: Rebuilt QMW verification failed."))
            << cut;
        EXPECT_EQ(result.exit_code, format_tells ? 9 : 8) << cut;
        EXPECT_TRUE(exists(scratch / "Riverside.qmp"));
    }
    // A stock source that is missing from the maps folder and has no patch of its own.
    const std::string lonely = folder / "Lonely";
    make_folder(lonely);
    write_file(lonely + "/Riverside.qmp", patch);
    const program_result result = mapmend({maps, lonely + "/Riverside.qmp"});
    EXPECT_EQ(result.exit_code, 9);
}

TEST_F(mapmend_run, source_names_that_leave_their_folder_are_refused) {
    const bytes target = synthetic_map(77, 40000, 2);
    const bytes& pass = set.stock.at(20).content;  // NorthPass.qmw
    for (const char* name : {"..\\Maps\\NorthPass.qmw", "../Maps/NorthPass.qmw", "C:NorthPass.qmw"}) {
        temp_folder scratch;
        write_file(scratch / "Evil.qmp", make_patch(target, {{0, 1, name, 1, &pass}}));
        const program_result result = mapmend({maps, scratch / "Evil.qmp"});
        EXPECT_EQ(result.exit_code, 9) << name;
        EXPECT_EQ(folder_listing(scratch.path), (std::vector<std::string>{"Evil.qmp", "Evil.qmw", "Evil.qmw.rebuilding"}))
            << name;
    }
}

TEST_F(mapmend_run, earlier_map_files_are_moved_to_numbered_backups) {
    write_file(mods + "/Riverside.qmw", std::string("first"));
    program_result result = mapmend({maps, mods + "/Riverside.qmp"});
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(read_file(mods + "/Riverside.qmw.old"), bytes({'f', 'i', 'r', 's', 't'}));

    result = mapmend({maps, mods + "/Riverside.qmp"});
    EXPECT_EQ(result.exit_code, 0);
    result = mapmend({maps, mods + "/Riverside.qmp"});
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(read_file(mods + "/Riverside.qmw (2).old"), rebuilt("Riverside.qmw"));
    EXPECT_EQ(read_file(mods + "/Riverside.qmw (3).old"), rebuilt("Riverside.qmw"));
    EXPECT_EQ(read_file(mods + "/Riverside.qmw"), rebuilt("Riverside.qmw"));
}

TEST_F(mapmend_run, a_bare_patch_name_lies_in_the_current_folder) {
    const program_result result = mapmend({maps, "Riverside.qmp", "--delete-qmp"}, mods);
    EXPECT_EQ(result.out, line_of("All OK."));
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(read_file(mods + "/Riverside.qmw"), rebuilt("Riverside.qmw"));
    EXPECT_FALSE(exists(mods + "/Riverside.qmp"));
}

TEST_F(mapmend_run, a_patch_that_cannot_be_deleted_is_reported_after_the_rebuild) {
    namespace fs = std::filesystem;
#ifdef _WIN32
    fs::permissions(mods + "/Riverside.qmp", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    const program_result result = mapmend({"--delete-qmp", maps, mods + "/Riverside.qmp"});
#else
    // Deleting is a right on the folder here, which must stay writable for the rebuilt map: in
    // a sticky folder only a file's owner may delete it, so mapmend runs as another user.
    if (geteuid() != 0) GTEST_SKIP() << "needs root, to run mapmend as another user";
    if (!exists("/usr/bin/setpriv")) GTEST_SKIP() << "setpriv is needed to run mapmend as another user";
    fs::permissions(mods, fs::perms::all | fs::perms::sticky_bit);
    const program_result result =
        run_program("/usr/bin/setpriv", {"--reuid=65534", "--regid=65534", "--clear-groups", MAPMEND_PROGRAM,
                                         "--delete-qmp", maps, mods + "/Riverside.qmp"}, work);
    EXPECT_EQ(result.err, "");
#endif
    EXPECT_EQ(result.out, line_of("Error: Could not delete the QMP."));
    EXPECT_EQ(result.exit_code, 10);
    EXPECT_EQ(read_file(mods + "/Riverside.qmw"), rebuilt("Riverside.qmw"));
    EXPECT_TRUE(exists(mods + "/Riverside.qmp"));
}
