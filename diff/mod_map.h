// One map of a mod on its way through pack, in one record from the mod folder to its checked
// patch: read, hashed, placed in install order, its patch written and checked as an installer
// runs it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "diff/patch_source.h"
#include "diff/patch_writer.h"

struct mod_map {
    // The author's map, by the name mapmend rebuilds it under (<stem>.qmw), which the patches of
    // the maps installed after it reference, in the patch folder.
    patch_source file;
    // False for a map named like a stock map: the other maps' patches reference the stock map by
    // that name, and a rebuild reads one source name from one folder only.
    bool can_be_source = true;
    std::string digest;         // the map's MD5, for the manifest
    std::string patch;          // where its patch is written
    std::vector<bool> usable;   // per source: what the map may draw on
    patch_plan plan;
    std::uint64_t nonzero = 0;  // bytes of the patch that are not zero
};

// The map's name without ".qmw": its patch is <stem>.qmp.
std::string stem_of(const mod_map& map);
