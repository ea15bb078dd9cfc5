// Where the patch format code reads and writes: the file system, or files held in memory. The
// same rebuild runs on either, so that a patch can be rebuilt and checked without writing a file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "common/file_system.h"

// Files held in memory, by path. Every file made or changed stays here; the disk is only read:
// a path in `on_disk` stands for that disk file ("" for none), and with `disk_below` any other
// path that is not held here is read from the disk as it stands.
struct memory_files {
    std::map<std::string, std::vector<unsigned char>> files;  // by memory_path
    std::map<std::string, std::string> on_disk;               // memory_path to a disk path, or ""
    bool disk_below = false;
};

// The file system when `memory` is null.
struct storage {
    memory_files* memory = nullptr;
};

// A file opened through a storage: a file on disk, or one of a memory_files' buffers.
struct stored_file {
    open_file disk;
    std::vector<unsigned char>* bytes = nullptr;
    bool writable = false;
};

// The key of a path in memory_files: '\' as '/', repeated separators and "./" folders dropped.
std::string memory_path(const std::string& path);

// The file layer's calls, through a storage. Files on disk behave as in common/file_system.h.
bool stored_file_exists(const storage& where, const std::string& path);
bool copy_new_stored_file(const storage& where, const std::string& from, const std::string& to);
bool open_stored_file(const storage& where, const std::string& path, open_mode mode, stored_file& file);
std::size_t read_at(const stored_file& file, std::uint64_t offset, void* data, std::size_t size);
bool write_at(const stored_file& file, std::uint64_t offset, const void* data, std::size_t size);
bool file_size(const stored_file& file, std::uint64_t& size);
bool same_file(const stored_file& a, const stored_file& b);

// The memory side of the calls above, for a storage with memory files.
bool memory_file_exists(const memory_files& memory, const std::string& path);
bool copy_new_memory_file(memory_files& memory, const std::string& from, const std::string& to);
bool open_memory_file(memory_files& memory, const std::string& path, open_mode mode, stored_file& file);
std::size_t read_memory_at(const stored_file& file, std::uint64_t offset, void* data, std::size_t size);
bool write_memory_at(const stored_file& file, std::uint64_t offset, const void* data, std::size_t size);
