#include "stock/stock_check.h"

#include "digest/file_md5.h"
#include "digest/md5.h"

#include "tests/support/test_files.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::string md5_of(const std::string& content) { return md5_text_of(content.data(), content.size()); }

std::vector<std::string> opened;

std::string recording_file_md5(const std::string& path) {
    opened.push_back(path);
    return file_md5(path);
}

// A stock set of 31 small files in a folder, with rows that match them.
struct stock_set {
    temp_folder folder;
    std::string maps_path;  // ends with a separator, as the tool hands it over
    std::vector<std::string> names;
    std::vector<std::string> digests;
    std::vector<stock_map> rows;

    stock_set() {
        maps_path = folder.path + "/";
        for (int i = 0; i < 31; ++i) {
            names.push_back((i % 2 ? "Stock Map " : "stock_MAP_") + std::to_string(100 + i) + ".qmw");
            const std::string content = "map data " + std::to_string(i * i) + std::string(i * 97, 'x');
            digests.push_back(md5_of(content));
            write_file(maps_path + names.back(), content);
        }
        for (int i = 0; i < 31; ++i) rows.push_back({names[i].c_str(), digests[i].c_str()});
    }

    bool check() {
        opened.clear();
        return check_stock(maps_path, rows.data(), rows.size(), recording_file_md5);
    }
};

}  // namespace

// The path of each row is the maps path and the name joined as they stand, in table order.
TEST(check_stock, all_files_unchanged_pass) {
    stock_set stock;
    EXPECT_TRUE(stock.check());
    ASSERT_EQ(opened.size(), 31u);
    for (std::size_t i = 0; i < 31; ++i) EXPECT_EQ(opened[i], stock.maps_path + stock.names[i]);
}

TEST(check_stock, missing_first_file_fails_before_opening_others) {
    stock_set stock;
    fs::remove(stock.maps_path + stock.names[0]);
    EXPECT_FALSE(stock.check());
    EXPECT_EQ(opened.size(), 1u);
}

TEST(check_stock, changed_last_file_fails_after_reading_all) {
    stock_set stock;
    write_file(stock.maps_path + stock.names[30], "not the stock content");
    EXPECT_FALSE(stock.check());
    EXPECT_EQ(opened.size(), 31u);
}

// Digest texts are compared byte for byte: an upper-case row never matches.
TEST(check_stock, digest_comparison_is_exact) {
    stock_set stock;
    std::string upper = stock.digests[0];
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    ASSERT_NE(upper, stock.digests[0]);
    stock.rows[0].digest = upper.c_str();
    EXPECT_FALSE(stock.check());
}

// The built-in table is what the table file says, row for row, names byte for byte.
TEST(check_stock, built_in_table_matches_table_file) {
    std::ifstream table(MAPMEND_STOCK_TABLE_FILE, std::ios::binary);
    ASSERT_TRUE(table) << MAPMEND_STOCK_TABLE_FILE;
    std::vector<std::string> lines;
    for (std::string line; std::getline(table, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    ASSERT_EQ(lines.size(), stock_map_count);
    for (std::size_t i = 0; i < stock_map_count; ++i) {
        EXPECT_EQ(lines[i].substr(0, 32), stock_maps()[i].digest);
        EXPECT_EQ(lines[i].substr(34), stock_maps()[i].name);
    }
}

// Against the built-in table, a folder without the stock files fails.
TEST(check_stock, empty_maps_folder_fails) {
    const temp_folder folder;
    EXPECT_FALSE(check_stock(folder.path + "/"));
}
