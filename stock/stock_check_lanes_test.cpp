#include "stock/stock_check.h"

#include "digest/file_md5.h"

#include "tests/support/test_files.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::string content_of(std::size_t size, int seed) {
    std::string data(size, '\0');
    for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<char>((i * 7 + static_cast<std::size_t>(seed) * 131 + (i >> 9)) % 253);
    return data;
}

// 31 files of the given sizes and rows that match them.
struct lane_stock_set {
    temp_folder folder;
    std::string maps_path = folder.path + "/";
    std::vector<std::string> names, contents, digests;
    std::vector<stock_map> rows;

    explicit lane_stock_set(const std::vector<std::size_t>& sizes) {
        for (std::size_t i = 0; i < sizes.size(); ++i) {
            names.push_back("Map" + std::to_string(100 + i) + ".qmw");
            contents.push_back(content_of(sizes[i], static_cast<int>(i)));
            write_file(maps_path + names.back(), contents.back());
        }
        for (std::size_t i = 0; i < sizes.size(); ++i) {
            digests.push_back(file_md5(maps_path + names[i]));
            rows.push_back({names[i].c_str(), digests[i].c_str()});
        }
    }

    bool check(const stock_check_setup& setup) { return check_stock_lanes(maps_path, rows.data(), rows.size(), setup); }
    bool check_serially() { return check_stock(maps_path, rows.data(), rows.size(), file_md5); }
    std::string path(std::size_t row) const { return maps_path + names[row]; }
};

class stock_check_lanes : public ::testing::TestWithParam<md5_isa> {
protected:
    void SetUp() override {
        if (!md5_isa_available(GetParam()))
            GTEST_SKIP() << md5_isa_name(GetParam()) << ": not run by this processor or not in this build";
    }
    stock_check_setup setup(std::size_t workers, std::size_t buffer_bytes = stock_check_buffer_bytes) const {
        stock_check_setup s;
        s.isa = GetParam();
        s.workers = workers;
        s.buffer_bytes = buffer_bytes;
        return s;
    }
};

const std::vector<std::size_t> edge_sizes = {0,     1,     55,    56,    63,    64,     65,     127,
                                             128,   129,   4095,  4096,  4097,  8191,   8192,   10000,
                                             65535, 65536, 65537, 3,     200,   300,    777,    1024,
                                             2048,  12345, 54321, 99999, 100000, 131072, 150001};

}  // namespace

// Files of sizes at the edges of blocks and reads, read in pieces of one block, of 65 blocks
// and of the default size, by one to three workers: the answer is the serial check's, for
// unchanged files and for a changed first, middle or last row.
TEST_P(stock_check_lanes, answers_as_the_serial_check) {
    lane_stock_set stock(edge_sizes);
    const std::size_t lanes = md5_lane_count(GetParam());
    for (const std::size_t buffer : {lanes * 64, lanes * 65 * 64, stock_check_buffer_bytes}) {
        for (const std::size_t workers : {1, 2, 3}) {
            EXPECT_TRUE(stock.check(setup(workers, buffer))) << workers << " workers, buffer " << buffer;
            for (const std::size_t row : {std::size_t{0}, std::size_t{13}, std::size_t{30}}) {
                std::string changed = stock.contents[row];
                if (changed.empty())
                    changed = "x";
                else
                    changed[changed.size() / 2] ^= 0x20;
                write_file(stock.path(row), changed);
                EXPECT_FALSE(stock.check(setup(workers, buffer))) << "row " << row << ", " << workers << " workers, buffer " << buffer;
                EXPECT_FALSE(stock.check_serially());
                write_file(stock.path(row), stock.contents[row]);
            }
        }
    }
    EXPECT_TRUE(stock.check_serially());
}

// A row whose file cannot be opened (missing, or a folder) fails the check before any file
// is read, wherever it stands in the table.
TEST_P(stock_check_lanes, a_file_that_cannot_be_opened_fails_before_any_read) {
    lane_stock_set stock(edge_sizes);
    for (const std::size_t row : {std::size_t{0}, std::size_t{30}}) {
        for (const bool as_folder : {false, true}) {
            fs::remove(stock.path(row));
            if (as_folder) fs::create_directory(stock.path(row));
            std::uint64_t bytes_read = 1;
            stock_check_setup s = setup(2);
            s.bytes_read = &bytes_read;
            EXPECT_FALSE(stock.check(s)) << "row " << row;
            EXPECT_EQ(bytes_read, 0u) << "row " << row;
            fs::remove(stock.path(row));
            write_file(stock.path(row), stock.contents[row]);
        }
    }
    EXPECT_TRUE(stock.check(setup(2)));
}

// One worker: the first files it takes are the first rows (equal sizes keep the table's
// order). When the first row differs, the files read are at most those in its lanes.
TEST_P(stock_check_lanes, a_file_that_differs_ends_the_reading) {
    const std::size_t size = 3 * 4096 + 13;
    lane_stock_set stock(std::vector<std::size_t>(31, size));
    std::string changed = stock.contents[0];
    changed[0] ^= 1;
    write_file(stock.path(0), changed);

    const std::size_t lanes = md5_lane_count(GetParam());
    std::uint64_t bytes_read = 0;
    stock_check_setup s = setup(1, lanes * 4096);
    s.bytes_read = &bytes_read;
    EXPECT_FALSE(stock.check(s));
    EXPECT_GE(bytes_read, size);
    EXPECT_LE(bytes_read, lanes * size);
}

// Each file's own digest and size, by one or two workers, with a missing file and a folder
// among them: those are reported unopened and every other file is read to its end.
TEST_P(stock_check_lanes, digests_of_files_are_file_md5s) {
    lane_stock_set stock(edge_sizes);
    std::vector<std::string> paths;
    for (std::size_t row = 0; row < stock.names.size(); ++row) paths.push_back(stock.path(row));
    paths.insert(paths.begin() + 5, stock.maps_path + "Missing.qmw");
    fs::create_directory(stock.maps_path + "Folder.qmw");
    paths.push_back(stock.maps_path + "Folder.qmw");
    for (const std::size_t workers : {1, 2}) {
        std::uint64_t bytes_read = 0;
        stock_check_setup s = setup(workers, md5_lane_count(GetParam()) * 65 * 64);
        s.bytes_read = &bytes_read;
        const std::vector<file_digest> digests = file_md5_lanes(paths, s);
        ASSERT_EQ(digests.size(), paths.size());
        std::uint64_t total = 0;
        for (std::size_t i = 0; i < paths.size(); ++i) {
            const bool present = i != 5 && i + 1 != paths.size();
            EXPECT_EQ(digests[i].opened, present) << paths[i];
            EXPECT_EQ(digests[i].digest, file_md5(paths[i])) << paths[i];
            if (present) {
                EXPECT_EQ(digests[i].size, read_file(paths[i]).size()) << paths[i];
            }
            total += digests[i].size;
        }
        EXPECT_EQ(bytes_read, total);
    }
}

INSTANTIATE_TEST_SUITE_P(each_instruction_set, stock_check_lanes, ::testing::ValuesIn(md5_isas),
                         [](const ::testing::TestParamInfo<md5_isa>& info) { return std::string(md5_isa_name(info.param)); });
