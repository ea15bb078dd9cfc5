// The patches of a mod's maps, planned side by side on one index of every source: the stock
// maps and the mod's maps that can be sources, each map drawing only on the stock maps and the
// mod's maps before it in install order.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "diff/patch_writer.h"
#include "diff/progress.h"
#include "mapdiff/mod_maps.h"

struct map_patch {
    const mod_map* map = nullptr;
    std::string partial_patch;  // the patch, written here from a copy of the map
    std::vector<bool> usable;   // per source: what the map may draw on
    patch_plan plan;
    std::uint64_t nonzero = 0;  // bytes of the patch that are not zero
};

// Writes each patch at its `partial_patch` path, which must be free, and then runs `check` on its
// index, which answers with an error line or "". The error line is empty on success; on failure
// the written files are left to the caller.
std::string write_patches(const std::vector<patch_source>& sources, std::vector<map_patch>& patches,
                          const std::function<std::string(std::size_t)>& check, progress& meter,
                          std::size_t workers = 1);
