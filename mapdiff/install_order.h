// The order in which an installer rebuilds a mod's maps. A map's patch may draw on the maps
// rebuilt before it, never on those after (no cycle, no nested rebuild), so the order decides
// what each map can draw on. It comes from a sketch of the maps' and the stock maps' contents:
// samples taken where a hash of the last 64 bytes has given values, so that the same bytes
// give the same samples in every file, wherever they lie; a map's samples that no stock map
// holds and other maps do are what the order can win or lose.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "common/storage.h"
#include "mapdiff/progress.h"

struct sketched_file {
    std::string path;
    std::uint64_t size = 0;
};

// Samples of one map found in other maps of the mod and in no stock map: per set of such maps
// (indices into the mod's maps, ascending), how many samples.
using shared_samples = std::vector<std::pair<std::vector<std::size_t>, std::uint64_t>>;

// For each map, its samples found elsewhere in the mod. Only maps that `can_be_source` marks
// count as holding samples. False when a file cannot be read.
bool sketch_shared_samples(const storage& where, const std::vector<sketched_file>& stock,
                           const std::vector<sketched_file>& maps, const std::vector<bool>& can_be_source,
                           std::vector<shared_samples>& shared, progress& meter);

// The maps in install order (indices), greedily: next comes a map that loses least by coming
// next (the fewest of its samples that no map placed so far holds; counts within a sixteenth
// of the least count as equal); among those, the one with most samples held by maps placed so
// far (chains grow), then the one whose samples the remaining maps hold most, then the lowest
// index. Maps that cannot be sources come last, in index order: they lose nothing there.
std::vector<std::size_t> order_maps(const std::vector<shared_samples>& shared, const std::vector<bool>& can_be_source);
