// Verification of the game's stock map files against the table built into the tool.
#pragma once

#include "digest/md5_lanes.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct stock_map {
    const char* name;    // bare file name, letter case as stored
    const char* digest;  // 32 lowercase hexadecimal characters
};

constexpr std::size_t stock_map_count = 31;

// The built-in table, sorted by name ignoring case.
const std::array<stock_map, stock_map_count>& stock_maps();

// True when every stock map file in the maps folder has its table digest. `maps_path` already
// ends with a separator: each name is appended to it as it stands. Runs check_stock_lanes
// with the defaults.
bool check_stock(const std::string& maps_path);

// The same check against the given rows, one file after the other in their order, stopping
// at the first row whose file is missing or differs. `digest_of` computes a file's digest text.
bool check_stock(const std::string& maps_path, const stock_map* rows, std::size_t count,
                 std::string (*digest_of)(const std::string& path));

// Read buffers of one worker of check_stock_lanes, shared by its lanes.
constexpr std::size_t stock_check_buffer_bytes = std::size_t{4} << 20;

struct stock_check_setup {
    md5_isa isa = md5_best_isa();  // must be available
    std::size_t workers = 0;       // threads that read and hash; 0: up to one per processor core
    std::size_t buffer_bytes = stock_check_buffer_bytes;  // per worker
    std::uint64_t* bytes_read = nullptr;                  // when set: file bytes read in all
};

// The same answer, with the files hashed side by side. Every row's file is opened first, in
// table order, and the first that cannot be opened fails the check before a byte is read.
// Then each worker hashes as many files at once as its lane routine has lanes, taking the
// largest files first, each read front to back in large pieces; the first file found to
// differ ends every worker's reading. By default there is one worker per processor core, or
// fewer when fewer keep every lane busy for as long as the largest file takes.
bool check_stock_lanes(const std::string& maps_path, const stock_map* rows, std::size_t count,
                       const stock_check_setup& setup);

struct file_digest {
    bool opened = false;     // false: the file cannot be opened, and the rest is empty
    std::uint64_t size = 0;  // as opened
    std::string digest;      // the digest text of the bytes read, to the end or to a read error
};

// The digest of each file, hashed side by side as check_stock_lanes does, every file read to
// its end whatever the others hold.
std::vector<file_digest> file_md5_lanes(const std::vector<std::string>& paths, const stock_check_setup& setup = {});
