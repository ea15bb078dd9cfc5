// A test whose programs work on the sample set's stock maps: the set is made and its maps
// written once per test program, and each test works in a folder of its own beside them.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "tests/support/sample_set.h"
#include "tests/support/test_files.h"

// Every file of a folder with its content, to show what a run changed.
inline std::map<std::string, bytes> snapshot(const std::string& folder) {
    std::map<std::string, bytes> files;
    for (const std::string& name : folder_listing(folder)) files[name] = read_file(folder + "/" + name);
    return files;
}

struct sample_maps_test : ::testing::Test {
    static inline sample_set set;
    static inline temp_folder* shared = nullptr;

    static void SetUpTestSuite() {
        set = make_sample_set();
        shared = new temp_folder;
        make_folder(*shared / "Maps");
        write_stock_maps(set, *shared / "Maps");
    }
    static void TearDownTestSuite() {
        delete shared;
        shared = nullptr;
    }

    temp_folder folder;
    std::string maps = *shared / "Maps";
};
