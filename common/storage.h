// Where the patch format code reads and writes: the file system, or files held in memory
// (common/storage_memory.h). The same rebuild runs on either, so that a patch can be rebuilt and
// checked without writing a file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/file_system.h"

// Both in common/storage_memory.h.
struct memory_files;
struct compared_file;

// The file system when `memory` is null.
struct storage {
    memory_files* memory = nullptr;
};

// The file system itself.
inline constexpr storage the_disk{};

// A file opened through a storage: a file on disk, or one of a memory_files' buffers.
struct stored_file {
    open_file disk;
    std::vector<unsigned char>* bytes = nullptr;
    compared_file* compared = nullptr;
    bool writable = false;
};

// The file layer's calls, through a storage. Files on disk behave as in common/file_system.h.
bool stored_file_exists(const storage& where, const std::string& path);
bool copy_new_stored_file(const storage& where, const std::string& from, const std::string& to);
bool open_stored_file(const storage& where, const std::string& path, open_mode mode, stored_file& file);
std::size_t read_at(const stored_file& file, std::uint64_t offset, void* data, std::size_t size);
bool write_at(const stored_file& file, std::uint64_t offset, const void* data, std::size_t size);
bool file_size(const stored_file& file, std::uint64_t& size);
bool same_file(const stored_file& a, const stored_file& b);
// True when anything is at the path: a file that cannot be read, or a folder, included.
bool stored_path_exists(const storage& where, const std::string& path);
// Makes an empty file where nothing is. On disk the file is flushed; its name is on the disk
// once its folder is flushed too.
bool create_stored_file(const storage& where, const std::string& path);
bool delete_stored_file(const storage& where, const std::string& path);
// Never replaces anything at `to`.
bool move_stored_file(const storage& where, const std::string& from, const std::string& to);
