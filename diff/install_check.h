// The check of a mod's patches as an installer runs them: one mapmend rebuild per map in install
// order, on memory over the disk, each rebuilt map compared with the author's byte for byte.
// The call for a map finds the maps before it already rebuilt in the mod folder, their patches
// gone (--delete-qmp), and the patches of the maps after it. Each map is checked on its own, with
// the author's maps standing for those rebuilt before it: the checks of those maps show that
// their rebuilds give exactly these bytes, so once every map passes, the set installs. That lets
// the maps be checked side by side, each as soon as its patch is written.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "common/storage_memory.h"
#include "diff/mod_map.h"
#include "diff/patch_source.h"

// An install in memory: the stock maps in the maps folder "maps", the patch and the maps beside
// it in the patch folder "mods". The path of a file there.
std::string installed_path(bool beside_the_patch, const std::string& name);

struct installed_rebuild {
    int result = 0;        // the rebuild's result
    bool matches = false;  // the rebuilt map is the author's, byte for byte
};

// Rebuilds "mods/<patch_name>" in `install` by mapmend's own rebuild, with the maps path as
// mapmend's argument reading hands it on, and compares the map it makes with `author_map` page by
// page as it is written: memory holds only the pages that do not match yet.
installed_rebuild rebuild_as_installed(memory_files& install, const std::string& patch_name,
                                       const std::string& author_map);

// Checks the call for maps[k], `maps` in install order, each patch where its `patch` says;
// `stock` are the stock maps a patch may draw on, by the names patches reference. The error
// line is empty when the rebuild gives the author's map and makes no other map file (a nested
// rebuild: a patch that draws on a map installed after it).
std::string check_install_step(const std::vector<patch_source>& stock, const std::vector<mod_map>& maps, std::size_t k);
