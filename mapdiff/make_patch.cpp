#include "mapdiff/make_patch.h"

#include <cstdio>
#include <vector>

#include "common/file_system.h"
#include "common/path_text.h"
#include "common/storage_memory.h"
#include "diff/install_check.h"
#include "diff/block_index.h"
#include "diff/patch_writer.h"
#include "diff/side_by_side.h"
#include "digest/md5.h"
#include "format/map_table.h"
#include "format/rebuild.h"
#include "format/rebuild_result.h"
#include "mapdiff/map_file.h"
#include "mapdiff/mod_names.h"
#include "mapdiff/output_file.h"
#include "mapdiff/source_set.h"

namespace {

make_outcome failed(const std::string& error) { return {error, {}}; }

std::string format(const char* pattern, unsigned long long a, unsigned long long b = 0) {
    char text[64];
    std::snprintf(text, sizeof text, pattern, a, b);
    return text;
}

bool is_same_file(const std::string& a, const std::string& b) {
    open_file first, second;
    return open_existing(a, open_mode::read, first) && open_existing(b, open_mode::read, second) && same_file(first, second);
}

// Rebuilds the patch at `partial_patch` in memory as an installer's mapmend would, the patch
// and its patch-folder sources in one folder, the stock sources in the maps folder, and compares
// the result with the map file.
std::string check_rebuild(const std::string& partial_patch, const std::string& patch_name,
                          const std::vector<patch_source>& sources, const std::string& map_file) {
    memory_files install;
    for (const patch_source& source : sources)
        install.on_disk[memory_path(installed_path(source.in_patch_folder, source.name))] = source.path;
    install.on_disk[memory_path(installed_path(true, patch_name))] = partial_patch;
    const installed_rebuild rebuild = rebuild_as_installed(install, patch_name, map_file);
    if (rebuild.result != rebuilt)
        return "Error: The patch does not rebuild (" + rebuild_result_text(rebuild.result) + "); nothing was written.";
    if (!rebuild.matches) return "Error: The patch rebuilds a file that differs from " + map_file + "; nothing was written.";
    return {};
}

struct made_patch {
    patch_plan plan;
    std::uint64_t nonzero = 0;
    std::uint64_t size = 0;
};

// Turns the copy of the map at `partial_patch` into the patch, checks its rebuild and puts it in
// place. The error line is empty on success; on failure the caller deletes `partial_patch`.
std::string write_checked_patch(const make_settings& settings, const std::string& partial_patch,
                                const std::vector<table_entry>& table, const source_set& set, made_patch& made,
                                progress& meter) {
    block_index index;
    const bool indexed = build_block_index(the_disk, set.sources, index, meter, settings.workers);
    if (!indexed || !write_patch_on_index(the_disk, partial_patch, table, set.sources, index,
                                          std::vector<bool>(set.sources.size(), true), made.plan, meter, settings.workers))
        return "Error: A source could not be read, or " + partial_patch + " written.";
    index = block_index{};  // the check's memory

    start_stage(meter, "rebuilding in memory", 1);
    // The patch is written through to the disk meanwhile, on a thread that only waits for the
    // disk, whatever the number of workers: place_file's own flush, whose result decides, then
    // finds little left to write. The bytes that are not zero are counted beside the check.
    bool counted = false;
    std::string error;
    run_workers(2, [&](std::size_t job) {
        if (job == 1) {
            flush_file(partial_patch);
            return;
        }
        run_pair(
            settings.workers,
            [&] { error = check_rebuild(partial_patch, file_name(settings.patch_path), set.sources, settings.map_file); },
            [&] { counted = count_nonzero(partial_patch, made.nonzero, made.size); });
    });
    if (!counted) return "Error: Cannot read " + partial_patch + ".";
    if (!error.empty()) return error;
    if (!place_file(partial_patch, settings.patch_path, settings.force)) return "Error: Cannot write " + settings.patch_path + ".";
    return {};
}

std::string summary_of(const make_settings& settings, const std::vector<table_entry>& table, const source_set& set,
                       const made_patch& made, const std::string& digest) {
    const patch_plan& plan = made.plan;
    std::string text = format("%llu of %llu entries referenced\n", plan.references.size(), table.size());
    std::vector<std::string> beside_needed;
    for (std::size_t s = 0; s < set.sources.size(); ++s) {
        if (plan.chunks_from[s] == 0) continue;
        const patch_source& source = set.sources[s];
        text += format("%12llu bytes in %6llu chunk", plan.bytes_from[s], plan.chunks_from[s]) +
                (plan.chunks_from[s] == 1 ? "  from " : "s from ") + source.name +
                (source.in_patch_folder ? " (beside the patch)\n" : " (maps folder)\n");
        if (source.in_patch_folder) beside_needed.push_back(source.name);
    }
    text += skipped_lines(set);
    text += stock_gap_line(set);
    char share[32];
    std::snprintf(share, sizeof share, "%.1f%%", share_not_zero(made.nonzero, made.size));
    text += std::string(share) + format(" of the patch's %llu bytes are not zero\n", made.size);
    text += format("%llu map", beside_needed.size()) + (beside_needed.size() == 1 ? "" : "s") + " needed beside the patch";
    for (std::size_t k = 0; k < beside_needed.size(); ++k) text += (k == 0 ? ": " : ", ") + beside_needed[k];
    text += "\n" + digest + " md5 of " + file_name(settings.map_file) + "\n";
    text += "mapmend --check-stock --check-rebuilt=" + digest + " --delete-qmp \"" + settings.maps_path + "\" \"" +
            settings.patch_path + "\"\n";
    return text;
}

}  // namespace

