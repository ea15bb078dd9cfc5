// mapdiff inspect: what a patch draws on, and whether mapmend would rebuild it. The verdict
// comes from mapmend's own run: its argument checks, the move of an earlier map aside and its
// rebuild, on memory over the disk by the disk's rules; the disk is never written.
#pragma once

#include <string>

#include "common/storage_memory.h"

struct inspect_outcome {
    bool would_rebuild = false;
    std::string text;  // lines for standard output
};

inspect_outcome inspect_patch(const std::string& maps_path, const std::string& patch_path);

// The listing and the rebuild through `world` alone, after mapmend's argument checks and its
// move: a memory storage, over the disk or not. Every map file made is left in `world`. The
// listing names each sibling patch once, however long the chain of them.
inspect_outcome inspect_rebuild(memory_files& world, const std::string& maps_path, const std::string& patch_path);
