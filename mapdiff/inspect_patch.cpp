#include "mapdiff/inspect_patch.h"

#include <algorithm>
#include <map>
#include <set>
#include <vector>

#include "common/file_system.h"
#include "common/path_text.h"
#include "common/storage_memory.h"
#include "digest/md5.h"
#include "format/patch_file.h"
#include "format/rebuild.h"
#include "format/rebuild_result.h"
#include "format/source_groups.h"
#include "mapmend/arguments.h"
#include "mapmend/result_code.h"
#include "mapmend/run_sequence.h"

namespace {

// Deeper nesting is not indented further, so that the listing of a chain of patches grows
// with its length, not with its square.
constexpr int deepest_indent = 8;

std::string indent_of(int depth) { return std::string(static_cast<std::size_t>(4 * std::min(depth, deepest_indent)), ' '); }

// A patch being listed. Its groups are listed one at a time, so that the sibling patch a group
// has rebuilt first is listed right behind that group, as the rebuild meets it.
struct listed_patch {
    std::string path;
    int depth = 0;
    std::vector<patch_entry> entries;  // in the order the rebuild applies them
    std::uint64_t size = 0;
    std::size_t next = 0;  // the first entry of the group to list next
};

// A map file that the rebuild makes: it is there from its copy on.
struct made_map {
    std::string patch_name;
    bool finished = false;
};

// The listing of a patch and of the sibling patches its rebuild meets, each listed once. The
// patches whose listing is under way are held in `chain`, not on the call stack.
struct listing {
    const storage& where;
    std::string maps_path;
    std::vector<listed_patch> chain;        // each patch above the first is rebuilt first for the one below
    std::map<std::string, made_map> made;   // by memory key
    std::vector<std::string> siblings;      // in the order the rebuild meets them
    std::string text;
};

std::string made_key(const listing& list, const std::string& path) { return memory_key(*list.where.memory, path); }

// Reads a patch's table as the rebuild does. The scan zeroes what it reads, so it runs on a copy,
// let go once the table is read. Returns what keeps the table from being read, or "".
std::string read_table(const storage& where, listed_patch& patch) {
    stored_file original;
    memory_files scratch;
    std::vector<unsigned char>& copy = scratch.files["copy"];
    if (!open_stored_file(where, patch.path, open_mode::read, original) || !file_size(original, patch.size) ||
        patch.size > copy.max_size())
        return "cannot read " + patch.path;
    copy.resize(static_cast<std::size_t>(patch.size));
    stored_file file;
    if (read_at(original, 0, copy.data(), copy.size()) != copy.size() ||
        !open_stored_file(storage{&scratch}, "copy", open_mode::read_write, file))
        return "cannot read " + patch.path;
    if (!has_patch_magic(file)) return file_name(patch.path) + ": not a patch file (no magic)";
    if (scan_patch_table(file, patch.size, patch.entries) != scan_result::ok) return file_name(patch.path) + ": damaged table";
    sort_by_source(patch.entries);
    return {};
}

void enter(listing& list, const std::string& patch_path, int depth) {
    made_map& map = list.made[made_key(list, map_file_path(patch_path))];
    map.patch_name = file_name(patch_path);
    listed_patch patch;
    patch.path = patch_path;
    patch.depth = depth;
    const std::string problem = read_table(list.where, patch);
    if (!problem.empty()) {
        list.text += indent_of(depth) + problem + "\n";
        map.finished = true;
        return;
    }
    list.text += indent_of(depth) + file_name(patch_path) + ": " + std::to_string(patch.entries.size()) + " chunks from sources\n";
    list.chain.push_back(std::move(patch));
}

// The end of a group's line when its source is missing: whether the rebuild can make it first
// from its sibling patch, which is then listed next.
std::string missing_source_state(listing& list, const listed_patch& patch, const std::string& sibling,
                                 std::string& rebuilt_first) {
    if (!stored_file_exists(list.where, sibling)) return ": missing, and no " + file_name(sibling) + " beside the patch";
    // The listing stops where the rebuild does.
    if (patch.depth >= rebuild_nesting_limit)
        return ": missing, and mapmend rebuilds no more than " + std::to_string(rebuild_nesting_limit) +
               " nested patches to make it from " + file_name(sibling);
    const std::string sibling_map = map_file_path(sibling);
    if (list.made.count(made_key(list, sibling_map)) != 0 || stored_file_exists(list.where, sibling_map))
        return ": missing, and " + file_name(sibling_map) + " beside the patch is in the way of its rebuild";
    list.siblings.push_back(sibling);
    rebuilt_first = sibling;
    return ": missing, rebuilt first from " + file_name(sibling);
}

// How a group's source stands when the rebuild comes to it, as the end of its line. Names the
// sibling patch to list next when the source is rebuilt first from it.
std::string source_state(listing& list, const listed_patch& patch, const patch_entry& first, std::uint64_t needed,
                         std::string& rebuilt_first) {
    const std::string folder = patch_folder(patch.path);
    const std::string path = source_path(first, folder, list.maps_path);
    const auto made = list.made.find(made_key(list, path));
    if (made != list.made.end()) {
        return made->second.finished ? ": the map rebuilt before from " + made->second.patch_name
                                     : ": the map being rebuilt from " + made->second.patch_name + ", read as it stands";
    }
    stored_file source;
    std::uint64_t source_size = 0;
    if (open_stored_file(list.where, path, open_mode::read, source) && file_size(source, source_size)) {
        if (source_size >= needed) return {};
        return ": too short, " + std::to_string(source_size) + " bytes where " + std::to_string(needed) + " are read";
    }
    return missing_source_state(list, patch, sibling_patch_path(folder, first.source_name), rebuilt_first);
}

// What a group's entries add up to: the entries from `first` to `end`, as the rebuild forms them.
struct group_summary {
    std::size_t first = 0;
    std::size_t end = 0;
    std::uint64_t bytes = 0;       // in its chunks
    std::uint64_t needed = 0;      // the length of source that its chunks read
    std::size_t other_folder = 0;  // entries that name the other folder than the first one does
    bool damaged = false;          // an entry fails the rebuild's checks
};

group_summary summarize_group(const listed_patch& patch, std::size_t first) {
    group_summary group;
    group.first = first;
    group.end = source_group_end(patch.entries, first);
    for (std::size_t k = first; k < group.end; ++k) {
        const patch_entry& entry = patch.entries[k];
        group.bytes += entry.chunk_size;
        if (check_patch_entry(entry, patch.size) != entry_check::ok) group.damaged = true;
        if (entry.chunk_size > 0)
            group.needed = std::max<std::uint64_t>(
                group.needed, std::uint64_t{static_cast<std::uint32_t>(entry.source_offset)} + entry.chunk_size);
        if (entry.in_patch_folder != patch.entries[first].in_patch_folder) ++group.other_folder;
    }
    return group;
}

// The rebuild opens a group's source once, in the folder of the group's first entry: the line
// that says so when other entries of the group name the other folder.
std::string other_folder_note(const patch_entry& first, const group_summary& group) {
    const std::size_t count = group.end - group.first;
    return std::to_string(group.other_folder) + (group.other_folder == 1 ? " entry names it " : " entries name it ") +
           (first.in_patch_folder ? "in the maps folder" : "beside the patch") + ": mapmend reads all " +
           std::to_string(count) + (first.in_patch_folder ? " from beside the patch\n" : " from the maps folder\n");
}

// Lists the next group of the patch on top of the chain, as the rebuild forms it. Returns the
// sibling patch to list next, or "".
std::string list_group(listing& list) {
    listed_patch& patch = list.chain.back();
    const group_summary group = summarize_group(patch, patch.next);
    patch.next = group.end;
    const patch_entry& first = patch.entries[group.first];
    const std::size_t count = group.end - group.first;

    const std::string indent = indent_of(patch.depth) + "  ";
    const std::string where = first.in_patch_folder ? "beside the patch" : "maps folder";
    std::string rebuilt_first;
    list.text += indent + std::to_string(count) + (count == 1 ? " chunk, " : " chunks, ") + std::to_string(group.bytes) +
                 " bytes from " + first.source_name + " (" + where + ")" +
                 (group.damaged ? ": an entry is damaged or its name unsafe"
                                : source_state(list, patch, first, group.needed, rebuilt_first)) +
                 "\n";
    if (group.other_folder > 0) list.text += indent + "  " + other_folder_note(first, group);
    return rebuilt_first;
}

listing list_sources(const storage& where, const std::string& patch_path, const std::string& maps_path) {
    listing list{where, maps_path, {}, {}, {}, {}};
    enter(list, patch_path, 0);
    while (!list.chain.empty()) {
        const listed_patch& patch = list.chain.back();
        if (patch.next == patch.entries.size()) {
            list.made[made_key(list, map_file_path(patch.path))].finished = true;
            list.chain.pop_back();
            continue;
        }
        const int depth = patch.depth;
        const std::string sibling = list_group(list);
        if (!sibling.empty()) enter(list, sibling, depth + 1);
    }
    return list;
}

// The line that says how mapmend's move of an earlier map file aside went, or "".
std::string moved_line(const run_record& record) {
    if (record.moved_from.empty()) return {};
    const std::string earlier = file_name(record.moved_from), backup = file_name(record.moved_to);
    return record.moved ? "mapmend would first move the earlier " + earlier + " aside to " + backup + "\n"
                        : "the earlier " + earlier + " could not be moved aside to " + backup + "\n";
}

}  // namespace

