// The maps of a mod folder that `pack` makes patches of: every .qmw file in it, each read far
// enough to know it is a map data file that a patch can rebuild.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "format/map_table.h"

struct mod_map {
    std::string path;
    std::string stem;  // the file name without ".qmw": its patch is <stem>.qmp, mapmend writes <stem>.qmw
    std::uint64_t size = 0;
    std::vector<table_entry> table;
    // Never a source of the other maps: their patches reference stock maps by the same name, and
    // a rebuild reads one source name from one folder only.
    bool named_like_stock = false;
};

// The name of the map mapmend rebuilds from the map's patch, which other patches reference.
std::string installed_name(const mod_map& map);

// The maps sorted by name; the error line is empty on success.
std::string read_mod_maps(const std::string& mod_folder, std::vector<mod_map>& maps);

// The mod's name: the mod folder's own name, without trailing separators; empty when the path
// does not end in a name (".", "..").
std::string mod_name_of(const std::string& mod_folder);
