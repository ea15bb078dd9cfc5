#include "common/storage.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "common/storage_memory.h"
#include "tests/support/test_files.h"

namespace {

std::vector<unsigned char> text_bytes(const std::string& text) { return {text.begin(), text.end()}; }

std::string read_text(const stored_file& file, std::uint64_t offset, std::size_t size) {
    std::string out(size, '\0');
    out.resize(read_at(file, offset, out.data(), size));
    return out;
}

}  // namespace

TEST(storage, memory_paths_name_one_file_however_written) {
    EXPECT_EQ(memory_path("C:\\Game\\Maps\\\\Level.qmw"), "C:/Game/Maps/Level.qmw");
    EXPECT_EQ(memory_path("./mods/./A.qmp"), "mods/A.qmp");
    EXPECT_EQ(memory_path("/tmp//x\\y"), "/tmp/x/y");
    EXPECT_EQ(memory_path("\\\\x"), "/x");
    EXPECT_NE(memory_path("a/b"), memory_path("ab"));
}

TEST(storage, memory_files_copy_read_write_and_keep_their_length) {
    memory_files memory;
    memory.files["mods/A.qmp"] = text_bytes("abcdef");
    const storage where{&memory};
    EXPECT_TRUE(stored_file_exists(where, "mods\\A.qmp"));
    EXPECT_FALSE(stored_file_exists(where, "mods\\B.qmp"));

    ASSERT_TRUE(copy_new_stored_file(where, "mods/A.qmp", "mods\\A.qmw"));
    EXPECT_FALSE(copy_new_stored_file(where, "mods/A.qmp", "mods/A.qmw")) << "replaced an existing file";
    EXPECT_FALSE(copy_new_stored_file(where, "mods/None.qmp", "mods/C.qmw"));

    stored_file out, again;
    ASSERT_TRUE(open_stored_file(where, "mods/A.qmw", open_mode::read_write, out));
    ASSERT_TRUE(open_stored_file(where, "./mods//A.qmw", open_mode::read, again));
    EXPECT_TRUE(same_file(out, again));
    EXPECT_TRUE(write_at(out, 2, "XY", 2));
    EXPECT_EQ(read_text(again, 0, 10), "abXYef");
    EXPECT_FALSE(write_at(out, 5, "XY", 2)) << "a write grew the file";
    EXPECT_FALSE(write_at(again, 0, "Z", 1)) << "wrote through a file opened to read";
    EXPECT_EQ(read_text(again, 7, 3), "");
    std::uint64_t size = 0;
    ASSERT_TRUE(file_size(out, size));
    EXPECT_EQ(size, 6u);
    EXPECT_EQ(memory.files.at("mods/A.qmp"), text_bytes("abcdef")) << "the copy's source changed";
}

TEST(storage, memory_over_the_disk_reads_it_and_never_writes_it) {
    temp_folder folder;
    write_file(folder / "Stock.qmw", std::string("stock bytes"));
    make_folder(folder / "sub.qmw");
    memory_files memory;
    memory.disk_below = true;
    const storage where{&memory};

    EXPECT_TRUE(stored_file_exists(where, folder / "Stock.qmw"));
    EXPECT_FALSE(stored_file_exists(where, folder / "sub.qmw"));
    stored_file file;
    EXPECT_FALSE(open_stored_file(where, folder / "Stock.qmw", open_mode::read_write, file));
    ASSERT_TRUE(open_stored_file(where, folder / "Stock.qmw", open_mode::read, file));
    EXPECT_EQ(read_text(file, 6, 20), "bytes");
    EXPECT_FALSE(write_at(file, 0, "x", 1));

    EXPECT_FALSE(copy_new_stored_file(where, folder / "Stock.qmw", folder / "sub.qmw")) << "a folder was replaced";
    ASSERT_TRUE(copy_new_stored_file(where, folder / "Stock.qmw", folder / "Copy.qmw"));
    stored_file copy;
    ASSERT_TRUE(open_stored_file(where, folder / "Copy.qmw", open_mode::read_write, copy));
    EXPECT_TRUE(write_at(copy, 0, "S", 1));
    EXPECT_FALSE(same_file(copy, file));
    EXPECT_EQ(read_text(copy, 0, 5), "Stock");
    EXPECT_EQ(read_text(file, 0, 5), "stock");
    EXPECT_EQ(folder_listing(folder.path), (std::vector<std::string>{"Stock.qmw", "sub.qmw"}));
}

