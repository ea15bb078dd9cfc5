// How a rebuild walks a patch's entries: sorted so that the entries of one source are
// neighbours, taken in groups of one source name, and each group's source opened at its path or,
// when it is missing, rebuilt first from the sibling patch of that name.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "format/patch_file.h"

// By patch_entry_order; stable, so that entries equal in every key keep their table order on
// every platform.
void sort_by_source(std::vector<patch_entry>& entries);

// The end of the group that starts at `first`: the neighbouring entries of its source name,
// whatever their folder flag.
std::size_t source_group_end(const std::vector<patch_entry>& entries, std::size_t first);

// Where an entry's source lies: in `patch_folder` (the folder_of the patch path) or in the
// maps folder.
std::string source_path(const patch_entry& entry, const std::string& patch_folder, const std::string& maps_path);

// The patch file from which a missing source is rebuilt: its name with ".qmp", in the patch's
// folder.
std::string sibling_patch_path(const std::string& patch_folder, const std::string& source_name);
