// The source reference of a patched chunk, stored in its entry's name field directly behind the
// name's NUL (behind the whole field when it holds none):
//   source offset  4 bytes, little-endian; 0 means the entry has no reference
//   source name    its bytes, then a NUL
//   folder flag    1 byte; any value but 0 means the patch's own folder, 0 the maps folder
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "common/little_endian.h"

// The longest source name a patch is written with: no file system takes longer file names.
constexpr std::size_t longest_source_name = 255;

// The longest source name a reading accepts. A longer one cannot name a file either; the bound
// is loose and only keeps a damaged table from filling memory with one name.
constexpr std::size_t longest_source_name_read = 4096;

// The bytes a reference takes whose source name is `name_size` bytes long.
constexpr std::size_t source_reference_size(std::size_t name_size) { return 4 + name_size + 1 + 1; }

struct source_reference {
    std::uint32_t source_offset = 0;
    std::string source_name;
    bool in_patch_folder = false;
};

enum class reference_reading {
    found,
    none,           // the source offset is 0: nothing behind it is read
    truncated,      // the reference runs past what can be read
    name_too_long,  // longer than longest_source_name_read
};

// Reads the reference that starts at `at`, one byte at a time through `byte_at(position, byte)`,
// which answers false past the end of what can be read. When one is found, `end` is the
// position behind its folder flag.
template <typename byte_reader>
reference_reading read_source_reference(byte_reader&& byte_at, std::uint64_t at, source_reference& reference,
                                        std::uint64_t& end) {
    unsigned char offset[4] = {};
    for (int k = 0; k < 4; ++k) {
        if (!byte_at(at + k, offset[k])) return reference_reading::truncated;
    }
    reference = source_reference{};
    reference.source_offset = load_u32_le(offset);
    if (reference.source_offset == 0) return reference_reading::none;
    at += 4;
    for (;;) {
        unsigned char b = 0;
        if (!byte_at(at++, b)) return reference_reading::truncated;
        if (b == 0) break;
        if (reference.source_name.size() == longest_source_name_read) return reference_reading::name_too_long;
        reference.source_name += static_cast<char>(b);
    }
    unsigned char folder_flag = 0;
    if (!byte_at(at++, folder_flag)) return reference_reading::truncated;
    reference.in_patch_folder = folder_flag != 0;
    end = at;
    return reference_reading::found;
}

// Writes `reference` to `at`, which has room for source_reference_size of its name; the folder
// flag is written as 0 or 1.
void write_source_reference(const source_reference& reference, unsigned char* at);
