#include "mapmend/file_md5.h"

#include "mapmend/md5.h"

#include "tests/support/test_files.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

// Byte i is (i * 31 + 7) mod 251.
std::string pattern(std::size_t size) {
    std::string data(size, '\0');
    for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<char>((i * 31 + 7) % 251);
    return data;
}

std::string write_named(const temp_folder& folder, const std::string& name, const std::string& content) {
    write_file(folder / name, content);
    return folder / name;
}

// Reference digest: the bytes fed one at a time, with no file involved.
std::string md5_byte_by_byte(const std::string& data) {
    md5_context context;
    md5_init(context);
    for (char byte : data) md5_update(context, &byte, 1);
    md5_final(context);
    return md5_digest_text(context.digest);
}

}  // namespace

// Files of pattern(size); the digests are the system md5sum's.
TEST(file_md5, edge_sizes_match_md5sum) {
    const temp_folder folder;
    const struct {
        std::size_t size;
        const char* digest;
    } cases[] = {
        {0, "d41d8cd98f00b204e9800998ecf8427e"},      {55, "d39f7454bbe034082797e66c125a31ad"},
        {56, "8e9dbcce67719f0304ad52c59ff3d743"},     {63, "19a31d9b1afbd6867266fd6cf4c8821f"},
        {64, "8d9cfa334d4e690843fa68e59c798b84"},     {65, "72d8b171f7f46898ee558ad1a86fb907"},
        {4095, "56bb57e0d329ffeefe0a9bf3cc2c242c"},   {4096, "5ce632ed79ee7f3783502778dde1dbc5"},
        {4097, "5eb5d472366f847ff9f5686d5759b5f6"},   {8192, "5756fb1d2eb2a0bd1a8dfeb93648c920"},
        {262143, "421bcc6783d1027a99c1df14295b8fa4"}, {262144, "431646895d24308fb762df8aab611fdf"},
        {262145, "e3ae0e92bbd31f30bf523b4c9592de52"}, {1000000, "d655738ceeaaf1e303de24fa535f488b"},
    };
    for (const auto& c : cases) {
        const std::string path = write_named(folder, std::to_string(c.size) + ".bin", pattern(c.size));
        EXPECT_EQ(file_md5(path), c.digest) << "size " << c.size;
    }
}

// Sizes at the read buffer's edges, whatever its size: the last read is full, short or empty.
TEST(file_md5, sizes_around_read_buffer) {
    const temp_folder folder;
    const std::size_t b = file_md5_buffer_size;
    for (std::size_t size : {b - 1, b, b + 1, 2 * b - 64, 2 * b, 2 * b + 55, 3 * b + 4097}) {
        const std::string data = pattern(size);
        const std::string path = write_named(folder, "around.bin", data);
        EXPECT_EQ(file_md5(path), md5_byte_by_byte(data)) << "size " << size;
    }
}

TEST(file_md5, unopenable_paths_give_empty_text) {
    const temp_folder folder;
    EXPECT_EQ(file_md5(folder / "missing.qmw"), "");
    EXPECT_EQ(file_md5(folder / "no folder/x.qmw"), "");
    EXPECT_EQ(file_md5(folder.path), "");
    EXPECT_EQ(file_md5(""), "");
}
