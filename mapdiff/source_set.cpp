#include "mapdiff/source_set.h"

#include <algorithm>

#include "common/file_system.h"
#include "common/path_text.h"
#include "format/patch_file.h"
#include "format/source_reference.h"
#include "mapdiff/mod_names.h"
#include "stock/stock_check.h"

namespace {

constexpr std::size_t largest_source_table = std::size_t{16} << 20;  // about 54,000 entries

const char* const missing_stock = "not in the maps folder";
const char* const unreadable_stock = "cannot be read";
const char* const differing_stock = "differs from the stock table";

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

// Why a row of the stock table cannot be a source, or "" with `source` read; `digest` is the
// file's MD5, empty when it could not be read.
std::string take_stock_source(const std::string& path, const std::string& digest, const stock_map& row,
                              const std::vector<std::string>& excluded, patch_source& source) {
    open_file file;
    if (!open_existing(path, open_mode::read, file)) return missing_stock;
    if (is_any_of(file, excluded)) return "the map file itself";
    if (!is_safe_source_name(row.name)) return "a name a patch cannot reference";
    close_file(file);
    if (digest != row.digest) return differing_stock;
    source.name = row.name;
    if (!read_source(path, source)) return unreadable_stock;
    return {};
}

// Why a map file beside the patch cannot be a source, or "" with `source` read.
std::string take_beside_source(const std::string& beside, const std::string& name, const std::vector<std::string>& excluded,
                               const std::vector<std::string>& stock_names, patch_source& source) {
    const std::string path = path_in(beside, name);
    open_file file;
    if (!open_existing(path, open_mode::read, file)) return "cannot be read";
    bool own_output = false;
    for (const std::string& other : excluded) own_output = own_output || to_lower(file_name(other)) == to_lower(name);
    if (own_output || is_any_of(file, excluded)) return "the map file or the patch's own map file";
    close_file(file);
    // The rebuild's groups join neighbouring entries of one name whatever their folder.
    if (std::find(stock_names.begin(), stock_names.end(), name) != stock_names.end()) return "named like a stock map";
    source.name = name;
    source.in_patch_folder = true;
    if (!read_source(path, source)) return "cannot be read";
    return {};
}

void gather_stock_sources(const std::string& maps_path, const std::vector<std::string>& excluded, source_set& set,
                          progress& meter, std::size_t workers) {
    start_stage(meter, "checking stock maps", stock_map_count);
    // Hashed side by side first: one stock set is a gigabyte.
    std::vector<std::string> stock_paths;
    for (const stock_map& row : stock_maps()) stock_paths.push_back(path_in(maps_path, row.name));
    stock_check_setup setup;
    setup.workers = workers == 1 ? 1 : 0;  // else as many as keep the lanes busy
    const std::vector<file_digest> digests = file_md5_lanes(stock_paths, setup);
    std::uint64_t rows_done = 0;
    for (const stock_map& row : stock_maps()) {
        const std::string& path = stock_paths[rows_done];
        const std::string& digest = digests[rows_done].digest;
        report_progress(meter, rows_done++);
        patch_source source;
        std::string reason = take_stock_source(path, digest, row, excluded, source);
        if (reason.empty()) {
            set.sources.push_back(std::move(source));
            continue;
        }
        set.stock_missing += reason == missing_stock || reason == unreadable_stock;
        set.stock_differing += reason == differing_stock;
        set.skipped.push_back({row.name, std::move(reason)});
    }
}

// Map files of the maps folder that the table does not list (on Windows names match in any case).
void note_unlisted_maps(const std::string& maps_path, source_set& set) {
    std::vector<std::string> in_maps;
    if (!list_folder_files(maps_path, in_maps)) return;
    std::sort(in_maps.begin(), in_maps.end());
    for (const std::string& name : in_maps) {
        if (to_lower(file_extension(name)) != "qmw") continue;
        bool listed = false;
        for (const stock_map& row : stock_maps()) listed = listed || to_lower(row.name) == to_lower(name);
        if (!listed) set.skipped.push_back({name, "not in the stock table"});
    }
}

// Called after the stock sources are gathered: a beside file may not share a name with them.
std::string gather_beside_sources(const std::string& beside, const std::vector<std::string>& excluded, source_set& set) {
    std::vector<std::string> names;
    if (!list_folder_files(beside, names)) return "Error: Cannot read the folder " + beside + ".";
    std::sort(names.begin(), names.end());
    std::vector<std::string> stock_names;
    for (const patch_source& stock : set.sources) stock_names.push_back(stock.name);
    for (const std::string& name : names) {
        if (to_lower(file_extension(name)) != "qmw") continue;
        // A patch would carry the name to the player's disk.
        if (std::string error = map_name_error(path_in(beside, name)); !error.empty()) return error;
        patch_source source;
        if (std::string reason = take_beside_source(beside, name, excluded, stock_names, source); !reason.empty())
            set.skipped.push_back({name, std::move(reason)});
        else
            set.sources.push_back(std::move(source));
    }
    return {};
}

}  // namespace

std::string gather_sources(const std::string& maps_path, const std::string& beside,
                           const std::vector<std::string>& excluded, source_set& set, progress& meter,
                           std::size_t workers) {
    set = source_set{};
    gather_stock_sources(maps_path, excluded, set, meter, workers);
    note_unlisted_maps(maps_path, set);
    if (beside.empty()) return {};
    return gather_beside_sources(beside, excluded, set);
}

std::string skipped_lines(const source_set& set) {
    std::string text;
    for (const skipped_source& skipped : set.skipped) text += "skipped " + skipped.name + ": " + skipped.reason + "\n";
    return text;
}

std::string stock_gap_error(const source_set& set, const std::string& maps_path) {
    const std::size_t gaps = set.stock_missing + set.stock_differing;
    if (gaps == 0) return {};
    std::string counts;
    if (set.stock_missing > 0) counts += std::to_string(set.stock_missing) + " missing";
    if (set.stock_differing > 0) counts += (counts.empty() ? "" : ", ") + std::to_string(set.stock_differing) + " differ";
    return "Error: " + std::to_string(gaps) + " of the " + std::to_string(stock_map_count) + " stock maps in " + maps_path +
           " are not as the stock table built in has them (" + counts + "); \"mapdiff check-stock " + maps_path +
           "\" names them. Give the game's maps folder, build with the game's own table (docs/mod_authors.md), or "
           "--allow-stock-gaps to do without them.";
}

std::string stock_gap_line(const source_set& set) {
    const std::size_t gaps = set.stock_missing + set.stock_differing;
    if (gaps == 0) return {};
    return std::to_string(gaps) + " of the " + std::to_string(stock_map_count) +
           " stock maps were not sources (--allow-stock-gaps): the patches carry what they would have given\n";
}
