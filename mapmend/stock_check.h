// Verification of the game's stock map files against the table built into the tool.
#pragma once

#include <array>
#include <cstddef>
#include <string>

struct stock_map {
    const char* name;    // bare file name, letter case as stored
    const char* digest;  // 32 lowercase hexadecimal characters
};

constexpr std::size_t stock_map_count = 31;

// The built-in table, sorted by name ignoring case.
const std::array<stock_map, stock_map_count>& stock_maps();

// True when every stock map file in the maps folder has its table digest. `maps_path` already
// ends with a separator: each name is appended to it as it stands.
bool check_stock(const std::string& maps_path);

// The same check against the given rows, in their order, stopping at the first row whose
// file is missing or differs. `digest_of` computes a file's digest text.
bool check_stock(const std::string& maps_path, const stock_map* rows, std::size_t count,
                 std::string (*digest_of)(const std::string& path));
