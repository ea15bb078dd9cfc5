// A file a patch is written from or draws on: a stock map, a map beside the patch, a map of a
// mod. Every step of the engine reads its sources, and the maps it sketches, through this one
// record.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "format/map_table.h"

struct patch_source {
    std::string name;            // the name the patch references
    std::string path;            // where it is read now
    bool in_patch_folder = false;
    std::uint64_t size = 0;
    std::vector<table_entry> table;  // its own entries: same-named candidates, a map's chunks
};