inspect_outcome inspect_patch(const std::string& maps_path, const std::string& patch_path) {
    // mapmend's own reading of its two paths, and its verdict on them.
    const argument_reading reading = read_arguments({maps_path, patch_path});
    if (reading.outcome == argument_outcome::stop) return {false, "mapmend would fail: " + result_message(reading.code) + "\n"};
    memory_files memory = memory_over_the_disk();
    return inspect_run(memory, reading.settings);
}

memory_files memory_over_the_disk() {
    memory_files memory;
    memory.disk_below = true;
    memory.disk_rules = true;
    return memory;
}

inspect_outcome inspect_run(memory_files& memory, const run_settings& settings) {
    const storage where{&memory};
    // Listed as the rebuild will meet the sources: an earlier map that the run moves aside is
    // the map being rebuilt there, whether it stands or not.
    const listing list = list_sources(where, settings.patch_path, settings.maps_path);
    std::set<std::string> before;
    for (const auto& held : memory.files) before.insert(held.first);

    run_record record;
    const result_code code = run_jobs(where, settings, record);
    if (record.map_file_is_the_patch) return {false, "mapmend would fail: the map file path names the patch itself\n"};
    inspect_outcome outcome;
    outcome.text = moved_line(record) + list.text;
    if (code != result_code::all_ok) {
        outcome.text += "mapmend would fail: " +
                        (record.rebuild_ran ? rebuild_result_text(record.rebuild) : result_message(code)) + "\n";
        return outcome;
    }
    for (const std::string& sibling : list.siblings) {
        const std::string key = memory_key(memory, map_file_path(sibling));
        if (memory.files.count(key) != 0 && before.count(key) == 0)
            outcome.text += "also rebuilt: " + file_name(map_file_path(sibling)) + "\n";
    }
    const std::string output = map_file_path(settings.patch_path);
    outcome.would_rebuild = true;
    const std::vector<unsigned char>& rebuilt_map = memory.files.at(memory_key(memory, output));
    outcome.text += "mapmend would rebuild " + file_name(output) + ", md5 " +
                    md5_text_of(rebuilt_map.data(), rebuilt_map.size()) + "\n";
    return outcome;
}

inspect_outcome inspect_rebuild(memory_files& memory, const std::string& maps_path, const std::string& patch_path) {
    run_settings settings;
    settings.maps_path = maps_path;
    settings.patch_path = patch_path;
    return inspect_run(memory, settings);
}
