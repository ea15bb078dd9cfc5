#include "common/file_system.h"

#include <gtest/gtest.h>

#include "tests/support/test_files.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

TEST(file_system, file_exists_counts_readable_files_but_not_folders) {
    temp_folder folder;
    write_file(folder / "a.qmw", std::string("x"));
    make_folder(folder / "sub.qmw");
    EXPECT_TRUE(file_exists(folder / "a.qmw"));
    EXPECT_FALSE(file_exists(folder / "missing.qmw"));
    EXPECT_FALSE(file_exists(folder / "sub.qmw"));
    EXPECT_TRUE(is_directory(folder / "sub.qmw"));
    EXPECT_FALSE(is_directory(folder / "a.qmw"));
    EXPECT_TRUE(path_exists(folder / "sub.qmw"));
}

TEST(file_system, backslashes_separate_folders_on_every_platform) {
    temp_folder folder;
    make_folder(folder / "maps");
    write_file(folder / "maps/Level.qmw", std::string("abc"));
    const std::string windows_style = folder.path + "\\maps\\Level.qmw";
    EXPECT_TRUE(file_exists(windows_style));
    EXPECT_TRUE(is_directory(folder.path + "\\maps\\"));
    open_file file;
    ASSERT_TRUE(open_existing(windows_style, open_mode::read, file));
    std::uint64_t size = 0;
    ASSERT_TRUE(file_size(file, size));
    EXPECT_EQ(size, 3u);
}

TEST(file_system, copy_new_file_never_replaces_an_existing_file) {
    temp_folder folder;
    write_file(folder / "from", std::string("new content"));
    write_file(folder / "to", std::string("old"));
    EXPECT_FALSE(copy_new_file(folder / "from", folder / "to"));
    EXPECT_EQ(read_file(folder / "to"), bytes({'o', 'l', 'd'}));
    EXPECT_TRUE(copy_new_file(folder / "from", folder / "copy"));
    EXPECT_EQ(read_file(folder / "copy"), read_file(folder / "from"));
    EXPECT_FALSE(copy_new_file(folder / "missing", folder / "copy2"));
    EXPECT_FALSE(exists(folder / "copy2"));
}

// Larger than every buffer and transfer of the copy, of an odd size, and empty: the copy is
// byte-identical whichever way the platform moves the bytes.
TEST(file_system, copy_new_file_copies_large_odd_sized_and_empty_files_exactly) {
    temp_folder folder;
    bytes content((std::size_t{3} << 20) + 17);
    std::uint32_t x = 12345;
    for (unsigned char& b : content) {
        x = x * 1103515245u + 12345u;
        b = static_cast<unsigned char>(x >> 24);
    }
    write_file(folder / "large", content);
    ASSERT_TRUE(copy_new_file(folder / "large", folder / "large copy"));
    EXPECT_TRUE(read_file(folder / "large copy") == content);

    write_file(folder / "empty", bytes{});
    ASSERT_TRUE(copy_new_file(folder / "empty", folder / "empty copy"));
    EXPECT_TRUE(exists(folder / "empty copy"));
    EXPECT_TRUE(read_file(folder / "empty copy").empty());
}

TEST(file_system, positional_reads_and_writes_are_seen_by_a_second_handle_at_once) {
    temp_folder folder;
    write_file(folder / "f", std::string("0123456789"));
    open_file writer, reader;
    ASSERT_TRUE(open_existing(folder / "f", open_mode::read_write, writer));
    ASSERT_TRUE(open_existing(folder / "f", open_mode::read, reader));
    EXPECT_TRUE(same_file(writer, reader));
    ASSERT_TRUE(write_at(writer, 3, "abc", 3));
    char got[16] = {};
    EXPECT_EQ(read_at(reader, 0, got, sizeof got), 10u);  // short at the end of the file
    EXPECT_EQ(std::string(got, 10), "012abc6789");
    EXPECT_EQ(read_at(reader, 20, got, 4), 0u);

    write_file(folder / "g", std::string("0123456789"));
    open_file other;
    ASSERT_TRUE(open_existing(folder / "g", open_mode::read, other));
    EXPECT_FALSE(same_file(writer, other));
}

TEST(file_system, open_existing_never_creates_and_refuses_folders) {
    temp_folder folder;
    open_file file;
    EXPECT_FALSE(open_existing(folder / "none", open_mode::read_write, file));
    EXPECT_FALSE(exists(folder / "none"));
    EXPECT_FALSE(open_existing(folder.path, open_mode::read, file));
    EXPECT_FALSE(file.is_open());
}

TEST(file_system, move_and_delete) {
    temp_folder folder;
    write_file(folder / "a", std::string("a"));
    EXPECT_TRUE(move_file(folder / "a", folder / "b"));
    EXPECT_FALSE(exists(folder / "a"));
    EXPECT_TRUE(exists(folder / "b"));
    EXPECT_TRUE(delete_file(folder / "b"));
    EXPECT_FALSE(delete_file(folder / "b"));
}

