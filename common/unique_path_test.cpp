#include "common/unique_path.h"

#include <gtest/gtest.h>

#include "tests/support/test_files.h"

TEST(unique_path, a_free_path_is_its_own_answer) {
    temp_folder folder;
    EXPECT_EQ(unique_path(folder / "MyMap.qmw.old"), folder / "MyMap.qmw.old");
}

TEST(unique_path, numbers_the_stem_until_a_name_is_free) {
    temp_folder folder;
    write_file(folder / "MyMap.qmw.old", std::string("1"));
    EXPECT_EQ(unique_path(folder / "MyMap.qmw.old"), folder / "MyMap.qmw (2).old");
    write_file(folder / "MyMap.qmw (2).old", std::string("2"));
    EXPECT_EQ(unique_path(folder / "MyMap.qmw.old"), folder / "MyMap.qmw (3).old");
    // Candidates come from the given path each time, never from the previous candidate.
    for (int n = 3; n <= 11; ++n) write_file(folder / ("MyMap.qmw (" + std::to_string(n) + ").old"), std::string("n"));
    EXPECT_EQ(unique_path(folder / "MyMap.qmw.old"), folder / "MyMap.qmw (12).old");
}

TEST(unique_path, a_path_without_extension_gets_no_dot) {
    temp_folder folder;
    write_file(folder / "MyMap", std::string("1"));
    EXPECT_EQ(unique_path(folder / "MyMap"), folder / "MyMap (2)");
}

TEST(unique_path, a_folder_is_not_free) {
    temp_folder folder;
    make_folder(folder / "MyMap.qmw.old");
    EXPECT_EQ(unique_path(folder / "MyMap.qmw.old"), folder / "MyMap.qmw (2).old");
}
