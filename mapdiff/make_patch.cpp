#include "mapdiff/make_patch.h"

#include <cstdio>
#include <functional>
#include <system_error>
#include <thread>
#include <vector>

#include "common/file_system.h"
#include "common/path_text.h"
#include "common/storage_memory.h"
#include "diff/patch_plan.h"
#include "diff/block_index.h"
#include "digest/md5.h"
#include "format/map_table.h"
#include "format/rebuild.h"
#include "format/rebuild_result.h"
#include "mapdiff/partial_path.h"
#include "mapdiff/source_set.h"

namespace {

constexpr std::uint64_t largest_map = (std::uint64_t{1} << 31) - 1;  // positions are signed 32-bit
constexpr std::size_t compare_window = std::size_t{1} << 20;

make_outcome failed(const std::string& error) { return {error, {}}; }

std::string format(const char* pattern, unsigned long long a, unsigned long long b = 0) {
    char text[64];
    std::snprintf(text, sizeof text, pattern, a, b);
    return text;
}

// Reads the map's header and table, not its chunks: the patch is made from a copy of the file.
std::string read_map(const std::string& path, std::vector<table_entry>& table) {
    open_file file;
    std::uint64_t size = 0;
    if (!open_existing(path, open_mode::read, file) || !file_size(file, size))
        return "Error: Cannot read the map file " + path + ".";
    if (size > largest_map) return "Error: " + path + " is larger than a map file can be (2 GiB).";
    unsigned char header[64];
    const std::size_t header_size = read_at(file, 0, header, sizeof header);
    std::vector<unsigned char> bytes(table_bytes_needed(header, header_size, size));
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

// Not the system's file copy: on Windows that would carry a read-only map's attribute over to
// the patch, which is then written in place. The map's MD5 is taken on the way, so the map is
// read once for both. The error line is empty on success.
std::string copy_with_md5(const std::string& from, const std::string& to, std::string& digest) {
    open_file source, target;
    std::uint64_t size = 0;
    if (!open_existing(from, open_mode::read, source) || !file_size(source, size))
        return "Error: Cannot read the map file " + from + ".";
    if (!create_new_file(to, target)) return "Error: Cannot write " + to + ".";
    md5_context md5;
    md5_init(md5);
    std::vector<unsigned char> window(compare_window);
    for (std::uint64_t at = 0; at < size;) {
        const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(compare_window, size - at));
        const bool read = read_at(source, at, window.data(), piece) == piece;
        if (!read || !write_at(target, at, window.data(), piece)) {
            close_file(target);
            delete_file(to);
            return read ? "Error: Cannot write " + to + "." : "Error: Cannot read the map file " + from + ".";
        }
        md5_update(md5, window.data(), static_cast<std::uint32_t>(piece));
        at += piece;
    }
    md5_final(md5);
    digest = md5_digest_text(md5.digest);
    return {};
}

// Runs `job` on a thread of its own, or at once when the system refuses one; `join` waits.
struct beside_job {
    std::thread thread;
    explicit beside_job(const std::function<void()>& job) {
        try {
            thread = std::thread(job);
        } catch (const std::system_error&) {
            job();
        }
    }
    void join() {
        if (thread.joinable()) thread.join();
    }
    ~beside_job() { join(); }
};

bool count_nonzero(const std::string& path, std::uint64_t& nonzero, std::uint64_t& size) {
    open_file file;
    if (!open_existing(path, open_mode::read, file) || !file_size(file, size)) return false;
    std::vector<unsigned char> window(compare_window);
    nonzero = 0;
    for (std::uint64_t at = 0; at < size;) {
        const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(compare_window, size - at));
        if (read_at(file, at, window.data(), piece) != piece) return false;
        for (std::size_t k = 0; k < piece; ++k) nonzero += window[k] != 0;
        at += piece;
    }
    return true;
}

bool is_same_file(const std::string& a, const std::string& b) {
    open_file first, second;
    return open_existing(a, open_mode::read, first) && open_existing(b, open_mode::read, second) && same_file(first, second);
}

