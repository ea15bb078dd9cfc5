// mapdiff pack: the patches of a whole mod, one per map of the mod folder, each drawing on the
// stock maps and on the mod's maps installed before it, in an install order chosen so that the
// set is small; checked as the installer will run them, then placed in the out folder with the
// manifest <mod>.md5 and the installer settings <mod>.nsh.
#pragma once

#include <cstddef>
#include <string>

#include "diff/progress.h"

struct pack_settings {
    std::string maps_path;
    std::string mod_folder;
    std::string out_folder;
    bool force = false;  // replace the files of an earlier set in the out folder
    bool allow_stock_gaps = false;  // pack when stock maps are missing or differ
    std::size_t workers = 1;  // threads pack runs on
};

struct pack_outcome {
    std::string error;    // one line; empty on success
    std::string summary;  // lines for standard output
};

pack_outcome pack_mod(const pack_settings& settings, progress& meter);
