// The memory side of a storage: files held in memory by path, over a disk that is only read or
// on their own, and the storage calls on them. Code that sets such files up or looks into them
// needs this header; code that only reads and writes through a storage needs common/storage.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "common/file_system.h"
#include "common/storage.h"

// A copy of a disk file held as the pages in which it differs from another disk file, the one
// it is meant to become: a rebuild of a large map is checked against the map itself while memory
// holds only the pages that are still on their way.
struct compared_file {
    static constexpr std::size_t page_size = 4096;
    enum : unsigned char { as_copied, as_expected, held };
    open_file copied;
    open_file expected;
    std::uint64_t size = 0;
    std::vector<unsigned char> state;                                     // per page
    std::unordered_map<std::uint64_t, std::vector<unsigned char>> pages;  // the held ones
};

// Files held in memory, by path. Every file made or changed stays here; the disk is only read:
// a path in `on_disk` stands for that disk file ("" for none), and with `disk_below` any other
// path that is not held here is read from the disk as it stands.
struct memory_files {
    std::map<std::string, std::vector<unsigned char>> files;  // by memory_key
    std::map<std::string, std::string> on_disk;               // memory_key to a disk path, or ""
    bool disk_below = false;
    // Over the disk, its rules: paths that reach one entry (other spellings of a folder, other
    // case where the disk ignores it, a link) are one path, and a file is made or moved only
    // where the disk would let this user do so.
    bool disk_rules = false;
    // A copy made to one of these paths is held as a compared_file against the disk file named;
    // it can only be made of a disk file.
    std::map<std::string, std::string> compare_with;  // memory_key to a disk path
    // Shared, not copied, by a copy of these memory files: they hold open disk files.
    std::map<std::string, std::shared_ptr<compared_file>> compared;  // by memory_key
};

// The key of a path in memory_files: '\' as '/', repeated separators and "./" folders dropped.
std::string memory_path(const std::string& path);

// The key of a path in the given memory files: its memory_path, or with `disk_rules` the key of
// the entry that the disk reaches by it.
std::string memory_key(const memory_files& memory, const std::string& path);

// The memory side of the storage calls of common/storage.h.
bool memory_file_exists(const memory_files& memory, const std::string& path);
bool copy_new_memory_file(memory_files& memory, const std::string& from, const std::string& to);
// Moves a file to a path where nothing is, as the file layer's move_file does; a disk file
// stays where it is on the disk and is reached by its new path.
bool move_memory_file(memory_files& memory, const std::string& from, const std::string& to);
bool open_memory_file(memory_files& memory, const std::string& path, open_mode mode, stored_file& file);
std::size_t read_memory_at(const stored_file& file, std::uint64_t offset, void* data, std::size_t size);
bool write_memory_at(const stored_file& file, std::uint64_t offset, const void* data, std::size_t size);
// A disk file deleted or moved away is only hidden from the memory files; the disk is not touched.
bool memory_path_exists(const memory_files& memory, const std::string& path);
bool create_memory_file(memory_files& memory, const std::string& path, const std::string& content = std::string());
// Over the disk with `disk_rules`, a disk file is deleted only where the disk would let this user.
bool delete_memory_file(memory_files& memory, const std::string& path);
bool memory_plain_file(const memory_files& memory, const std::string& path);
bool memory_file_removable(const memory_files& memory, const std::string& path);

// True when the compared copy at `path` holds the same bytes as the disk file that
// `compare_with` names for it.
bool memory_file_matches(const memory_files& memory, const std::string& path);
