#include "mapdiff/mod_maps.h"

#include <algorithm>

#include "common/file_system.h"
#include "common/path_text.h"
#include "common/storage.h"
#include "format/patch_file.h"
#include "mapdiff/map_file.h"
#include "stock/stock_check.h"

std::string installed_name(const mod_map& map) { return map.stem + ".qmw"; }

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
    if (!list_folder_files(mod_folder, names)) return "Error: Cannot read the folder " + mod_folder + ".";
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        if (to_lower(file_extension(name)) != "qmw") continue;
        mod_map map;
        map.path = path_in(mod_folder, name);
        map.stem = strip_extension(name);
        // The patch and the rebuilt map take names a patch may reference, that Windows can hold
        // and that the manifest and the installer settings can quote as they are.
        const bool unquotable = has_control_character(name) || name.find_first_of("\"*?<>|") != std::string::npos;
        if (unquotable || !is_safe_source_name(map.stem + ".qmp") || !is_safe_source_name(installed_name(map)))
            return "Error: " + map.path + ": mapmend cannot rebuild a map of this name.";
        for (const mod_map& other : maps) {
            if (to_lower(other.stem) == to_lower(map.stem))
                return "Error: " + other.path + " and " + map.path + " differ only in letter case: on Windows they are one file.";
        }
        for (const stock_map& row : stock_maps())
            map.named_like_stock = map.named_like_stock || to_lower(row.name) == to_lower(installed_name(map));
        if (std::string error = read_map_file(map.path, map.size, map.table); !error.empty()) return error;
        maps.push_back(std::move(map));
    }
    if (maps.empty()) return "Error: " + mod_folder + " holds no .qmw file.";
    return {};
}
