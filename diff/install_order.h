// The order in which an installer rebuilds a mod's maps. A map's patch may draw on the maps
// rebuilt before it, never on those after (no cycle, no nested rebuild), so the order decides
// what each map can draw on. It comes from a sketch of the maps' and the stock maps' contents:
// samples taken where a hash of the last 64 bytes has given values, so that the same bytes
// give the same samples in every file, wherever they lie. A chunk of a map whose samples,
// those no stock map holds, another map holds nearly all of is a copy of that map's bytes: the
// map should come after that one, where its patch can draw on it for the whole chunk. (The
// map copied from holds the bytes too, but rarely whole chunks of its own.)
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "common/storage.h"
#include "diff/mod_map.h"
#include "diff/patch_source.h"
#include "diff/progress.h"

// The samples in chunks of one map that other maps of the mod copy: per set of maps each of
// which holds nearly all of a chunk's samples (indices into the mod's maps, ascending), how many
// samples such chunks have, not counting those a stock map holds.
using shared_samples = std::vector<std::pair<std::vector<std::size_t>, std::uint64_t>>;

// For each map, its chunks (by its table) copied from other maps of the mod. Only maps that can
// be sources count as holding samples; `workers` threads sample and compare. False when a file
// cannot be read.
bool sketch_shared_samples(const storage& where, const std::vector<patch_source>& stock, const std::vector<mod_map>& maps,
                           std::vector<shared_samples>& shared, progress& meter, std::size_t workers);

// The maps in install order (indices). Of two maps that each hold chunks copied from the other,
// only the one with more counts as copying (a short chunk can lie whole inside a longer copy).
// Then greedily: next comes a map that loses least by coming
// next (the fewest samples in its copied chunks that no map placed so far holds; counts within
// a sixteenth of the least count as equal); among those, the one with most such samples held
// by maps placed so far (chains grow), then the one whose samples the remaining maps' copied
// chunks hold most, then the lowest index. Maps that cannot be sources come last, in index
// order: they lose nothing there.
std::vector<std::size_t> order_maps(const std::vector<shared_samples>& shared, const std::vector<mod_map>& maps);
