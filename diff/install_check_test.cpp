#include "diff/install_check.h"

#include <gtest/gtest.h>

#include "tests/support/map_builder.h"

namespace {

// A map of the mod as the install check meets it: the author's map and where its patch is.
mod_map map_of_mod(const std::string& stem, const std::string& patch, const std::string& author_map) {
    mod_map map;
    map.file.name = stem + ".qmw";
    map.file.path = author_map;
    map.file.in_patch_folder = true;
    map.patch = patch;
    return map;
}

}  // namespace

// Each call as the installer runs it: in install order every map rebuilds; a patch that draws on
// a map installed after it, one that rebuilds other bytes than the author's map and one whose
// source is missing are each refused, naming the patch.
TEST(install_check, each_call_as_the_installer_runs_it) {
    temp_folder folder;
    const bytes stock = synthetic_map(1, 100000, 3), a = synthetic_map(2, 80000, 3), b = synthetic_map(3, 90000, 3);
    write_file(folder / "S.qmw", stock);
    write_file(folder / "A.qmw", a);
    write_file(folder / "B.qmw", b);
    write_file(folder / "A.qmp", make_patch(a, {{0, 10, "S.qmw", 0, &stock}}));
    write_file(folder / "B.qmp", make_patch(b, {{1, 20, "A.qmw", 1, &a}, {2, 30, "S.qmw", 0, &stock}}));
    write_file(folder / "Gone.qmp", make_patch(b, {{1, 20, "Lost.qmw", 1, &a}}));
    patch_source source;
    source.name = "S.qmw";
    source.path = folder / "S.qmw";
    const std::vector<patch_source> sources{source};
    const mod_map map_a = map_of_mod("A", folder / "A.qmp", folder / "A.qmw"),
                  map_b = map_of_mod("B", folder / "B.qmp", folder / "B.qmw");

    const std::vector<mod_map> in_order{map_a, map_b};
    EXPECT_EQ(check_install_step(sources, in_order, 0), "");
    EXPECT_EQ(check_install_step(sources, in_order, 1), "");

    const std::vector<mod_map> reversed{map_b, map_a};
    const std::string nested = check_install_step(sources, reversed, 0);
    EXPECT_NE(nested.find("B.qmp draws on a map installed after it"), std::string::npos) << nested;

    const std::vector<mod_map> other_bytes{map_a, map_of_mod("B", folder / "B.qmp", folder / "A.qmw")};
    const std::string differs = check_install_step(sources, other_bytes, 1);
    EXPECT_NE(differs.find("B.qmp rebuilds a map that differs"), std::string::npos) << differs;

    const std::vector<mod_map> missing{map_a, map_of_mod("Gone", folder / "Gone.qmp", folder / "B.qmw")};
    const std::string gone = check_install_step(sources, missing, 1);
    EXPECT_NE(gone.find("Gone.qmp does not rebuild in install order"), std::string::npos) << gone;
}
