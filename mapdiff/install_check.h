// The check of a mod's patches as an installer runs them: mapmend's own rebuild, once per map in
// install order, on memory over the disk, each rebuilt map compared with the author's byte for
// byte, and each patch gone once its map is rebuilt (--delete-qmp). Memory holds only the pages
// of a rebuilt map that do not match yet; the maps rebuilt before stay there as the mod
// folder's files, for the maps after them to draw on.
#pragma once

#include <string>
#include <vector>

#include "mapdiff/patch_plan.h"
#include "mapdiff/progress.h"

struct installed_map {
    std::string stem;     // the patch is <stem>.qmp in the mod folder
    std::string patch;    // where the patch is now
    std::string author;   // the map it must rebuild to
};

// `stock`: the stock maps a patch may draw on, by the names patches reference. The error line
// names the first map that does not rebuild; empty when every one does.
std::string check_install(const std::vector<patch_source>& stock, const std::vector<installed_map>& maps, progress& meter);
