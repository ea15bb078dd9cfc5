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

#include "diff/patch_plan.h"

struct installed_map {
    std::string stem;    // the patch is <stem>.qmp in the mod folder, the map <stem>.qmw
    std::string patch;   // where the patch is now
    std::string author;  // the map it must rebuild to
};

// Checks the call for maps[k], `maps` in install order; `stock` are the stock maps a patch may
// draw on, by the names patches reference. The error line is empty when the rebuild gives the
// author's map and makes no other map file (a nested rebuild: a patch that draws on a map
// installed after it).
std::string check_install_step(const std::vector<patch_source>& stock, const std::vector<installed_map>& maps,
                               std::size_t k);
