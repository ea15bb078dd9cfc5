// A fixture for end-to-end runs of the built mapmend that checks, around every test, what
// no run may do: change the maps folder (names, sizes, digests), leave a file outside the
// patch folder, or write to standard error. Each test has its own folder:
//   <root>/Maps  a few stock maps      <root>/Mods  the patch folder
//   <root>/Work  the working folder of every run, which must stay empty
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "digest/file_md5.h"
#include "tests/support/deadline.h"
#include "tests/support/map_builder.h"
#include "tests/support/run_program.h"

struct mapmend_case : ::testing::Test {
    // Generous: a chain of hundreds of nested rebuilds under Wine takes seconds, not minutes.
    explicit mapmend_case(std::chrono::seconds limit = std::chrono::seconds(120)) : bound(limit) {}
    deadline bound;
    temp_folder root;
    std::string maps = root / "Maps";
    std::string mods = root / "Mods";
    std::string work = root / "Work";
    std::set<std::string> also_in_root;  // folders a test adds beside the three
    std::vector<std::string> launcher;   // a program that starts mapmend, with its arguments

    std::map<std::string, std::pair<std::size_t, std::string>> maps_before;

    // Three stock maps of a few dozen KiB; `stock_map(i)` gives their bytes.
    static std::string stock_name(int i) { return "Stock" + std::to_string(i) + ".qmw"; }
    static bytes stock_map(int i) { return synthetic_map(500 + static_cast<std::uint64_t>(i), 30000 + 7000 * static_cast<std::size_t>(i), 3); }

    void SetUp() override {
        make_folder(maps);
        make_folder(mods);
        make_folder(work);
        for (int i = 0; i < 3; ++i) write_file(maps + "/" + stock_name(i), stock_map(i));
        maps_before = maps_state();
    }

    void TearDown() override {
        EXPECT_EQ(maps_state(), maps_before) << "the maps folder changed";
        std::vector<std::string> expected{"Maps", "Mods", "Work"};
        expected.insert(expected.end(), also_in_root.begin(), also_in_root.end());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(folder_listing(root.path), expected) << "a file appeared outside the patch folder";
        EXPECT_EQ(folder_listing(work), std::vector<std::string>{}) << "a file appeared in the working folder";
    }

    std::map<std::string, std::pair<std::size_t, std::string>> maps_state() const {
        std::map<std::string, std::pair<std::size_t, std::string>> state;
        for (const std::string& name : folder_listing(maps))
            state[name] = {read_file(maps + "/" + name).size(), file_md5(maps + "/" + name)};
        return state;
    }

    program_result mapmend(const std::vector<std::string>& arguments) {
        program_result result;
        if (launcher.empty()) {
            result = run_program(MAPMEND_PROGRAM, arguments, work);
        } else {
            std::vector<std::string> words(launcher.begin() + 1, launcher.end());
            words.push_back(MAPMEND_PROGRAM);
            words.insert(words.end(), arguments.begin(), arguments.end());
            result = run_program(launcher.front(), words, work);
        }
        EXPECT_EQ(result.err, "") << testing::PrintToString(arguments);
        return result;
    }

    std::string mod(const std::string& name) const { return mods + "/" + name; }
};

inline std::string result_line(const std::string& message) { return message + " " + console_newline; }