TEST(storage, memory_alone_sees_no_disk_file) {
    temp_folder folder;
    write_file(folder / "Stock.qmw", std::string("x"));
    memory_files memory;
    const storage where{&memory};
    stored_file file;
    EXPECT_FALSE(stored_file_exists(where, folder / "Stock.qmw"));
    EXPECT_FALSE(open_stored_file(where, folder / "Stock.qmw", open_mode::read, file));
    EXPECT_FALSE(copy_new_stored_file(where, folder / "Stock.qmw", "Copy.qmw"));
}

TEST(storage, named_disk_files_stand_in_for_memory_paths_or_hide_them) {
    temp_folder folder;
    write_file(folder / "real.qmw", std::string("real"));
    write_file(folder / "hidden.qmw", std::string("hidden"));
    memory_files memory;
    memory.disk_below = true;
    memory.on_disk[memory_path("maps/Alpha.qmw")] = folder / "real.qmw";
    memory.on_disk[memory_path(folder / "hidden.qmw")] = "";
    const storage where{&memory};

    stored_file file;
    ASSERT_TRUE(open_stored_file(where, "maps\\Alpha.qmw", open_mode::read, file));
    EXPECT_EQ(read_text(file, 0, 10), "real");
    EXPECT_FALSE(stored_file_exists(where, folder / "hidden.qmw"));
    EXPECT_FALSE(open_stored_file(where, folder / "hidden.qmw", open_mode::read, file));
    // A hidden file's path is free to make in memory, as after a move aside.
    ASSERT_TRUE(copy_new_stored_file(where, "maps/Alpha.qmw", folder / "hidden.qmw"));
    EXPECT_TRUE(memory.files.at(memory_path(folder / "hidden.qmw")) == text_bytes("real"));
    EXPECT_EQ(read_file(folder / "hidden.qmw"), text_bytes("hidden"));
}

// Files made, deleted and moved in memory over the disk: the disk stays as it is, and the
// memory files show what the same calls would have done to it. Nothing is ever replaced.
TEST(storage, memory_files_are_made_deleted_and_moved_as_on_disk) {
    temp_folder folder;
    write_file(folder / "Old.qmw", std::string("on disk"));
    memory_files memory;
    memory.disk_below = true;
    const storage where{&memory};

    EXPECT_FALSE(create_stored_file(where, folder / "Old.qmw"));
    ASSERT_TRUE(create_stored_file(where, folder / "Mark"));
    EXPECT_TRUE(stored_path_exists(where, folder / "Mark"));
    EXPECT_FALSE(stored_path_exists(where, folder / "None"));
    EXPECT_TRUE(stored_path_exists(where, folder.path));  // a folder counts

    EXPECT_FALSE(move_stored_file(where, folder / "Old.qmw", folder / "Mark"));
    ASSERT_TRUE(move_stored_file(where, folder / "Old.qmw", folder / "Old.qmw.old"));
    EXPECT_FALSE(stored_path_exists(where, folder / "Old.qmw"));
    stored_file moved;
    ASSERT_TRUE(open_stored_file(where, folder / "Old.qmw.old", open_mode::read, moved));
    EXPECT_EQ(read_text(moved, 0, 20), "on disk");
    ASSERT_TRUE(move_stored_file(where, folder / "Mark", folder / "Old.qmw"));
    EXPECT_TRUE(stored_file_exists(where, folder / "Old.qmw"));

    EXPECT_TRUE(delete_stored_file(where, folder / "Old.qmw"));
    EXPECT_TRUE(delete_stored_file(where, folder / "Old.qmw.old"));
    EXPECT_FALSE(delete_stored_file(where, folder / "Old.qmw.old"));
    EXPECT_FALSE(stored_path_exists(where, folder / "Old.qmw.old"));
    EXPECT_EQ(folder_listing(folder.path), std::vector<std::string>{"Old.qmw"});
    EXPECT_EQ(read_file(folder / "Old.qmw"), text_bytes("on disk"));
}

