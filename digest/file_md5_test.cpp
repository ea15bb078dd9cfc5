#include "digest/file_md5.h"

#include "digest/md5.h"
#include "digest/md5_vectors_test.h"

#include "common/storage_memory.h"

#include "tests/support/test_files.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

std::string pattern(std::size_t size) { return md5_pattern(size); }

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
    for (const md5_sized_digest& c : md5_pattern_digests) {
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

// Through a memory storage: a file held in memory, one of the disk below it under another
// path, and one hidden by a move, as mapmend's run sequence meets them in mapdiff inspect.
TEST(file_md5, through_memory_files_over_the_disk) {
    const temp_folder folder;
    const std::string on_disk = write_named(folder, "Disk.qmw", pattern(file_md5_buffer_size + 3));
    memory_files memory;
    memory.disk_below = true;
    const std::string held = pattern(5000);
    memory.files[memory_path(folder / "Held.qmw")] = std::vector<unsigned char>(held.begin(), held.end());
    const storage where{&memory};
    EXPECT_EQ(file_md5(where, folder / "Held.qmw"), md5_byte_by_byte(held));
    EXPECT_EQ(file_md5(where, on_disk), file_md5(on_disk));
    ASSERT_TRUE(move_memory_file(memory, on_disk, folder / "Moved.qmw"));
    EXPECT_EQ(file_md5(where, on_disk), "");
    EXPECT_EQ(file_md5(where, folder / "Moved.qmw"), md5_byte_by_byte(pattern(file_md5_buffer_size + 3)));
}
