#include "mapdiff/inspect_patch.h"

#include <gtest/gtest.h>

#include "format/rebuild.h"
#include "tests/support/map_builder.h"

namespace {

std::size_t count_of(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

}  // namespace

// Sibling patches met more than once, and a cycle back to the map being rebuilt: the listing
// says where each source stands when the rebuild comes to it, and lists each patch once.
TEST(inspect_listing, follows_the_rebuild_through_shared_siblings_and_cycles) {
    const bytes stock = synthetic_map(40, 20000, 2);
    const bytes level = synthetic_map(41, 12000, 3), b = synthetic_map(42, 12000, 2), c = synthetic_map(43, 12000, 2);
    memory_files world;
    world.files["maps/Stock.qmw"] = stock;
    // Level draws on B and C, B on C and on Level itself as it stands then; C on the stock map.
    world.files["mods/Level.qmp"] = make_patch(level, {{0, 5, "B.qmw", 1, &b}, {2, 9, "C.qmw", 1, &c}});
    world.files["mods/B.qmp"] = make_patch(b, {{0, 5, "C.qmw", 1, &c}, {1, 3, "Level.qmw", 1, &level}});
    world.files["mods/C.qmp"] = make_patch(c, {{1, 7, "Stock.qmw", 0, &stock}});
    memory_files mended = world;

    const inspect_outcome outcome = inspect_rebuild(world, "maps\\", "mods/Level.qmp");
    ASSERT_EQ(rebuild_map_file(storage{&mended}, "mods/Level.qmp", "maps\\"), rebuilt);
    EXPECT_TRUE(outcome.would_rebuild) << outcome.text;
    EXPECT_EQ(world.files.at("mods/Level.qmw"), mended.files.at("mods/Level.qmw"));

    EXPECT_EQ(count_of(outcome.text, "C.qmp: "), 1u) << outcome.text;
    EXPECT_NE(outcome.text.find("B.qmw (beside the patch): missing, rebuilt first from B.qmp\n"), std::string::npos);
    EXPECT_NE(outcome.text.find("C.qmw (beside the patch): missing, rebuilt first from C.qmp\n"), std::string::npos);
    EXPECT_NE(outcome.text.find("Level.qmw (beside the patch): the map being rebuilt from Level.qmp, read as it stands\n"),
              std::string::npos);
    EXPECT_NE(outcome.text.find("C.qmw (beside the patch): the map rebuilt before from C.qmp\n"), std::string::npos);
    EXPECT_EQ(count_of(outcome.text, "also rebuilt: "), 2u) << outcome.text;
}
