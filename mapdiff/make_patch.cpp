#include "mapdiff/make_patch.h"

#include <cstdio>
#include <vector>

#include "common/file_system.h"
#include "common/path_text.h"
#include "common/storage.h"
#include "common/unique_path.h"
#include "mapdiff/map_table.h"
#include "mapdiff/patch_plan.h"
#include "mapdiff/source_set.h"
#include "mapmend/file_md5.h"
#include "mapmend/rebuild.h"

namespace {

constexpr std::uint64_t largest_map = (std::uint64_t{1} << 31) - 1;  // positions are signed 32-bit
constexpr std::size_t compare_window = std::size_t{1} << 20;

make_outcome failed(const std::string& error) { return {error, {}}; }

std::string format(const char* pattern, unsigned long long a, unsigned long long b = 0) {
    char text[64];
    std::snprintf(text, sizeof text, pattern, a, b);
    return text;
}

std::string read_map(const std::string& path, std::vector<unsigned char>& bytes, std::vector<table_entry>& table) {
    open_file file;
    std::uint64_t size = 0;
    if (!open_existing(path, open_mode::read, file) || !file_size(file, size))
        return "Error: Cannot read the map file " + path + ".";
    if (size > largest_map) return "Error: " + path + " is larger than a map file can be (2 GiB).";
    bytes.resize(static_cast<std::size_t>(size));
    if (read_at(file, 0, bytes.data(), bytes.size()) != bytes.size()) return "Error: Cannot read the map file " + path + ".";
    switch (read_map_table(bytes.data(), bytes.size(), table)) {
        case table_reading::ok: break;
        case table_reading::no_magic: return "Error: " + path + " is not a map data file (no magic).";
        case table_reading::damaged: return "Error: " + path + " is not a map data file (its table runs past its end).";
    }
    for (std::size_t i = 0; i < table.size(); ++i) {
        if (table[i].reference_found)
            return "Error: Entry " + std::to_string(i) + " of " + path +
                   " holds bytes behind its name that a rebuild reads as a source reference; no patch can rebuild it.";
    }
    return {};
}

bool equals_file(const std::vector<unsigned char>& bytes, const std::string& path) {
    open_file file;
    std::uint64_t size = 0;
    if (!open_existing(path, open_mode::read, file) || !file_size(file, size) || size != bytes.size()) return false;
    std::vector<unsigned char> window(compare_window);
    for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t piece = std::min(compare_window, bytes.size() - at);
        if (read_at(file, at, window.data(), piece) != piece) return false;
        if (!std::equal(window.begin(), window.begin() + static_cast<std::ptrdiff_t>(piece), bytes.begin() + static_cast<std::ptrdiff_t>(at)))
            return false;
        at += piece;
    }
    return true;
}

bool write_new_file(const std::string& path, const std::vector<unsigned char>& bytes) {
    open_file file;
    if (!create_new_file(path, file)) return false;
    if (!write_at(file, 0, bytes.data(), bytes.size())) {
        close_file(file);
        delete_file(path);
        return false;
    }
    return true;
}

// Rebuilds the written patch in memory as an installer's mapmend would, the patch and its
// patch-folder sources in one folder, the stock sources in the maps folder, and compares the
// result with the map file.
std::string check_rebuild(const std::string& written, const std::string& patch_name, const std::vector<patch_source>& sources,
                          const std::string& map_file) {
    memory_files world;
    for (const patch_source& source : sources)
        world.on_disk[memory_path((source.in_patch_folder ? "mods/" : "maps/") + source.name)] = source.path;
    world.on_disk[memory_path("mods/" + patch_name)] = written;
    const int result = rebuild_map_file(storage{&world}, "mods/" + patch_name, "maps\\");
    if (result != rebuilt)
        return "Error: The patch does not rebuild (rebuild result " + std::to_string(result) + "); nothing was written.";
    const auto output = world.files.find(memory_path(map_file_path("mods/" + patch_name)));
    if (output == world.files.end() || !equals_file(output->second, map_file))
        return "Error: The patch rebuilds a file that differs from " + map_file + "; nothing was written.";
    return {};
}

std::string summary_of(const make_settings& settings, const std::vector<table_entry>& table, const source_set& set,
                       const patch_plan& plan, std::uint64_t nonzero, std::uint64_t size, const std::string& digest) {
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
    for (const skipped_source& skipped : set.skipped) text += "skipped " + skipped.name + ": " + skipped.reason + "\n";
    char share[32];
    std::snprintf(share, sizeof share, "%.1f%%", size == 0 ? 0.0 : 100.0 * static_cast<double>(nonzero) / static_cast<double>(size));
    text += std::string(share) + format(" of the patch's %llu bytes are not zero\n", size);
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
    if (path_exists(settings.patch_path) && !settings.force)
        return failed("Error: " + settings.patch_path + " already exists (--force replaces it).");
    if (!is_directory(settings.maps_path)) return failed("Error: Maps path not found: " + settings.maps_path + ".");
    if (!settings.beside.empty() && !is_directory(settings.beside))
        return failed("Error: Folder not found: " + settings.beside + ".");

    std::vector<unsigned char> bytes;
    std::vector<table_entry> table;
    if (std::string error = read_map(settings.map_file, bytes, table); !error.empty()) return failed(error);
    const std::string digest = file_md5(settings.map_file);
    if (digest.empty()) return failed("Error: Cannot read the map file " + settings.map_file + ".");

    // Neither the map nor what stands at the patch's own map file path can be a source, and
    // the patch may not take the place of a source or of the map.
    const std::vector<std::string> excluded{settings.map_file, map_file_path(settings.patch_path)};
    source_set set;
    if (std::string error = gather_sources(settings.maps_path, settings.beside, excluded, set, meter); !error.empty())
        return failed(error);
    if (path_exists(settings.patch_path)) {
        open_file existing, other;
        open_existing(settings.patch_path, open_mode::read, existing);
        bool taken = existing.is_open() && open_existing(settings.map_file, open_mode::read, other) && same_file(existing, other);
        for (const patch_source& source : set.sources)
            taken = taken || (existing.is_open() && open_existing(source.path, open_mode::read, other) && same_file(existing, other));
        if (taken) return failed("Error: " + settings.patch_path + " is the map file or one of its sources.");
    }

    patch_plan plan;
    if (!plan_patch(storage{}, bytes, table, set.sources, plan, meter)) return failed("Error: A source could not be read.");
    std::uint64_t nonzero = 0;
    for (const unsigned char b : bytes) nonzero += b != 0;
    const std::uint64_t size = bytes.size();

    const std::string written = unique_path(settings.patch_path + ".partial");
    if (!write_new_file(written, bytes)) return failed("Error: Cannot write " + written + ".");
    std::vector<unsigned char>().swap(bytes);  // the check reads the written file instead

    start_stage(meter, "rebuilding in memory", 1);
    if (std::string error = check_rebuild(written, file_name(settings.patch_path), set.sources, settings.map_file);
        !error.empty()) {
        delete_file(written);
        return failed(error);
    }
    const bool placed = settings.force ? replace_file(written, settings.patch_path)
                                       : !path_exists(settings.patch_path) && move_file(written, settings.patch_path);
    if (!placed) {
        delete_file(written);
        return failed("Error: Cannot write " + settings.patch_path + ".");
    }
    end_progress(meter);
    return {{}, summary_of(settings, table, set, plan, nonzero, size, digest)};
}
