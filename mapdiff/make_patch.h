// mapdiff make: writes the patch file from which mapmend rebuilds a map file, after rebuilding
// it in memory by mapmend's own code and comparing the result with the map file.
#pragma once

#include <cstddef>
#include <string>

#include "diff/progress.h"

struct make_settings {
    std::string maps_path;
    std::string map_file;
    std::string patch_path;
    std::string beside;  // empty: no patch-folder sources
    bool force = false;  // replace an existing file at the patch path
    bool allow_stock_gaps = false;  // make the patch when stock maps are missing or differ
    std::size_t workers = 1;  // threads make runs on; with one, every stage runs on the calling thread
};

struct make_outcome {
    std::string error;    // one line; empty on success
    std::string summary;  // lines for standard output
};

make_outcome make_patch(const make_settings& settings, progress& meter);