make_outcome make_patch(const make_settings& settings, progress& meter) {
    if (is_directory(settings.patch_path)) return failed("Error: " + settings.patch_path + " is a folder.");
    // mapmend writes the map beside its patch under the patch's name with ".qmw".
    if (to_lower(map_file_path(settings.patch_path)) == to_lower(settings.patch_path))
        return failed("Error: " + settings.patch_path + " ends in .qmw, the name of the map mapmend rebuilds from it.");
    if (std::string error = refuse_existing(settings.patch_path, settings.force); !error.empty()) return failed(error);
    // The map mapmend makes from the patch takes its name.
    if (std::string error = map_name_error(map_file_path(settings.patch_path)); !error.empty()) return failed(error);
    if (!is_directory(settings.maps_path)) return failed("Error: Maps path not found: " + settings.maps_path + ".");
    if (!settings.beside.empty() && !is_directory(settings.beside))
        return failed("Error: Folder not found: " + settings.beside + ".");

    // Its header and table only: the patch is made from a copy of the file.
    std::uint64_t map_size = 0;
    std::vector<table_entry> table;
    if (std::string error = read_map_file(settings.map_file, map_size, table); !error.empty()) return failed(error);

    // Neither the map nor what stands at the patch's own map file path can be a source, and
    // the patch may not take the place of a source or of the map.
    const std::vector<std::string> excluded{settings.map_file, map_file_path(settings.patch_path)};
    source_set set;
    std::string error;
    // The copy of the map, and its MD5 on the way, run beside the stock check, which keeps the
    // lanes of one core busy.
    const std::string partial_patch = claim_partial_name(settings.patch_path);
    bool copied = false;
    std::string digest;
    run_pair(
        settings.workers,
        [&] { error = gather_sources(settings.maps_path, settings.beside, excluded, set, meter, settings.workers); },
        [&] {
            md5_context md5;
            md5_init(md5);
            copied = copy_to_new_file(settings.map_file, partial_patch, [&](const unsigned char* bytes, std::size_t size) {
                md5_update(md5, bytes, static_cast<std::uint32_t>(size));
            });
            md5_final(md5);
            digest = md5_digest_text(md5.digest);
        });
    if (error.empty() && !settings.allow_stock_gaps) error = stock_gap_error(set, settings.maps_path);
    // Sources are map files (".qmw"), which a patch path never names, but the map file may have
    // another name. The files are closed at once: on Windows an open file cannot be replaced.
    if (error.empty() && is_same_file(settings.patch_path, settings.map_file))
        error = "Error: " + settings.patch_path + " is the map file.";
    if (error.empty() && !copied) error = "Error: Cannot write " + partial_patch + ".";
    made_patch made;
    if (error.empty()) error = write_checked_patch(settings, partial_patch, table, set, made, meter);
    if (!error.empty()) {
        delete_file(partial_patch);
        return failed(error);
    }
    return {{}, summary_of(settings, table, set, made, digest)};
}
