// The patch-size benchmark's data: a stock set of 31 map files that share named resources, a
// mod's own map, and one modified map per scenario, all made in memory from one seed.
//
// Resources are either already-compressed-like (textures, sounds: random bytes) or structured
// (height fields, tile grids, meshes, scripts), so that both what a delta finds and what a
// compressor makes of the rest count. Everything is integer arithmetic on seeded numbers: a
// seed gives the same files on every platform.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/test_files.h"

// One entry of a map: its name, a type code kept in the table, and its chunk.
struct map_chunk {
    std::string name;
    std::uint32_t type = 0;
    bytes content;
};

struct bench_map {
    std::string name;               // file name, e.g. "Canyon.qmw"
    std::vector<map_chunk> chunks;  // in table order
    bytes file;                     // the map file laid out from them
};

struct patch_scenario {
    std::string name;         // short, for tables: "edited", "reordered", ...
    std::string description;  // what was done to the stock maps
    bool beside = false;      // draws on the mod's own map, which lies beside the patch
    bool aligned = true;      // every chunk's bytes line up with one range of a source, edits aside
    bench_map map;
};

struct patch_bench_set {
    std::vector<bench_map> stock;  // 31 maps, the maps folder
    bench_map mod;                 // the mod's own map, made from stock chunks and new ones
    std::vector<patch_scenario> scenarios;
};

patch_bench_set make_patch_bench_set(std::uint64_t seed);

// Lays out a map: header, table in `chunks` order, then the chunks at 16-byte boundaries in
// `layout` order (a permutation of the chunk indices; empty means table order). Every name
// field is zero behind its name.
bytes lay_out_map(const std::vector<map_chunk>& chunks, std::uint32_t map_id, const std::vector<std::size_t>& layout = {});

// The bytes of an aligned scenario's map that none of its sources holds, however a patch is
// made: per chunk, none when a source chunk holds its bytes, else those that differ from the
// same-named source chunk of its size (an edit in place), else its bytes that are not zero (a
// new chunk, stored as it is). Sources: the stock maps, and the mod's own map for a scenario
// that draws on it.
std::uint64_t bytes_no_source_holds(const patch_bench_set& set, const patch_scenario& scenario);

// Writes <folder>/Maps (the stock set), <folder>/Mods (the mod's own map) and
// <folder>/Scenarios (one map per scenario).
void write_patch_bench_set(const patch_bench_set& set, const std::string& folder);
