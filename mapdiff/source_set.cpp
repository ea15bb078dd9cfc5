#include "mapdiff/source_set.h"

#include <algorithm>

#include "common/file_system.h"
#include "common/path_text.h"
#include "mapmend/patch_file.h"
#include "mapmend/stock_check.h"

namespace {

constexpr std::size_t longest_source_name = 255;

constexpr std::size_t largest_source_table = std::size_t{16} << 20;  // about 54,000 entries

bool is_any_of(const open_file& file, const std::vector<std::string>& paths) {
    for (const std::string& path : paths) {
        open_file other;
        if (open_existing(path, open_mode::read, other) && same_file(file, other)) return true;
    }
    return false;
}

// Opens a candidate source and reads its size and table; false when it cannot be read.
bool read_source(const std::string& path, patch_source& source) {
    open_file file;
    if (!open_existing(path, open_mode::read, file) || !file_size(file, source.size)) return false;
    std::vector<unsigned char> head(64);
    head.resize(read_at(file, 0, head.data(), head.size()));
    source.path = path;
    // A source without a readable table is still bytes to draw on, only without named entries;
    // so is one whose header asks for more entries than any map has (its bytes are no table, and
    // reading them as one would take memory for nothing).
    const std::size_t needed = table_bytes_needed(head.data(), head.size(), source.size);
    if (needed > largest_source_table) return true;
    std::vector<unsigned char> table(needed);
    if (read_at(file, 0, table.data(), table.size()) != table.size()) return false;
    if (read_map_table(table.data(), table.size(), source.table) != table_reading::ok) source.table.clear();
    return true;
}

}  // namespace

std::string path_in(const std::string& folder, const std::string& name) {
    if (folder.empty() || is_path_separator(folder.back())) return folder + name;
    return folder + "/" + name;
}

std::string gather_sources(const std::string& maps_path, const std::string& beside,
                           const std::vector<std::string>& excluded, source_set& set, progress& meter) {
    set = source_set{};
    std::vector<std::string> stock_names;
    start_stage(meter, "checking stock maps", stock_map_count);
    // Hashed side by side first: one stock set is a gigabyte.
    std::vector<std::string> stock_paths;
    for (const stock_map& row : stock_maps()) stock_paths.push_back(path_in(maps_path, row.name));
    const std::vector<file_digest> digests = file_md5_lanes(stock_paths);
    std::uint64_t rows_done = 0;
    for (const stock_map& row : stock_maps()) {
        const std::string& path = stock_paths[rows_done];
        const std::string& digest = digests[rows_done].digest;
        report_progress(meter, rows_done++);
        open_file file;
        if (!open_existing(path, open_mode::read, file)) {
            set.skipped.push_back({row.name, "not in the maps folder"});
            continue;
        }
        if (is_any_of(file, excluded)) {
            set.skipped.push_back({row.name, "the map file itself"});
            continue;
        }
        if (!is_safe_source_name(row.name)) {
            set.skipped.push_back({row.name, "a name a patch cannot reference"});
            continue;
        }
        close_file(file);
        if (digest != row.digest) {
            set.skipped.push_back({row.name, "differs from the stock table"});
            continue;
        }
        patch_source source;
        source.name = row.name;
        if (!read_source(path, source)) {
            set.skipped.push_back({row.name, "cannot be read"});
            continue;
        }
        stock_names.push_back(source.name);
        set.sources.push_back(std::move(source));
    }
    // Map files of the maps folder that the table does not list (on Windows names match in any case).
    std::vector<std::string> in_maps;
    if (list_folder_files(maps_path, in_maps)) {
        std::sort(in_maps.begin(), in_maps.end());
        for (const std::string& name : in_maps) {
            if (to_lower(file_extension(name)) != "qmw") continue;
            bool listed = false;
            for (const stock_map& row : stock_maps()) listed = listed || to_lower(row.name) == to_lower(name);
            if (!listed) set.skipped.push_back({name, "not in the stock table"});
        }
    }
    if (beside.empty()) return {};

    std::vector<std::string> names;
    if (!list_folder_files(beside, names)) return "Error: Cannot read the folder " + beside + ".";
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        if (to_lower(file_extension(name)) != "qmw") continue;
        const std::string path = path_in(beside, name);
        open_file file;
        if (!open_existing(path, open_mode::read, file)) {
            set.skipped.push_back({name, "cannot be read"});
            continue;
        }
        bool own_output = false;
        for (const std::string& other : excluded) own_output = own_output || to_lower(file_name(other)) == to_lower(name);
        if (own_output || is_any_of(file, excluded)) {
            set.skipped.push_back({name, "the map file or the patch's own map file"});
            continue;
        }
        close_file(file);
        if (!is_safe_source_name(name) || name.size() > longest_source_name) {
            set.skipped.push_back({name, "a name a patch cannot reference"});
            continue;
        }
        // The rebuild's groups join neighbouring entries of one name whatever their folder.
        if (std::find(stock_names.begin(), stock_names.end(), name) != stock_names.end()) {
            set.skipped.push_back({name, "named like a stock map"});
            continue;
        }
        patch_source source;
        source.name = name;
        source.in_patch_folder = true;
        if (!read_source(path, source)) {
            set.skipped.push_back({name, "cannot be read"});
            continue;
        }
        set.sources.push_back(std::move(source));
    }
    return {};
}
