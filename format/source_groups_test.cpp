#include "format/source_groups.h"

#include <gtest/gtest.h>

namespace {

patch_entry entry(bool in_patch_folder, const std::string& name, std::int32_t source_offset, std::int32_t chunk_offset) {
    patch_entry e;
    e.in_patch_folder = in_patch_folder;
    e.source_name = name;
    e.source_offset = source_offset;
    e.chunk_offset = chunk_offset;
    return e;
}

}  // namespace

TEST(source_groups, sorted_entries_fall_into_groups_of_one_name_in_a_stable_order) {
    std::vector<patch_entry> entries = {entry(true, "Town.qmw", 5, 0), entry(false, "B.qmw", 9, 1),
                                        entry(false, "A.qmw", 3, 2),   entry(false, "B.qmw", 9, 3),
                                        entry(false, "B.qmw", 2, 4),   entry(true, "B.qmw", 1, 5)};
    sort_by_source(entries);
    std::vector<std::int32_t> order;
    for (const patch_entry& e : entries) order.push_back(e.chunk_offset);
    // Maps folder first; equal entries (chunks 1 and 3) keep their table order.
    EXPECT_EQ(order, (std::vector<std::int32_t>{2, 4, 1, 3, 5, 0}));

    EXPECT_EQ(source_group_end(entries, 0), 1u);
    // The patch folder's B.qmw follows those of the maps folder: one group, whatever the folder.
    EXPECT_EQ(source_group_end(entries, 1), 5u);
    EXPECT_EQ(source_group_end(entries, 5), 6u);
}

TEST(source_groups, a_source_lies_in_its_folder_and_its_sibling_patch_beside_the_patch) {
    EXPECT_EQ(source_path(entry(false, "Abbey.qmw", 1, 0), "D:\\Mods", "D:\\Maps\\"), "D:\\Maps\\Abbey.qmw");
    EXPECT_EQ(source_path(entry(true, "Town.qmw", 1, 0), "D:\\Mods", "D:\\Maps\\"), "D:\\Mods/Town.qmw");
    EXPECT_EQ(sibling_patch_path("D:\\Mods", "Town.qmw"), "D:\\Mods/Town.qmp");
    EXPECT_EQ(sibling_patch_path(".", "Town"), "./Town.qmp");
    EXPECT_EQ(sibling_patch_path("", "Town.x.qmw"), "/Town.x.qmp");
}
