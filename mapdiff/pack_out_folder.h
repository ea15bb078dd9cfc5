// The out folder of `pack`. Every file of a run is written under its final name followed by
// ".partial" and renamed at the end, the manifest <mod>.md5 last, once every other file and the
// folder are on the disk: a set whose manifest is there is whole and checked. The renames begin
// once <mod>.md5.partial is complete, and it names the maps of the set, so that a later run
// knows which files an interrupted one left. pack deletes only what it can show it wrote: its
// own ".partial" names, and with --force the set an earlier complete manifest names, that
// manifest first. Other files of the folder are kept, and refused unless --force, which
// replaces those at the names pack writes.
#pragma once

#include <string>
#include <vector>

#include "mapdiff/mod_manifest.h"

struct pack_names {
    std::string folder;              // the out folder
    std::string mod;                 // the mod's name
    std::vector<std::string> stems;  // the maps': the patches are <stem>.qmp
    // Found by prepare_out_folder: with --force, the maps of the set whose complete manifest is
    // there, which the commit deletes (the manifest first) where the new set does not replace
    // them.
    std::vector<std::string> earlier_stems;
    bool earlier_set = false;
    std::size_t leftovers_deleted = 0;  // what an interrupted run had left under ".partial" names
};

std::string patch_path_of(const pack_names& names, const std::string& stem);
std::string manifest_path_of(const pack_names& names);
std::string settings_path_of(const pack_names& names);

// Refuses an out folder that holds files from before, unless `force`, and one with a folder or
// any other non-file at a name pack writes; else deletes the ".partial" files an interrupted run
// left and makes the folder when it is missing. Nothing of an earlier set is deleted here. The
// error line is empty on success.
std::string prepare_out_folder(pack_names& names, bool force);

// Deletes the files written under their temporary names, after a failure.
void discard_partials(const pack_names& names);

// What a failed run before the commit says about the folder.
std::string nothing_written(const pack_names& names);

// Writes the manifest and the settings, flushes every file, deletes an earlier set (its manifest
// first, on the disk before anything else goes), then renames every file into place, the
// manifest last.
std::string commit_pack(const pack_names& names, const std::vector<manifest_line>& lines, const std::string& settings);
