// Rebuilding a map data file from its patch file, beside the patch file.
#pragma once

#include <cstddef>
#include <string>

#include "common/storage.h"
#include "format/rebuild_result.h"
#include "format/unfinished_marker.h"

// Chunks are applied through windows of this many bytes, so memory does not grow with chunk
// size. Small enough that a window's two buffers stay in the processor's second-level cache
// from the reads through the sum to the write (a fifth faster than 1 MiB windows on a 1 GiB
// chunk, natively and under Wine); large enough that the calls per window cost little.
constexpr std::size_t rebuild_window_size = std::size_t{256} << 10;

// The most nested rebuilds below one rebuild. Each level holds two open files; a real chain of
// patch files is a handful deep.
constexpr int rebuild_nesting_limit = 200;

// `strip_extension` of the patch path with ".qmw": the rebuilt file lies beside its patch.
std::string map_file_path(const std::string& patch_path);

// True when the map file path names the patch itself: the patch's own extension is ".qmw", or
// another spelling of it (letter case on Windows) or a link leads to the patch. Such a patch
// cannot be rebuilt: its backup would move it away.
bool map_file_is_the_patch(const std::string& patch_path);

// The folder_of the patch path, but the root itself ("/" or "\") for a patch in the root folder:
// the folder that a rebuild flushes and in which it looks for sibling patches.
std::string patch_folder(const std::string& patch_path);

// True when the rebuild would meet a marker path holding what it may not take over (see
// marker_in_the_way): the map's own, or that of a source it reads beside the patch or makes from
// a sibling patch first. Asked before any map is moved aside, so that such a call fails before
// it moves anything, however often it is repeated.
bool marker_blocks_rebuild(const storage& where, const std::string& patch_path, const std::string& maps_path);

// Copies the patch file to its map file path and turns the copy into the map data file.
// `maps_path` is the stock maps folder, ending in a separator.
// A map that an earlier run left unfinished (its marker is there) counts as missing: as a
// source it is rebuilt from its sibling patch, and in the way of a rebuild it is moved to a
// free ".old" name first, its marker taken over. The maps of this call still in progress are
// read as they stand. A marker path holding anything mapmend did not make fails the rebuild
// before that map is read or moved. The caller holds the patch folder's lock (run_sequence):
// a marker of another run is then one whose run is over.
int rebuild_map_file(std::string patch_path, std::string maps_path);

// The same rebuild through `where`: in memory, the patch file is read from there and the map
// file and every nested rebuild's map file are made there.
int rebuild_map_file(const storage& where, std::string patch_path, std::string maps_path);
