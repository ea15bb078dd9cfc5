// The marker beside a map file being made ("<map>.rebuilding", format/rebuild.h): which run made
// it, and what a run may do with one it finds.
#pragma once

#include <string>

#include "common/storage.h"

// The marker that stands beside a map file from before its copy is made until the whole map is
// on the disk: "<map file path>.rebuilding".
std::string unfinished_marker_path(const std::string& map_path);

// What stands at a marker path, as this run sees it.
enum class marker_state {
    none,     // nothing: a map beside it is finished
    own,      // a marker of this run
    left,     // a marker of another mapmend run, or of a mapmend that wrote empty markers
    foreign,  // anything mapmend did not make: a folder, a link, a file of other text, one that cannot be read
};

// The text of this run's markers: "mapmend run <16 hex digits>\n", the digits drawn once per
// process, so that no two runs write the same text.
const std::string& own_marker_text();

marker_state marker_at(const storage& where, const std::string& marker_path);

// True when a run may not make the map at `map_path`: its marker path holds something mapmend
// did not make, or another run's marker that this user cannot delete. Asked before a map is
// moved aside, so that such a map is never moved, however often the run is repeated.
bool marker_in_the_way(const storage& where, const std::string& map_path);

// Puts this run's marker at the path: made anew, or in place of another run's (deleted first:
// nothing may stand at the map path then). False when anything else is there.
bool put_own_marker(const storage& where, const std::string& marker_path);

// Deletes the marker if it is this run's; false, with the marker left, when it is not.
bool remove_own_marker(const storage& where, const std::string& marker_path);
