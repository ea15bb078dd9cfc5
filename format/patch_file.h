// The patch file: a map data file whose patched chunks hold byte-wise differences against
// chunks of other map files, each entry's source reference stored behind its name's NUL.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/storage.h"

namespace patch_layout {
constexpr std::uint32_t magic = 0xC0000001u;
constexpr std::uint64_t entry_count_at = 24;
constexpr std::uint64_t chunk_offset_at = 52;  // of entry 0; chunk size follows it
constexpr std::uint64_t name_field_at = 93;    // of entry 0
constexpr std::uint64_t entry_stride = 308;
constexpr std::uint64_t name_field_size = 263;
}  // namespace patch_layout

struct patch_entry {
    std::string source_name;
    std::int32_t source_offset = 0;
    bool in_patch_folder = false;
    std::int32_t chunk_offset = 0;
    std::uint32_t chunk_size = 0;
};

enum class scan_result {
    ok,
    truncated,      // an entry or a source reference runs past the end of the file
    name_too_long,  // a source name longer than any file name can be
    write_failed,  // a source reference could not be zeroed
};

bool has_patch_magic(const stored_file& file);

// Reads the entry table of the open copy of a patch file, `size` bytes long: one entry for
// each source reference, in table order. Each source reference is overwritten with zero
// bytes before the next entry is read.
scan_result scan_patch_table(const stored_file& file, std::uint64_t size, std::vector<patch_entry>& entries);

// Maps-folder sources first, then by name (bytes as unsigned values), then by offset.
bool patch_entry_order(const patch_entry& a, const patch_entry& b);

enum class entry_check {
    ok,
    unsafe_source_name,     // could name a file outside its folder, or a device
    chunk_outside_file,     // a non-empty chunk does not lie wholly inside the file
    negative_source_offset, // a non-empty chunk reads from before the source's start
};

// Whether an entry can be applied to a file of `size` bytes without reading or writing
// anywhere it must not.
entry_check check_patch_entry(const patch_entry& entry, std::uint64_t size);

// A source name must be a plain file name: not empty, not "." or "..", no '\', '/' or ':',
// and not a device name such as CON or COM1 (with or without an extension).
bool is_safe_source_name(const std::string& name);
