#include "format/rebuild.h"

#include <algorithm>
#include <new>
#include <utility>
#include <vector>

#include "common/file_system.h"
#include "common/path_text.h"
#include "format/byte_sum.h"
#include "format/patch_file.h"

namespace {

constexpr std::size_t window_size = rebuild_window_size;

// Each level holds two open files; a real chain of patch files is a handful deep.
constexpr int max_nesting = 200;

struct source_file {
    stored_file file;
    std::uint64_t size = 0;
    bool is_output = false;  // the map file being rebuilt, read in its present state
};

int apply_entry(const stored_file& output, const source_file& source, const patch_entry& entry,
                std::vector<unsigned char>& difference, std::vector<unsigned char>& source_bytes) {
    const std::uint64_t chunk = static_cast<std::uint32_t>(entry.chunk_offset);
    const std::uint64_t from = static_cast<std::uint32_t>(entry.source_offset);
    const std::uint64_t size = entry.chunk_size;
    if (from + size > source.size) return source_too_short;

    // Reading the output file ahead of where this entry writes needs the windows in the
    // order that never reads a byte this entry has already written: back to front when the
    // source range starts before the chunk and overlaps it.
    const bool back_to_front = source.is_output && from < chunk && from + size > chunk;

    for (std::uint64_t done = 0; done < size;) {
        const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(window_size, size - done));
        const std::uint64_t at = back_to_front ? size - done - piece : done;
        if (read_at(output, chunk + at, difference.data(), piece) != piece) return output_failed;
        if (read_at(source.file, from + at, source_bytes.data(), piece) != piece) return source_too_short;
        add_bytes(difference.data(), source_bytes.data(), piece);
        if (!write_at(output, chunk + at, difference.data(), piece)) return output_failed;
        done += piece;
    }
    return rebuilt;
}

int rebuild_at_depth(const storage& where, const std::string& patch_path, const std::string& maps_path, int depth);

// Opens the source of a group, rebuilding it first from its sibling patch file when missing.
// A file that can be opened is there (file_exists means no more), so the first open is also
// the test: each source is opened once. A group of empty chunks reads nothing, so after a
// nested rebuild it needs no readable source.
int open_source(const storage& where, const patch_entry& first, bool needed, const std::string& folder,
                const std::string& maps_path, int depth, stored_file& source) {
    if (open_stored_file(where, (first.in_patch_folder ? folder : maps_path) + "\\" + first.source_name, open_mode::read,
                         source))
        return rebuilt;

    const std::string sibling = folder + "\\" + strip_extension(first.source_name) + ".qmp";
    if (!stored_file_exists(where, sibling)) return source_missing;
    if (depth >= max_nesting) return nesting_too_deep;
    if (const int nested = rebuild_at_depth(where, sibling, maps_path, depth + 1)) return nested;
    if (needed && !open_stored_file(where, folder + "\\" + first.source_name, open_mode::read, source))
        return source_unreadable;
    return rebuilt;
}

int apply_groups(const storage& where, const stored_file& output, const std::vector<patch_entry>& entries,
                 const std::string& folder, const std::string& maps_path, int depth) {
    for (std::size_t j = 0; j < entries.size();) {
        const std::string& name = entries[j].source_name;
        std::size_t end = j;
        std::uint32_t largest_chunk = 0;
        while (end < entries.size() && entries[end].source_name == name)
            largest_chunk = std::max(largest_chunk, entries[end++].chunk_size);

        source_file source;
        if (const int found = open_source(where, entries[j], largest_chunk > 0, folder, maps_path, depth, source.file))
            return found;

        if (largest_chunk > 0) {
            if (!file_size(source.file, source.size)) return source_unreadable;
            source.is_output = same_file(source.file, output);

            const std::size_t buffer = static_cast<std::size_t>(std::min<std::uint64_t>(window_size, largest_chunk));
            std::vector<unsigned char> difference(buffer), source_bytes(buffer);
            for (std::size_t k = j; k < end; ++k) {
                if (entries[k].chunk_size == 0) continue;
                if (const int applied = apply_entry(output, source, entries[k], difference, source_bytes))
                    return applied;
            }
        }
        j = end;
    }
    return rebuilt;
}

int rebuild_at_depth(const storage& where, const std::string& patch_path, const std::string& maps_path, int depth) {
    const std::string output_path = map_file_path(patch_path);
    if (stored_file_exists(where, output_path)) return output_unavailable;
    const std::string folder = patch_folder(patch_path);

    // Never replaces a file, not even one that could not be read above.
    if (!copy_new_stored_file(where, patch_path, output_path)) return output_unavailable;
    stored_file output;
    if (!open_stored_file(where, output_path, open_mode::read_write, output)) return output_unavailable;
    if (!has_patch_magic(output)) return not_a_patch;

    std::uint64_t size = 0;
    if (!file_size(output, size)) return output_failed;
    std::vector<patch_entry> entries;
    switch (scan_patch_table(output, size, entries)) {
        case scan_result::ok: break;
        case scan_result::truncated: return damaged_patch;
        case scan_result::name_too_long: return unsafe_source;
        case scan_result::write_failed: return output_failed;
    }
    for (const patch_entry& entry : entries) {
        switch (check_patch_entry(entry, size)) {
            case entry_check::ok: break;
            case entry_check::unsafe_source_name: return unsafe_source;
            case entry_check::chunk_outside_file:
            case entry_check::negative_source_offset: return damaged_patch;
        }
    }
    // Stable, so that entries equal in every key keep their table order on every platform.
    std::stable_sort(entries.begin(), entries.end(), patch_entry_order);
    if (const int applied = apply_groups(where, output, entries, folder, maps_path, depth)) return applied;
    // The patch may be deleted once this returns: the map must be on the disk by then, its
    // name included, or a power cut could leave neither a whole map nor the patch. Memory
    // files have no disk to reach.
    if (!where.memory && (!flush_to_disk(output.disk) || !flush_folder_to_disk(folder))) return output_failed;
    return rebuilt;
}

}  // namespace

std::string map_file_path(const std::string& patch_path) { return strip_extension(patch_path) + ".qmw"; }

std::string patch_folder(const std::string& patch_path) {
    const auto separator = patch_path.find_last_of("\\/");
    return separator == std::string::npos ? std::string(".") : patch_path.substr(0, separator);
}

int rebuild_map_file(std::string patch_path, std::string maps_path) {
    return rebuild_map_file(storage{}, std::move(patch_path), std::move(maps_path));
}

int rebuild_map_file(const storage& where, std::string patch_path, std::string maps_path) {
    try {
        return rebuild_at_depth(where, patch_path, maps_path, 0);
    } catch (const std::bad_alloc&) {
        return out_of_memory;
    }
}
