// mapdiff inspect against what the built mapmend then does with the same files: a long chain of
// sibling patches, a source named in both folders.
#include <gtest/gtest.h>

#include <set>
#include <sstream>

#include "mapmend/file_md5.h"
#include "mapmend/rebuild.h"
#include "tests/support/map_builder.h"
#include "tests/support/run_program.h"
#include "tests/support/test_files.h"

namespace {

struct inspect_run : ::testing::Test {
    temp_folder root;
    std::string maps = root / "Maps";
    std::string mods = root / "Mods";
    bytes canyon = synthetic_map(30, 20000, 2);
    bytes target = synthetic_map(31, 12000, 3);

    void SetUp() override {
        make_folder(maps);
        make_folder(mods);
        write_file(maps + "/Canyon.qmw", canyon);
    }

    program_result run(const std::string& program, const std::vector<std::string>& arguments) {
        return run_program(program, arguments, root.path);
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

