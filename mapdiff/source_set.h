// The files a patch may draw on: the stock maps of the maps folder that the compiled stock table
// vouches for, and with --beside the map files of that folder, which will lie beside the patch.
#pragma once

#include <string>
#include <vector>

#include "diff/patch_plan.h"

struct skipped_source {
    std::string name;
    std::string reason;
};

struct source_set {
    std::vector<patch_source> sources;
    std::vector<skipped_source> skipped;
};

// `excluded` are files that are never sources (the map file, the patch's own map file path).
// The error text is empty on success.
std::string gather_sources(const std::string& maps_path, const std::string& beside,
                           const std::vector<std::string>& excluded, source_set& set, progress& meter);
