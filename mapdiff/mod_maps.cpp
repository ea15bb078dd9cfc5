#include "mapdiff/mod_maps.h"

#include <algorithm>

#include "common/file_system.h"
#include "common/path_text.h"
#include "common/storage.h"
#include "format/patch_file.h"
#include "mapdiff/map_file.h"
#include "mapdiff/mod_names.h"
#include "mapdiff/source_set.h"
#include "stock/stock_check.h"

namespace {

const char* not_a_map_file(entry_kind kind) {
    switch (kind) {
        case entry_kind::file: return "";
        case entry_kind::folder: return "is a folder";
        case entry_kind::dangling_link: return "is a link to nothing";
        case entry_kind::link_loop: return "is a link that leads round in a loop";
        case entry_kind::missing: return "went away while the folder was read";
        case entry_kind::other: break;
    }
    return "is no plain file (a pipe or a device)";
}

}  // namespace

std::string mod_name_of(const std::string& mod_folder) {
    std::string path = mod_folder;
    while (!path.empty() && is_path_separator(path.back())) path.pop_back();
    const std::string name = file_name(path);
    return name == "." || name == ".." ? std::string() : name;
}

std::string read_mod_maps(const std::string& mod_folder, std::vector<mod_map>& maps) {
    maps.clear();
    if (!is_directory(mod_folder)) return "Error: Mod folder not found: " + mod_folder + ".";
    std::vector<std::string> names;
    if (!list_folder_entries(mod_folder, names)) return "Error: Cannot read the folder " + mod_folder + ".";
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        if (to_lower(file_extension(name)) != "qmw") continue;
        mod_map map;
        patch_source& file = map.file;
        file.path = path_in(mod_folder, name);
        file.name = strip_extension(name) + ".qmw";
        file.in_patch_folder = true;
        // The patch and the rebuilt map take the map's name to the player's disk and into the
        // installer script. Checked first: on Windows a name that is too long for a path, or
        // that the code page cannot carry, cannot be looked at on the disk at all.
        if (std::string error = map_name_error(file.path); !error.empty()) return error;
        // Every map of the folder is in the set, or the author hears why not.
        if (std::string why = not_a_map_file(kind_of_entry(file.path)); !why.empty())
            return "Error: " + file.path + " " + why + "; move it out of the mod folder, or make it a map.";
        for (const mod_map& other : maps) {
            if (to_lower(other.file.name) == to_lower(file.name))
                return "Error: " + other.file.path + " and " + file.path + " differ only in letter case: on Windows they are one file.";
        }
        for (const stock_map& row : stock_maps())
            map.can_be_source = map.can_be_source && to_lower(row.name) != to_lower(file.name);
        if (std::string error = read_map_file(file.path, file.size, file.table); !error.empty()) return error;
        maps.push_back(std::move(map));
    }
    if (maps.empty()) return "Error: " + mod_folder + " holds no .qmw file.";
    return {};
}