// Rebuilds the written patch in memory as an installer's mapmend would, the patch and its
// patch-folder sources in one folder, the stock sources in the maps folder, and compares the
// result with the map file; memory holds only the pages of the result that differ from it.
std::string check_rebuild(const std::string& written, const std::string& patch_name, const std::vector<patch_source>& sources,
                          const std::string& map_file) {
    memory_files world;
    for (const patch_source& source : sources)
        world.on_disk[memory_path(path_in(source.in_patch_folder ? "mods" : "maps", source.name))] = source.path;
    const std::string patch = path_in("mods", patch_name);
    world.on_disk[memory_path(patch)] = written;
    const std::string output = memory_path(map_file_path(patch));
    world.compare_with[output] = map_file;
    // The maps path as mapmend's argument reading hands it on, with its trailing backslash.
    const int result = rebuild_map_file(storage{&world}, patch, "maps\\");
    if (result != rebuilt)
        return "Error: The patch does not rebuild (" + rebuild_result_text(result) + "); nothing was written.";
    if (!memory_file_matches(world, output))
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

std::string already_exists_error(const std::string& path) { return "Error: " + path + " already exists (--force replaces it)."; }

make_outcome make_patch(const make_settings& settings, progress& meter) {
    if (is_directory(settings.patch_path)) return failed("Error: " + settings.patch_path + " is a folder.");
    // mapmend writes the map beside its patch under the patch's name with ".qmw".
    if (to_lower(map_file_path(settings.patch_path)) == to_lower(settings.patch_path))
        return failed("Error: " + settings.patch_path + " ends in .qmw, the name of the map mapmend rebuilds from it.");
    if (path_exists(settings.patch_path) && !settings.force) return failed(already_exists_error(settings.patch_path));
    if (!is_directory(settings.maps_path)) return failed("Error: Maps path not found: " + settings.maps_path + ".");
    if (!settings.beside.empty() && !is_directory(settings.beside))
        return failed("Error: Folder not found: " + settings.beside + ".");

    std::vector<table_entry> table;
    if (std::string error = read_map(settings.map_file, table); !error.empty()) return failed(error);

    // Neither the map nor what stands at the patch's own map file path can be a source, and
    // the patch may not take the place of a source or of the map.
    const std::vector<std::string> excluded{settings.map_file, map_file_path(settings.patch_path)};
    source_set set;
    if (std::string error = gather_sources(settings.maps_path, settings.beside, excluded, set, meter); !error.empty())
        return failed(error);
    // Sources are map files (".qmw"), which a patch path never names; the map file may have
    // another name.
    // Closed at once: on Windows an open file cannot be replaced.
    if (is_same_file(settings.patch_path, settings.map_file)) return failed("Error: " + settings.patch_path + " is the map file.");

    const std::string written = partial_path(settings.patch_path);
    // The copy and the map's MD5 run beside the index of the sources.
    std::string digest, copy_error;
    beside_job copy([&] { copy_error = copy_with_md5(settings.map_file, written, digest); });
    std::vector<indexed_source> indexed;
    for (const patch_source& source : set.sources) indexed.push_back({source.path, source.size});
    block_index index;
    const bool index_built = build_block_index(storage{}, indexed, index, meter, settings.workers);
    copy.join();
    if (!copy_error.empty()) return failed(copy_error);
    patch_plan plan;
    if (!index_built || !write_patch_on_index(storage{}, written, table, set.sources, index,
                                              std::vector<bool>(set.sources.size(), true), plan, meter, settings.workers)) {
        delete_file(written);
        return failed("Error: A source could not be read, or " + written + " written.");
    }
    index = block_index{};

    start_stage(meter, "rebuilding in memory", 1);
    // The patch's bytes that are not zero are counted beside the check.
    std::uint64_t nonzero = 0, size = 0;
    bool counted = false;
    beside_job count([&] { counted = count_nonzero(written, nonzero, size); });
    std::string check_error = check_rebuild(written, file_name(settings.patch_path), set.sources, settings.map_file);
    count.join();
    if (check_error.empty() && !counted) check_error = "Error: Cannot read " + written + ".";
    if (!check_error.empty()) {
        delete_file(written);
        return failed(check_error);
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
