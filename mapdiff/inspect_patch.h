// mapdiff inspect: what a patch draws on, and whether mapmend would rebuild it. The verdict
// comes from mapmend's own argument checks and rebuild, run on memory over the disk, which is
// never written.
#pragma once

#include <string>

struct inspect_outcome {
    bool would_rebuild = false;
    std::string text;  // lines for standard output
};

inspect_outcome inspect_patch(const std::string& maps_path, const std::string& patch_path);

// What a failed rebuild's result means, for people.
std::string rebuild_failure_text(int result);
