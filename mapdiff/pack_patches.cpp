#include "mapdiff/pack_patches.h"

#include <algorithm>
#include <numeric>

#include "diff/block_index.h"
#include "diff/patch_writer.h"
#include "diff/side_by_side.h"
#include "mapdiff/map_file.h"
#include "mapdiff/output_file.h"

std::string write_patches(const std::vector<patch_source>& sources, std::vector<mod_map>& maps,
                          const std::function<std::string(std::size_t)>& check, progress& meter,
                          std::size_t workers) {
    block_index index;
    if (!build_block_index(the_disk, sources, index, meter, workers)) return "Error: A source could not be read.";

    // The largest maps first, so that no large map starts when the others are done.
    std::vector<std::size_t> by_size(maps.size());
    std::iota(by_size.begin(), by_size.end(), std::size_t{0});
    std::stable_sort(by_size.begin(), by_size.end(),
                     [&](std::size_t a, std::size_t b) { return maps[a].file.size > maps[b].file.size; });
    std::vector<std::string> errors(maps.size());
    start_stage(meter, "writing and checking the patches", maps.size());
    const bool done = run_side_by_side(
        maps.size(), workers,
        [&](std::size_t k) {
            mod_map& map = maps[by_size[k]];
            std::string& error = errors[by_size[k]];
            // Threads share the index; each has its own files and buffers, and no progress.
            progress quiet;
            std::uint64_t size = 0;
            if (!copy_to_new_file(map.file.path, map.patch)) {
                error = "Error: Cannot write " + map.patch + ".";
            } else if (!write_patch_on_index(the_disk, map.patch, map.file.table, sources, index, map.usable, map.plan,
                                            quiet)) {
                error = "Error: A source could not be read, or " + map.patch + " written.";
            } else if (!count_nonzero(map.patch, map.nonzero, size)) {
                error = "Error: Cannot read " + map.patch + ".";
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
