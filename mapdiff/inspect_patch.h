// mapdiff inspect: what a patch draws on, and whether mapmend would rebuild it. The verdict
// comes from mapmend's own run: its argument checks, the move of an earlier map aside and its
// rebuild, on memory over the disk by the disk's rules; the disk is never written.
#pragma once

#include <string>

#include "common/storage_memory.h"
#include "mapmend/arguments.h"

struct inspect_outcome {
    bool would_rebuild = false;
    std::string text;  // lines for standard output
};

inspect_outcome inspect_patch(const std::string& maps_path, const std::string& patch_path);

// Memory files over the disk by the disk's rules, where mapmend's run is made without writing:
// every file it makes or moves stays in memory.
memory_files memory_over_the_disk();

// The listing, then mapmend's run sequence with `settings` (read by mapmend's argument
// checks) through `memory` alone: a memory storage, over the disk or not. Every map file made is
// left in `memory`. The listing names each sibling patch once, however long the chain of them.
inspect_outcome inspect_run(memory_files& memory, const run_settings& settings);

// The same with the maps path and the patch path as mapmend's argument reading hands them on.
inspect_outcome inspect_rebuild(memory_files& memory, const std::string& maps_path, const std::string& patch_path);
