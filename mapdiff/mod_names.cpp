#include "mapdiff/mod_names.h"

#include "common/path_text.h"
#include "common/portable_name.h"
#include "format/patch_file.h"

std::string map_name_error(const std::string& path) {
    const std::string name = file_name(path);
    std::string why = portable_name_problem(name, longest_map_name);
    // The portable names are a part of those mapmend reads from a patch; this says so if they
    // ever part.
    if (why.empty() && !is_safe_source_name(name)) why = "is a name mapmend cannot read from a patch";
    return why.empty() ? std::string() : "Error: " + path + " " + why + ".";
}

std::string mod_name_error(const std::string& path, const std::string& mod) {
    const std::string why = portable_name_problem(mod, longest_mod_name);
    return why.empty() ? std::string() : "Error: The mod's name " + mod + " (of " + path + ") " + why + ".";
}
