#include "mapdiff/arguments.h"

#include <gtest/gtest.h>

TEST(mapdiff_arguments, make_takes_its_options_anywhere_and_three_paths) {
    mapdiff_arguments a;
    ASSERT_EQ(read_mapdiff_arguments({"make", "--beside", "mods", "maps", "--force", "L.qmw", "out/L.qmp"}, a), "");
    EXPECT_EQ(a.command, mapdiff_command::make);
    EXPECT_EQ(a.make.beside, "mods");
    EXPECT_TRUE(a.make.force);
    EXPECT_EQ(a.make.maps_path, "maps");
    EXPECT_EQ(a.make.map_file, "L.qmw");
    EXPECT_EQ(a.make.patch_path, "out/L.qmp");
    ASSERT_EQ(read_mapdiff_arguments({"make", "m", "a", "b"}, a), "");
    EXPECT_FALSE(a.make.force);
    EXPECT_EQ(a.make.beside, "");
}

TEST(mapdiff_arguments, inspect_and_stock_table) {
    mapdiff_arguments a;
    ASSERT_EQ(read_mapdiff_arguments({"inspect", "maps", "L.qmp"}, a), "");
    EXPECT_EQ(a.command, mapdiff_command::inspect);
    EXPECT_EQ(a.make.patch_path, "L.qmp");
    ASSERT_EQ(read_mapdiff_arguments({"stock-table", "maps"}, a), "");
    EXPECT_EQ(a.command, mapdiff_command::stock_table);
    EXPECT_EQ(a.table_file, "");
    ASSERT_EQ(read_mapdiff_arguments({"stock-table", "maps", "t.md5"}, a), "");
    EXPECT_EQ(a.table_file, "t.md5");
    ASSERT_EQ(read_mapdiff_arguments({"inspect", "--help"}, a), "");
    EXPECT_EQ(a.command, mapdiff_command::help);
}

TEST(mapdiff_arguments, wrong_command_lines_give_one_error_line) {
    const std::vector<std::vector<std::string>> wrong = {
        {},
        {"mend", "a", "b"},
        {"make", "a", "b"},
        {"make", "a", "b", "c", "d"},
        {"make", "a", "b", "c", "--beside"},
        {"make", "--quiet", "a", "b", "c"},
        {"inspect", "--force", "a", "b"},
        {"inspect", "a"},
        {"stock-table"},
        {"stock-table", "a", "b", "c"},
        {"make", "", "b", "c"},
    };
    for (const auto& words : wrong) {
        mapdiff_arguments a;
        const std::string error = read_mapdiff_arguments(words, a);
        EXPECT_EQ(error.rfind("Error: ", 0), 0u) << testing::PrintToString(words);
        EXPECT_EQ(error.find('\n'), std::string::npos);
    }
}
