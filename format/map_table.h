// The entry table of a map data file as the rebuild's scan reads it, without changing a byte:
// where each entry's chunk lies, its name, and where a source reference would go.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct table_entry {
    std::uint32_t chunk_offset = 0;
    std::uint32_t chunk_size = 0;
    std::string name;
    std::uint64_t reference_at = 0;  // behind the name's NUL, or behind the whole name field
    bool reference_found = false;    // the four bytes there are not zero
};

enum class table_reading {
    ok,
    no_magic,
    damaged,  // the table, a name or the four bytes behind it run past the end of the file
};

// `data` holds the file's first `size` bytes, or the whole file when `size` is its length.
table_reading read_map_table(const unsigned char* data, std::size_t size, std::vector<table_entry>& entries);

// Bytes to read from the start of a file of `file_size` bytes for read_map_table: the header
// and as much of the table as the entry count asks for, at most the whole file.
std::size_t table_bytes_needed(const unsigned char* header, std::size_t header_size, std::uint64_t file_size);
