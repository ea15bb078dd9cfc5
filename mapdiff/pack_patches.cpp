#include "mapdiff/pack_patches.h"

#include <algorithm>
#include <numeric>

#include "diff/block_index.h"
#include "diff/side_by_side.h"
#include "mapdiff/map_file.h"
#include "mapdiff/output_file.h"

std::string write_patches(const std::vector<patch_source>& sources, std::vector<map_patch>& patches,
                          const std::function<std::string(std::size_t)>& check, progress& meter) {
    block_index index;
    if (!build_block_index(the_disk, sources, index, meter)) return "Error: A source could not be read.";

    // The largest maps first, so that no large map starts when the others are done.
    std::vector<std::size_t> by_size(patches.size());
    std::iota(by_size.begin(), by_size.end(), std::size_t{0});
    std::stable_sort(by_size.begin(), by_size.end(),
                     [&](std::size_t a, std::size_t b) { return patches[a].map->size > patches[b].map->size; });
    std::vector<std::string> errors(patches.size());
    start_stage(meter, "writing and checking the patches", patches.size());
    const bool done = run_side_by_side(
        patches.size(),
        [&](std::size_t k) {
            map_patch& patch = patches[by_size[k]];
            std::string& error = errors[by_size[k]];
            // Threads share the index; each has its own files and buffers, and no progress.
            progress quiet;
            std::uint64_t size = 0;
            if (!copy_to_new_file(patch.map->path, patch.partial_patch)) {
                error = "Error: Cannot write " + patch.partial_patch + ".";
            } else if (!write_patch_on_index(the_disk, patch.partial_patch, patch.map->table, sources, index, patch.usable,
                                            patch.plan, quiet)) {
                error = "Error: A source could not be read, or " + patch.partial_patch + " written.";
            } else if (!count_nonzero(patch.partial_patch, patch.nonzero, size)) {
                error = "Error: Cannot read " + patch.partial_patch + ".";
            } else {
                error = check(by_size[k]);
            }
            return error.empty();
        },
        meter);
    for (const std::string& error : errors)
        if (!error.empty()) return error;
    return done ? std::string() : "Error: Not enough memory.";
}
