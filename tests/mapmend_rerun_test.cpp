// A run that fails part-way for want of a file, then the same call once the file is there:
// what the first run left is never read as a finished map, by mapmend or by mapdiff inspect.
#include "tests/mapmend_fixture.h"

#include "digest/md5.h"

namespace {

std::string md5_of(const bytes& content) { return md5_text_of(content.data(), content.size()); }

}  // namespace

// Top.qmp draws on Low.qmw beside it, rebuilt first from Low.qmp, which draws on Far.qmw, not
// there yet. The first run fails and leaves Low.qmw, the copy of its patch, with its marker.
TEST_F(mapmend_case, a_nested_rebuild_that_failed_is_rebuilt_once_its_source_is_there) {
    const bytes far = synthetic_map(720, 50000, 2), low = synthetic_map(721, 60000, 3), top = synthetic_map(722, 40000, 2);
    const bytes low_patch = make_patch(low, {{0, 30, "Far.qmw", 1, &far}});
    write_file(mod("Low.qmp"), low_patch);
    write_file(mod("Top.qmp"), make_patch(top, {{1, 100, "Low.qmw", 1, &low}}));
    const std::vector<std::string> call = {"--delete-qmp", maps, mod("Top.qmp")};

    program_result result = mapmend(call);
    EXPECT_EQ(result.out, result_line("Error: QMW rebuild failed."));
    EXPECT_EQ(result.exit_code, 9);
    EXPECT_EQ(folder_listing(mods), (std::vector<std::string>{"Low.qmp", "Low.qmw", "Low.qmw.rebuilding", "Top.qmp", "Top.qmw",
                                                              "Top.qmw.rebuilding"}));
    const bytes left = read_file(mod("Low.qmw"));

    write_file(mod("Far.qmw"), far);
    const program_result inspected = run_program(MAPDIFF_PROGRAM, {"inspect", maps, mod("Top.qmp")}, work);
    EXPECT_EQ(inspected.exit_code, 0) << inspected.out;
    EXPECT_NE(inspected.out.find("md5 " + md5_of(top)), std::string::npos) << inspected.out;

    result = mapmend(call);
    EXPECT_EQ(result.out, result_line("All OK."));
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(read_file(mod("Top.qmw")), top);
    EXPECT_EQ(read_file(mod("Low.qmw")), low);
    EXPECT_EQ(read_file(mod("Low.qmw.old")), left);
    EXPECT_EQ(folder_listing(mods), (std::vector<std::string>{"Far.qmw", "Low.qmp", "Low.qmw", "Low.qmw.old", "Top.qmw", "Top.qmw.old"}));
}
