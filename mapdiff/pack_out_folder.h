// The out folder of `pack`. Every file of a run is written under its final name followed by
// ".partial" and renamed at the end, the manifest <mod>.md5 last: a set whose manifest is there
// is whole and checked. The renames begin once <mod>.md5.partial is complete, and it names the
// maps of the set, so that a later run knows which files an interrupted one left: those it
// deletes and makes again. Files of the folder from before are kept unless --force, which
// replaces those of the names pack writes.
#pragma once

#include <string>
#include <vector>

#include "mapdiff/mod_manifest.h"

struct pack_names {
    std::string folder;              // the out folder
    std::string mod;                 // the mod's name
    std::vector<std::string> stems;  // the maps': the patches are <stem>.qmp
};

std::string patch_path_of(const pack_names& names, const std::string& stem);
std::string manifest_path_of(const pack_names& names);
std::string settings_path_of(const pack_names& names);

// Refuses an out folder that holds files from before, unless `force`; else deletes what an
// interrupted run left and makes the folder when it is missing. The error line is empty on
// success.
std::string prepare_out_folder(const pack_names& names, bool force);

// Deletes the patches written under their temporary names, after a failure.
void discard_patches(const pack_names& names);

// Writes the manifest and the settings, then renames every file into place, the manifest last.
std::string commit_pack(const pack_names& names, const std::vector<manifest_line>& lines, const std::string& settings);