// Whatever is at the target stays: a file, one that cannot be read, a dangling link. The
// rename of a backup must never cost an earlier backup.
TEST(file_system, move_file_never_replaces_anything) {
    temp_folder folder;
    write_file(folder / "map", std::string("new"));
    write_file(folder / "old", std::string("earlier"));
    EXPECT_FALSE(move_file(folder / "map", folder / "old"));
    EXPECT_EQ(read_file(folder / "old"), (bytes{'e', 'a', 'r', 'l', 'i', 'e', 'r'}));
    EXPECT_EQ(read_file(folder / "map"), (bytes{'n', 'e', 'w'}));
#ifdef _WIN32
    // Shared with nobody, the earlier file cannot even be opened for reading.
    const HANDLE held = CreateFileA((folder / "old").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(file_exists(folder / "old"));
    EXPECT_FALSE(move_file(folder / "map", folder / "old"));
    CloseHandle(held);
#else
    ASSERT_EQ(::symlink((folder / "nowhere").c_str(), (folder / "link").c_str()), 0);
    EXPECT_FALSE(move_file(folder / "map", folder / "link"));
    struct stat link {};
    ASSERT_EQ(::lstat((folder / "link").c_str(), &link), 0);
    EXPECT_TRUE(S_ISLNK(link.st_mode));
    EXPECT_FALSE(exists(folder / "nowhere"));
    ::chmod((folder / "old").c_str(), 0);
    EXPECT_FALSE(move_file(folder / "map", folder / "old"));
#endif
    EXPECT_EQ(read_file(folder / "map"), (bytes{'n', 'e', 'w'}));
    EXPECT_TRUE(move_file(folder / "map", folder / "free"));
    EXPECT_FALSE(exists(folder / "map"));
}

TEST(file_system, devices_and_pipes_are_not_files) {
#ifdef _WIN32
    for (const char* device : {"NUL", "CON", "\\\\.\\NUL"}) {
        EXPECT_FALSE(file_exists(device)) << device;
        open_file file;
        EXPECT_FALSE(open_existing(device, open_mode::read, file)) << device;
    }
#else
    EXPECT_FALSE(file_exists("/dev/null"));
    EXPECT_FALSE(file_exists("/dev/zero"));
    temp_folder folder;
    ASSERT_EQ(mkfifo((folder / "pipe.qmw").c_str(), 0600), 0);
    // Opening a FIFO for reading would wait for a writer; it must be refused at once instead.
    EXPECT_FALSE(file_exists(folder / "pipe.qmw"));
    open_file file;
    EXPECT_FALSE(open_existing(folder / "pipe.qmw", open_mode::read_write, file));
    EXPECT_FALSE(copy_new_file(folder / "pipe.qmw", folder / "copy.qmw"));
#endif
}

TEST(file_system, flushes_reach_files_and_folders) {
    temp_folder folder;
    make_folder(folder / "mods");
    write_file(folder / "mods/Level.qmw", std::string("abc"));
    open_file file;
    ASSERT_TRUE(open_existing(folder / "mods/Level.qmw", open_mode::read_write, file));
    ASSERT_TRUE(write_at(file, 1, "X", 1));
    EXPECT_TRUE(flush_to_disk(file));
    close_file(file);
    EXPECT_EQ(read_file(folder / "mods/Level.qmw"), (bytes{'a', 'X', 'c'}));
    EXPECT_TRUE(flush_folder_to_disk(folder.path + "\\mods"));
#ifndef _WIN32
    // Windows needs no folder flush; elsewhere a folder that is not there cannot be flushed.
    EXPECT_FALSE(flush_folder_to_disk(folder / "missing"));
#endif
}

TEST(file_system, plain_files_are_neither_folders_nor_links) {
    temp_folder folder;
    write_file(folder / "a.rebuilding", std::string());
    make_folder(folder / "b.rebuilding");
    EXPECT_TRUE(is_plain_file(folder / "a.rebuilding"));
    EXPECT_FALSE(is_plain_file(folder / "b.rebuilding"));
    EXPECT_FALSE(is_plain_file(folder / "missing"));
#ifndef _WIN32
    ASSERT_EQ(symlink((folder / "a.rebuilding").c_str(), (folder / "c.rebuilding").c_str()), 0);
    EXPECT_FALSE(is_plain_file(folder / "c.rebuilding"));
#endif
}

// One holder at a time, another handle of this process included; let go when closed, and
// nothing left in the folder then.
TEST(file_system, a_folder_lock_has_one_holder_at_a_time) {
    temp_folder folder;
    open_file first, second;
    ASSERT_EQ(try_lock_folder(folder.path, first), folder_lock_try::held);
    EXPECT_EQ(try_lock_folder(folder.path, second), folder_lock_try::busy);
    EXPECT_EQ(try_lock_folder(folder.path + "\\", second), folder_lock_try::busy);
    close_file(first);
    EXPECT_EQ(try_lock_folder(folder.path, second), folder_lock_try::held);
    close_file(second);
    EXPECT_EQ(folder_listing(folder.path), std::vector<std::string>{});
    EXPECT_EQ(try_lock_folder(folder / "missing", first), folder_lock_try::failed);
}

#ifdef _WIN32
// A lock file that a power cut left is taken; a file of that name of the user's is not.
TEST(file_system, a_lock_file_left_behind_is_taken_and_a_foreign_one_kept) {
    temp_folder folder;
    write_file(folder / "mapmend.lock", std::string("mapmend folder"));
    open_file lock;
    EXPECT_EQ(try_lock_folder(folder.path, lock), folder_lock_try::busy);  // deleted, taken on the next try
    EXPECT_EQ(try_lock_folder(folder.path, lock), folder_lock_try::held);
    close_file(lock);
    write_file(folder / "mapmend.lock", std::string("my own file"));
    EXPECT_EQ(try_lock_folder(folder.path, lock), folder_lock_try::failed);
    EXPECT_EQ(read_file(folder / "mapmend.lock").size(), 11u);
}
#endif
