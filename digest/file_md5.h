// The MD5 digest text of a whole file.
#pragma once

#include <cstddef>
#include <string>

#include "common/storage.h"

// Size of the one read buffer a digest uses, whatever the file's size.
constexpr std::size_t file_md5_buffer_size = 1024 * 1024;

// 32 lowercase hexadecimal characters, or "" when the file cannot be opened for reading
// (missing, no access, a folder). A read error part-way ends the file there: the digest then
// covers the bytes read before it.
std::string file_md5(const std::string& path);

// The same of a file read through `where`.
std::string file_md5(const storage& where, const std::string& path);
