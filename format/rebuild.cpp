#include "format/rebuild.h"

#include <algorithm>
#include <new>
#include <set>
#include <utility>
#include <vector>

#include "common/file_system.h"
#include "common/little_endian.h"
#include "common/path_text.h"
#include "common/storage_memory.h"
#include "common/unique_path.h"
#include "format/byte_sum.h"
#include "format/patch_file.h"
#include "format/source_groups.h"

namespace {

constexpr std::size_t window_size = rebuild_window_size;

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

// What one call of rebuild_map_file shares across its nesting levels.
struct rebuild_run {
    const storage& where;
    const std::string& maps_path;
    // The map files of the calls still in progress, outermost first: the only marked maps that
    // are read, as they stand, so that patches which need each other end as they always have.
    std::vector<const stored_file*> in_progress;
};

int rebuild_at_depth(rebuild_run& run, const std::string& patch_path, int depth);

bool in_progress(const rebuild_run& run, const stored_file& file) {
    return std::any_of(run.in_progress.begin(), run.in_progress.end(),
                       [&file](const stored_file* ours) { return same_file(*ours, file); });
}

enum class found { finished, missing, blocked };

// Opens a map for reading unless it is missing or unfinished: its marker is another run's (that
// run is over), or this run's on a map no longer in progress. A map whose marker path holds
// something that mapmend did not make is neither read nor taken for missing.
found open_finished(const rebuild_run& run, const std::string& path, stored_file& file) {
    if (!open_stored_file(run.where, path, open_mode::read, file)) return found::missing;
    switch (marker_at(run.where, unfinished_marker_path(path))) {
        case marker_state::none: return found::finished;
        case marker_state::own:
            if (in_progress(run, file)) return found::finished;
            break;
        case marker_state::left: break;
        case marker_state::foreign:
            file = stored_file{};
            return found::blocked;
    }
    file = stored_file{};  // closed: Windows cannot move an open file aside
    return found::missing;
}

// Opens the source of a group, rebuilding it first from its sibling patch file when missing.
// A file that can be opened is there (file_exists means no more), so the first open is also
// the test: each source is opened once. A group of empty chunks reads nothing, so after a
// nested rebuild it needs no readable source.
int open_source(rebuild_run& run, const patch_entry& first, bool needed, const std::string& folder, int depth,
                stored_file& source) {
    switch (open_finished(run, source_path(first, folder, run.maps_path), source)) {
        case found::finished: return rebuilt;
        case found::blocked: return marker_blocked;
        case found::missing: break;
    }

    const std::string sibling = sibling_patch_path(folder, first.source_name);
    if (!stored_file_exists(run.where, sibling)) return source_missing;
    if (depth >= rebuild_nesting_limit) return nesting_too_deep;
    if (const int nested = rebuild_at_depth(run, sibling, depth + 1)) return nested;
    // Read where the nested rebuild put it, in the patch folder, whichever folder the group names.
    if (!needed) return rebuilt;
    switch (open_finished(run, path_in(folder, first.source_name), source)) {
        case found::finished: return rebuilt;
        case found::blocked: return marker_blocked;
        case found::missing: break;
    }
    return source_unreadable;
}

int apply_groups(rebuild_run& run, const stored_file& output, const std::vector<patch_entry>& entries,
                 const std::string& folder, int depth) {
    for (std::size_t j = 0; j < entries.size();) {
        const std::size_t end = source_group_end(entries, j);
        std::uint32_t largest_chunk = 0;
        for (std::size_t k = j; k < end; ++k) largest_chunk = std::max(largest_chunk, entries[k].chunk_size);

        source_file source;
        if (const int found = open_source(run, entries[j], largest_chunk > 0, folder, depth, source.file)) return found;

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

// Turns the open copy of a patch file into the map data file.
int rewrite_copy(rebuild_run& run, const stored_file& output, const std::string& folder, int depth) {
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
    sort_by_source(entries);
    return apply_groups(run, output, entries, folder, depth);
}

// Moves a map that an earlier run left unfinished out of the way of its rebuild, to a free
// ".old" name as the run sequence does with an earlier map; any other file there stays, and
// the rebuild cannot be made (so a cycle of patches ends at a map still in progress). Nothing is
// moved when the marker path holds what this run may not take over.
int clear_output_path(const rebuild_run& run, const std::string& output_path) {
    if (marker_in_the_way(run.where, output_path)) return marker_blocked;
    stored_file earlier;
    if (open_stored_file(run.where, output_path, open_mode::read, earlier)) {
        if (marker_at(run.where, unfinished_marker_path(output_path)) != marker_state::left) return output_unavailable;
        earlier = stored_file{};
        // Not the run sequence's move: any entry of the run's storage, readable or not, takes a
        // name, so that a nested rebuild steps over what it cannot read instead of failing on it.
        const std::string backup = unique_path(output_path + ".old", [&run](const std::string& candidate) {
            return stored_path_exists(run.where, candidate);
        });
        if (!move_stored_file(run.where, output_path, backup)) return output_unavailable;
    }
    // Nothing is made where anything is, not even a file that cannot be read.
    return stored_path_exists(run.where, output_path) ? output_unavailable : rebuilt;
}

// Copies the patch to the map file path and turns the copy into the whole map, on the disk.
int make_map(rebuild_run& run, const std::string& patch_path, const std::string& output_path, const std::string& folder,
             int depth) {
    const storage& where = run.where;
    // Never replaces a file, not even one that could not be read before.
    if (!copy_new_stored_file(where, patch_path, output_path)) return output_unavailable;
    stored_file output;
    if (!open_stored_file(where, output_path, open_mode::read_write, output)) return output_unavailable;

    run.in_progress.push_back(&output);
    const int rewritten = rewrite_copy(run, output, folder, depth);
    run.in_progress.pop_back();
    if (rewritten != rebuilt) return rewritten;
    // Memory files have no disk to reach.
    if (!where.memory && (!flush_to_disk(output.disk) || !flush_folder_to_disk(folder))) return output_failed;
    return rebuilt;
}

int rebuild_at_depth(rebuild_run& run, const std::string& patch_path, int depth) {
    const storage& where = run.where;
    const std::string output_path = map_file_path(patch_path);
    if (const int cleared = clear_output_path(run, output_path)) return cleared;
    const std::string folder = patch_folder(patch_path);

    // The marker reaches the disk before the map's first byte does, and goes only once the whole
    // map is there: whatever a kill or a power cut leaves, a later run sees whether the map was
    // finished. One that an earlier run left is taken over: it says which run made it.
    const std::string marker = unfinished_marker_path(output_path);
    if (!put_own_marker(where, marker)) return output_unavailable;
    if (!where.memory && !flush_folder_to_disk(folder)) return output_failed;

    const int made = make_map(run, patch_path, output_path, folder, depth);
    // A failed map keeps its marker, the one asked for included: another patch may name it as a
    // source, and a later run must not take it for finished.
    if (made != rebuilt) return made;
    // The patch may be deleted once this returns: the marker's removal must be on the disk by
    // then, as the map is, or a power cut could leave a whole map that counts as unfinished and
    // no patch to make it again.
    // Only this run's own marker: one that is not (taken over by a run that did not wait for
    // this one) leaves the run failed, never ended as if its map were finished.
    const bool unmarked = remove_own_marker(where, marker) && (where.memory || flush_folder_to_disk(folder));
    return unmarked ? rebuilt : output_failed;
}

// The entries of a patch's table, read from a copy of the table in memory (the scan zeroes what
// it reads); false when the table cannot be read so, which the rebuild itself then meets.
bool read_table_of(const storage& where, const std::string& patch_path, std::vector<patch_entry>& entries) {
    stored_file patch;
    std::uint64_t size = 0;
    unsigned char count_bytes[4] = {};
    if (!open_stored_file(where, patch_path, open_mode::read, patch) || !file_size(patch, size) ||
        read_at(patch, patch_layout::entry_count_at, count_bytes, 4) != 4)
        return false;
    const auto count = static_cast<std::int32_t>(load_u32_le(count_bytes));
    // The table, and room for the source reference behind the last entry's name.
    constexpr std::uint64_t reference_room = 1024, largest_table = std::uint64_t{64} << 20;
    const std::uint64_t length =
        std::min(size, patch_layout::chunk_offset_at + patch_layout::entry_stride * static_cast<std::uint32_t>(std::max(count, 0)) +
                           reference_room);
    if (count < 0 || length > largest_table) return false;
    memory_files scratch;
    std::vector<unsigned char>& copy = scratch.files["table"];
    copy.resize(static_cast<std::size_t>(length));
    stored_file table;
    return read_at(patch, 0, copy.data(), copy.size()) == copy.size() &&
           open_stored_file(storage{&scratch}, "table", open_mode::read_write, table) &&
           scan_patch_table(table, length, entries) == scan_result::ok;
}

bool marker_blocks_below(const storage& where, const std::string& patch_path, const std::string& maps_path, int depth,
                         std::set<std::string>& seen) {
    if (marker_in_the_way(where, map_file_path(patch_path))) return true;
    std::vector<patch_entry> entries;
    if (depth > rebuild_nesting_limit || !seen.insert(patch_path).second || !read_table_of(where, patch_path, entries))
        return false;
    const std::string folder = patch_folder(patch_path);
    std::set<std::pair<bool, std::string>> sources;
    for (const patch_entry& entry : entries) {
        // A name that could reach outside its folder or a device is refused by the rebuild itself.
        if (!is_safe_source_name(entry.source_name) || !sources.insert({entry.in_patch_folder, entry.source_name}).second)
            continue;
        const std::string path = source_path(entry, folder, maps_path);
        const marker_state state = marker_at(where, unfinished_marker_path(path));
        if (state == marker_state::foreign) return true;
        // Only a source that the rebuild would make from its sibling patch leads further.
        if (stored_file_exists(where, path) && state != marker_state::left) continue;
        const std::string sibling = sibling_patch_path(folder, entry.source_name);
        if (stored_file_exists(where, sibling) && marker_blocks_below(where, sibling, maps_path, depth + 1, seen)) return true;
    }
    return false;
}

}  // namespace

bool marker_blocks_rebuild(const storage& where, const std::string& patch_path, const std::string& maps_path) {
    std::set<std::string> seen;
    return marker_blocks_below(where, patch_path, maps_path, 0, seen);
}

std::string map_file_path(const std::string& patch_path) { return strip_extension(patch_path) + ".qmw"; }

bool map_file_is_the_patch(const std::string& patch_path) {
    const std::string output_path = map_file_path(patch_path);
    if (output_path == patch_path) return true;
    open_file output, patch;
    return open_existing(output_path, open_mode::read, output) && open_existing(patch_path, open_mode::read, patch) &&
           same_file(output, patch);
}

std::string patch_folder(const std::string& patch_path) {
    const std::string folder = folder_of(patch_path);
    // A patch in the root folder: the folder is the root, which can be flushed, not the empty
    // text that folder_of gives.
    return folder.empty() ? patch_path.substr(0, 1) : folder;
}

int rebuild_map_file(std::string patch_path, std::string maps_path) {
    return rebuild_map_file(storage{}, std::move(patch_path), std::move(maps_path));
}

int rebuild_map_file(const storage& where, std::string patch_path, std::string maps_path) {
    try {
        if (marker_blocks_rebuild(where, patch_path, maps_path)) return marker_blocked;
        rebuild_run run{where, maps_path, {}};
        return rebuild_at_depth(run, patch_path, 0);
    } catch (const std::bad_alloc&) {
        return out_of_memory;
    }
}
