// The patches of a mod's maps, planned side by side on one index of every source: the stock
// maps and the mod's maps that can be sources, each map drawing only on the stock maps and the
// mod's maps before it in install order.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "diff/mod_map.h"
#include "diff/patch_source.h"
#include "diff/progress.h"

// Writes the patch of each map at its `patch` path, which must be free, from a copy of the map,
// with its plan and the count of its bytes that are not zero, and then runs `check` on the map's
// index, which answers with an error line or "". The error line is empty on success; on failure
// the written files are left to the caller.
std::string write_patches(const std::vector<patch_source>& sources, std::vector<mod_map>& maps,
                          const std::function<std::string(std::size_t)>& check, progress& meter,
                          std::size_t workers = 1);
