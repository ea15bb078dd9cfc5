// The map files that mapdiff makes patches of, as it reads them: a map's header and table
// (its chunks are read only when its patch is made), and the bytes of a written patch that are
// not zero, for the summary.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "format/map_table.h"

// Reads the map's size, header and table, and refuses a map that no patch can rebuild. The
// error line is empty on success.
std::string read_map_file(const std::string& path, std::uint64_t& size, std::vector<table_entry>& table);

// The bytes of the file that are not zero. False when it cannot be read.
bool count_nonzero(const std::string& path, std::uint64_t& nonzero, std::uint64_t& size);

// The percentage of a patch's bytes that are not zero; 0 for an empty one.
double share_not_zero(std::uint64_t nonzero, std::uint64_t size);
