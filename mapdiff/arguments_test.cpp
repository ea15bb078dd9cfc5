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
    EXPECT_EQ(a.inspect.maps_path, "maps");
    EXPECT_EQ(a.inspect.patch_path, "L.qmp");
    ASSERT_EQ(read_mapdiff_arguments({"stock-table", "maps"}, a), "");
    EXPECT_EQ(a.command, mapdiff_command::stock_table);
    EXPECT_EQ(a.stock_table.maps_path, "maps");
    EXPECT_EQ(a.stock_table.table_file, "");
    EXPECT_FALSE(a.stock_table.force);
    ASSERT_EQ(read_mapdiff_arguments({"stock-table", "maps", "t.md5", "--force"}, a), "");
    EXPECT_EQ(a.stock_table.table_file, "t.md5");
    EXPECT_TRUE(a.stock_table.force);
    ASSERT_EQ(read_mapdiff_arguments({"inspect", "--help"}, a), "");
    EXPECT_EQ(a.command, mapdiff_command::help);
}

TEST(mapdiff_arguments, pack_and_check_stock) {
    mapdiff_arguments a;
    ASSERT_EQ(read_mapdiff_arguments({"pack", "maps", "--force", "mod", "out"}, a), "");
    EXPECT_EQ(a.command, mapdiff_command::pack);
    EXPECT_EQ(a.pack.maps_path, "maps");
    EXPECT_EQ(a.pack.mod_folder, "mod");
    EXPECT_EQ(a.pack.out_folder, "out");
    EXPECT_TRUE(a.pack.force);
    EXPECT_FALSE(a.pack.allow_stock_gaps);
    ASSERT_EQ(read_mapdiff_arguments({"pack", "--allow-stock-gaps", "maps", "mod", "out"}, a), "");
    EXPECT_TRUE(a.pack.allow_stock_gaps);
    ASSERT_EQ(read_mapdiff_arguments({"make", "maps", "L.qmw", "--allow-stock-gaps", "L.qmp"}, a), "");
    EXPECT_TRUE(a.make.allow_stock_gaps);
    ASSERT_EQ(read_mapdiff_arguments({"--version"}, a), "");
    EXPECT_EQ(a.command, mapdiff_command::version);
    ASSERT_EQ(read_mapdiff_arguments({"check-stock", "maps"}, a), "");
    EXPECT_EQ(a.command, mapdiff_command::check_stock);
    EXPECT_EQ(a.check_stock.maps_path, "maps");
    EXPECT_FALSE(a.pack.force);
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
        {"pack", "a", "b"},
        {"pack", "--beside", "x", "a", "b", "c"},
        {"check-stock"},
        {"check-stock", "--force", "a"},
        {"check-stock", "--allow-stock-gaps", "a"},
        {"stock-table", "--allow-stock-gaps", "a"},
        {"--version", "pack"},
        {"make", "--version", "a", "b", "c"},
    };
    for (const auto& words : wrong) {
        mapdiff_arguments a;
        const std::string error = read_mapdiff_arguments(words, a);
        EXPECT_EQ(error.rfind("Error: ", 0), 0u) << testing::PrintToString(words);
        EXPECT_EQ(error.find('\n'), std::string::npos);
    }
}
