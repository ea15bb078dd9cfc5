// The maps of a mod folder that `pack` makes patches of: every .qmw file in it, each read far
// enough to know it is a map data file that a patch can rebuild.
#pragma once

#include <string>
#include <vector>

#include "diff/mod_map.h"

// The maps sorted by name, each with its file read (named <stem>.qmw, as mapmend rebuilds it
// from the map's patch <stem>.qmp) and whether it can be a source; the error line is empty on
// success.
std::string read_mod_maps(const std::string& mod_folder, std::vector<mod_map>& maps);

// The mod's name: the mod folder's own name, without trailing separators; empty when the path
// does not end in a name (".", "..").
std::string mod_name_of(const std::string& mod_folder);
