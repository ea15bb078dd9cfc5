#include "common/path_text.h"

#include <gtest/gtest.h>

TEST(path_text, file_name_takes_the_text_after_the_last_separator_of_either_kind) {
    EXPECT_EQ(file_name("C:\\Tools\\mapmend.exe"), "mapmend.exe");
    EXPECT_EQ(file_name("mapmend.exe"), "mapmend.exe");
    EXPECT_EQ(file_name("C:\\Tools\\"), "");
    EXPECT_EQ(file_name("a/b\\c"), "c");
    EXPECT_EQ(file_name("a\\b/c"), "c");
    EXPECT_EQ(file_name(""), "");
}

TEST(path_text, strip_extension_removes_only_an_extension_of_the_file_name) {
    EXPECT_EQ(strip_extension("D:\\Mods\\MyMap.qmp"), "D:\\Mods\\MyMap");
    EXPECT_EQ(strip_extension("D:\\my.mods\\MyMap"), "D:\\my.mods\\MyMap");
    EXPECT_EQ(strip_extension("D:/my.mods/MyMap"), "D:/my.mods/MyMap");
    EXPECT_EQ(strip_extension("MyMap."), "MyMap");
    EXPECT_EQ(strip_extension(".qmw"), "");
    EXPECT_EQ(strip_extension(""), "");
    EXPECT_EQ(strip_extension("my.tool.exe"), "my.tool");
    EXPECT_EQ(strip_extension("D:\\Mods\\MyMap.qmw.old"), "D:\\Mods\\MyMap.qmw");
}

TEST(path_text, file_extension_is_empty_without_a_dot_in_the_file_name) {
    EXPECT_EQ(file_extension("D:\\Mods\\MyMap.qmw.old"), "old");
    EXPECT_EQ(file_extension("MyMap."), "");
    EXPECT_EQ(file_extension("D:\\my.mods\\MyMap"), "");
    EXPECT_EQ(file_extension("MyMap"), "");
    EXPECT_EQ(file_extension("a.b/c.Qmw"), "Qmw");
}

TEST(path_text, folder_of_and_path_in_give_back_a_file_beside_another) {
    EXPECT_EQ(folder_of("D:\\maps.v2\\level"), "D:\\maps.v2");
    EXPECT_EQ(folder_of("a/b\\c.qmp"), "a/b");
    EXPECT_EQ(folder_of("Level.qmp"), ".");
    EXPECT_EQ(folder_of("\\Level.qmp"), "");
    EXPECT_EQ(path_in("D:\\Maps\\", "Abbey.qmw"), "D:\\Maps\\Abbey.qmw");
    EXPECT_EQ(path_in("maps/", "Abbey.qmw"), "maps/Abbey.qmw");
    EXPECT_EQ(path_in("D:\\Mods", "Town.qmw"), "D:\\Mods/Town.qmw");
    // A file in the root stays there.
    EXPECT_EQ(path_in(folder_of("\\Level.qmp"), "Town.qmw"), "/Town.qmw");
    EXPECT_EQ(path_in(folder_of("Level.qmp"), "Town.qmw"), "./Town.qmw");
}

TEST(path_text, to_lower_changes_ascii_capitals_only) {
    EXPECT_EQ(to_lower("ABCXYZ abcxyz 09@[`{"), "abcxyz abcxyz 09@[`{");
    const std::string high = "\xC4\xD6\xDC\x80\xFF";
    EXPECT_EQ(to_lower(high), high);
    EXPECT_EQ(to_lower("--CHECK-REBUILT=0123456789ABCDEF"), "--check-rebuilt=0123456789abcdef");
}

TEST(path_text, control_characters_are_those_below_32_and_delete) {
    EXPECT_FALSE(has_control_character("Cove ~ (2).qmw"));
    EXPECT_FALSE(has_control_character("\x80\xff"));
    EXPECT_TRUE(has_control_character(std::string("a\0b", 3)));
    EXPECT_TRUE(has_control_character("tab\there"));
    EXPECT_TRUE(has_control_character("\x1f"));
    EXPECT_TRUE(has_control_character("end\x7f"));
}
