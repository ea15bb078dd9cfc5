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

TEST(path_text, to_lower_changes_ascii_capitals_only) {
    EXPECT_EQ(to_lower("ABCXYZ abcxyz 09@[`{"), "abcxyz abcxyz 09@[`{");
    const std::string high = "\xC4\xD6\xDC\x80\xFF";
    EXPECT_EQ(to_lower(high), high);
    EXPECT_EQ(to_lower("--CHECK-REBUILT=0123456789ABCDEF"), "--check-rebuilt=0123456789abcdef");
}
