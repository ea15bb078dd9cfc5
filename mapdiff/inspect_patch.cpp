#include "mapdiff/inspect_patch.h"

#include <algorithm>
#include <set>
#include <vector>

#include "common/path_text.h"
#include "common/storage.h"
#include "digest/md5.h"
#include "format/patch_file.h"
#include "format/rebuild.h"
#include "mapmend/arguments.h"
#include "mapmend/result_code.h"

namespace {

std::string digest_of(const std::vector<unsigned char>& bytes) {
    md5_context context;
    md5_init(context);
    for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t piece = std::min<std::size_t>(bytes.size() - at, std::size_t{1} << 30);
        md5_update(context, bytes.data() + at, static_cast<std::uint32_t>(piece));
        at += piece;
    }
    md5_final(context);
    return md5_digest_text(context.digest);
}

// Lists the groups of one patch as the rebuild forms them, and the sibling patches it would
// rebuild first, depth first. Reads through `world`, which holds nothing of its own.
void describe(const storage& world, const std::string& patch_path, const std::string& maps_path, int depth,
              std::set<std::string>& visited, std::string& text) {
    const std::string indent(static_cast<std::size_t>(2 * depth), ' ');
    if (!visited.insert(memory_path(patch_path)).second) {
        text += indent + "(" + file_name(patch_path) + " again: its map file is made once)\n";
        return;
    }
    // The scan zeroes what it reads: it runs on a copy.
    stored_file original;
    std::uint64_t size = 0;
    memory_files scratch;
    std::vector<unsigned char>& copy = scratch.files["copy"];
    if (!open_stored_file(world, patch_path, open_mode::read, original) || !file_size(original, size) ||
        size > copy.max_size()) {
        text += indent + "cannot read " + patch_path + "\n";
        return;
    }
    copy.resize(static_cast<std::size_t>(size));
    stored_file file;
    if (read_at(original, 0, copy.data(), copy.size()) != copy.size() ||
        !open_stored_file(storage{&scratch}, "copy", open_mode::read_write, file)) {
        text += indent + "cannot read " + patch_path + "\n";
        return;
    }
    if (!has_patch_magic(file)) {
        text += indent + file_name(patch_path) + ": not a patch file (no magic)\n";
        return;
    }
    std::vector<patch_entry> entries;
    if (scan_patch_table(file, size, entries) != scan_result::ok) {
        text += indent + file_name(patch_path) + ": damaged table\n";
        return;
    }
    std::stable_sort(entries.begin(), entries.end(), patch_entry_order);
    const std::string folder = patch_folder(patch_path);
    text += indent + file_name(patch_path) + ": " + std::to_string(entries.size()) + " chunks from sources\n";
    for (std::size_t j = 0; j < entries.size();) {
        const patch_entry& first = entries[j];
        std::size_t end = j;
        std::uint64_t bytes = 0, needed = 0;
        bool damaged = false;
        for (; end < entries.size() && entries[end].source_name == first.source_name; ++end) {
            bytes += entries[end].chunk_size;
            if (check_patch_entry(entries[end], size) != entry_check::ok) damaged = true;
            if (entries[end].chunk_size > 0)
                needed = std::max<std::uint64_t>(needed, std::uint64_t{static_cast<std::uint32_t>(entries[end].source_offset)} +
                                                             entries[end].chunk_size);
        }
        const std::string where = first.in_patch_folder ? "beside the patch" : "maps folder";
        const std::string source_path = (first.in_patch_folder ? folder : maps_path) + "\\" + first.source_name;
        text += indent + "  " + std::to_string(end - j) + (end - j == 1 ? " chunk, " : " chunks, ") + std::to_string(bytes) +
                " bytes from " + first.source_name + " (" + where + ")";
        if (damaged) text += ": an entry is damaged or its name unsafe";
        stored_file source;
        std::uint64_t source_size = 0;
        if (!damaged && open_stored_file(world, source_path, open_mode::read, source) && file_size(source, source_size)) {
            if (source_size < needed)
                text += ": too short, " + std::to_string(source_size) + " bytes where " + std::to_string(needed) + " are read";
            text += "\n";
        } else if (!damaged) {
            const std::string sibling = folder + "\\" + strip_extension(first.source_name) + ".qmp";
            if (stored_file_exists(world, sibling)) {
                text += ": missing, rebuilt first from " + file_name(sibling) + "\n";
                describe(world, sibling, maps_path, depth + 2, visited, text);
            } else {
                text += ": missing, and no " + file_name(sibling) + " beside the patch\n";
            }
        } else {
            text += "\n";
        }
        j = end;
    }
}

}  // namespace

std::string rebuild_failure_text(int result) {
    switch (result) {
        case not_a_patch: return "a patch file does not begin with the magic";
        case output_unavailable: return "a map file cannot be made: a file is in its place, or the copy failed";
        case source_missing: return "a source is missing and has no patch file beside the patch";
        case damaged_patch: return "a patch's table runs past its end, or a chunk lies outside the file";
        case unsafe_source: return "a source name could reach outside its folder";
        case source_unreadable: return "a source cannot be opened";
        case source_too_short: return "a source ends before the range an entry reads";
        case output_failed: return "reading or writing a map file failed";
        case nesting_too_deep: return "too long a chain of sources rebuilt from their own patch files";
        case out_of_memory: return "not enough memory";
        default: return "rebuild result " + std::to_string(result);
    }
}

inspect_outcome inspect_patch(const std::string& maps_path, const std::string& patch_path) {
    inspect_outcome outcome;
    // mapmend's own reading of its two paths, and its verdict on them.
    const argument_reading reading = read_arguments({maps_path, patch_path});
    if (reading.outcome == argument_outcome::stop) {
        outcome.text = "mapmend would fail: " + result_message(reading.code) + "\n";
        return outcome;
    }
    const run_settings& settings = reading.settings;

    memory_files world;
    world.disk_below = true;
    // mapmend moves an earlier map file aside before the rebuild.
    const std::string output = map_file_path(settings.patch_path);
    if (file_exists(output)) world.on_disk[memory_path(output)] = "";
    return inspect_rebuild(world, settings.maps_path, settings.patch_path);
}

inspect_outcome inspect_rebuild(memory_files& world, const std::string& maps_path, const std::string& patch_path) {
    inspect_outcome outcome;
    std::set<std::string> visited;
    describe(storage{&world}, patch_path, maps_path, 0, visited, outcome.text);

    const std::string output = map_file_path(patch_path);
    std::set<std::string> before;
    for (const auto& held : world.files) before.insert(held.first);
    const int result = rebuild_map_file(storage{&world}, patch_path, maps_path);
    if (result != rebuilt) {
        outcome.text += "mapmend would fail: " + rebuild_failure_text(result) + "\n";
        return outcome;
    }
    for (const auto& made : world.files) {
        if (made.first != memory_path(output) && before.count(made.first) == 0)
            outcome.text += "also rebuilt: " + made.first.substr(made.first.find_last_of('/') + 1) + "\n";
    }
    outcome.would_rebuild = true;
    outcome.text += "mapmend would rebuild " + file_name(output) + ", md5 " + digest_of(world.files.at(memory_path(output))) + "\n";
    return outcome;
}