TEST(file_system, lists_files_creates_new_ones_and_replaces) {
    temp_folder folder;
    write_file(folder / "a.qmw", std::string("a"));
    make_folder(folder / "sub.qmw");
    open_file file;
    ASSERT_TRUE(create_new_file(folder / "b.tmp", file));
    EXPECT_TRUE(write_at(file, 0, "bb", 2));
    close_file(file);
    EXPECT_FALSE(create_new_file(folder / "a.qmw", file)) << "an existing file was opened as new";
    std::vector<std::string> names;
    ASSERT_TRUE(list_folder_files(folder.path, names));
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"a.qmw", "b.tmp"}));
    ASSERT_TRUE(replace_file(folder / "b.tmp", folder / "a.qmw"));
    EXPECT_EQ(read_file(folder / "a.qmw"), text_bytes("bb"));
    EXPECT_FALSE(list_folder_files(folder / "missing", names));
}

// A copy compared with the file it should become: its bytes read as written, across pages in
// every state, and memory holds only the pages that still differ.
TEST(storage, a_compared_copy_holds_only_the_pages_that_differ) {
    constexpr std::size_t page = compared_file::page_size;
    temp_folder folder;
    std::vector<unsigned char> patch(3 * page + 100, 0), map(patch.size());
    for (std::size_t k = 0; k < map.size(); ++k) map[k] = static_cast<unsigned char>(k * 7 + 1);
    std::copy(map.begin(), map.begin() + 10, patch.begin());  // the first bytes are final already
    write_file(folder / "Level.qmp", bytes(patch.begin(), patch.end()));
    write_file(folder / "Level.map", bytes(map.begin(), map.end()));
    memory_files memory;
    memory.on_disk["mods/Level.qmp"] = folder / "Level.qmp";
    memory.compare_with["mods/Level.qmw"] = folder / "Level.map";
    const storage where{&memory};
    ASSERT_TRUE(copy_new_stored_file(where, "mods/Level.qmp", "mods/Level.qmw"));
    EXPECT_TRUE(memory.files.empty());
    stored_file out;
    ASSERT_TRUE(open_stored_file(where, "mods/Level.qmw", open_mode::read_write, out));
    EXPECT_FALSE(memory_file_matches(memory, "mods/Level.qmw"));

    // A write that ends inside the second page: the first page is final, the second not yet.
    ASSERT_TRUE(write_at(out, 10, map.data() + 10, page + 50 - 10));
    EXPECT_EQ(memory.compared.at("mods/Level.qmw")->pages.size(), 1u);
    std::vector<unsigned char> seen(map.size());
    ASSERT_EQ(read_at(out, 0, seen.data(), seen.size()), seen.size());
    EXPECT_TRUE(std::equal(seen.begin(), seen.begin() + page + 50, map.begin()));
    EXPECT_TRUE(std::equal(seen.begin() + page + 50, seen.end(), patch.begin() + page + 50));

    // A wrong byte keeps its page; mending it lets it go.
    const unsigned char wrong = static_cast<unsigned char>(map[2 * page] + 1);
    ASSERT_TRUE(write_at(out, page + 50, map.data() + page + 50, map.size() - page - 50));
    ASSERT_TRUE(write_at(out, 2 * page, &wrong, 1));
    EXPECT_EQ(memory.compared.at("mods/Level.qmw")->pages.size(), 1u);
    EXPECT_FALSE(memory_file_matches(memory, "mods/Level.qmw"));
    ASSERT_TRUE(write_at(out, 2 * page, map.data() + 2 * page, 1));
    EXPECT_TRUE(memory.compared.at("mods/Level.qmw")->pages.empty());
    EXPECT_TRUE(memory_file_matches(memory, "mods/Level.qmw"));
    EXPECT_FALSE(write_at(out, map.size() - 1, "xy", 2)) << "a write grew the file";
    EXPECT_EQ(read_file(folder / "Level.qmp"), bytes(patch.begin(), patch.end())) << "the disk was written";
}
