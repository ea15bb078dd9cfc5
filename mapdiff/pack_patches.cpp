#include "mapdiff/pack_patches.h"

#include <algorithm>
#include <numeric>

#include "common/file_system.h"
#include "diff/block_index.h"
#include "diff/side_by_side.h"

namespace {

constexpr std::size_t window = std::size_t{1} << 20;

// Not the system's file copy: on Windows that would carry a read-only map's attribute over to
// the patch, which is then written in place.
bool copy_to_new_file(const std::string& from, const std::string& to) {
    open_file source, target;
    std::uint64_t size = 0;
    if (!open_existing(from, open_mode::read, source) || !file_size(source, size) || !create_new_file(to, target)) return false;
    std::vector<unsigned char> buffer(static_cast<std::size_t>(std::min<std::uint64_t>(window, size)));
    for (std::uint64_t at = 0; at < size;) {
        const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(window, size - at));
        if (read_at(source, at, buffer.data(), piece) != piece || !write_at(target, at, buffer.data(), piece)) return false;
        at += piece;
    }
    return true;
}

bool count_nonzero(const std::string& path, std::uint64_t& nonzero) {
    open_file file;
    std::uint64_t size = 0;
    if (!open_existing(path, open_mode::read, file) || !file_size(file, size)) return false;
    std::vector<unsigned char> buffer(static_cast<std::size_t>(std::min<std::uint64_t>(window, size)));
    nonzero = 0;
    for (std::uint64_t at = 0; at < size;) {
        const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(window, size - at));
        if (read_at(file, at, buffer.data(), piece) != piece) return false;
        nonzero += piece - static_cast<std::size_t>(std::count(buffer.data(), buffer.data() + piece, 0));
        at += piece;
    }
    return true;
}

}  // namespace

std::string write_patches(const std::vector<patch_source>& sources, std::vector<map_patch>& patches,
                          const std::function<std::string(std::size_t)>& check, progress& meter,
                          std::size_t workers) {
    std::vector<indexed_source> indexed;
    indexed.reserve(sources.size());
    for (const patch_source& source : sources) indexed.push_back({source.path, source.size});
    block_index index;
    if (!build_block_index(storage{}, indexed, index, meter, workers)) return "Error: A source could not be read.";

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
            if (!copy_to_new_file(patch.map->path, patch.written)) {
                error = "Error: Cannot write " + patch.written + ".";
            } else if (!write_patch_on_index(storage{}, patch.written, patch.map->table, sources, index, patch.usable,
                                            patch.plan, quiet)) {
                error = "Error: A source could not be read, or " + patch.written + " written.";
            } else if (!count_nonzero(patch.written, patch.nonzero)) {
                error = "Error: Cannot read " + patch.written + ".";
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
