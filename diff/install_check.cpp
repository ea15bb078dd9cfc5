#include "diff/install_check.h"

#include "format/rebuild.h"

std::string installed_path(bool beside_the_patch, const std::string& name) {
    return (beside_the_patch ? "mods/" : "maps/") + name;
}

installed_rebuild rebuild_as_installed(memory_files& install, const std::string& patch_name,
                                       const std::string& author_map) {
    const std::string patch = installed_path(true, patch_name);
    const std::string output = memory_path(map_file_path(patch));
    install.compare_with[output] = author_map;
    installed_rebuild outcome;
    outcome.result = rebuild_map_file(storage{&install}, patch, "maps\\");
    outcome.matches = outcome.result == rebuilt && memory_file_matches(install, output);
    return outcome;
}

std::string check_install_step(const std::vector<patch_source>& stock, const std::vector<mod_map>& maps, std::size_t k) {
    memory_files install;
    for (const patch_source& source : stock) install.on_disk[memory_path(installed_path(false, source.name))] = source.path;
    for (std::size_t j = 0; j < maps.size(); ++j) {
        if (j < k)
            install.on_disk[memory_path(installed_path(true, maps[j].file.name))] = maps[j].file.path;
        else
            install.on_disk[memory_path(installed_path(true, stem_of(maps[j]) + ".qmp"))] = maps[j].patch;
    }
    const mod_map& map = maps[k];
    const std::string patch_name = stem_of(map) + ".qmp";
    const installed_rebuild rebuild = rebuild_as_installed(install, patch_name, map.file.path);
    if (rebuild.result != rebuilt)
        return "Error: " + patch_name + " does not rebuild in install order: " + rebuild_result_text(rebuild.result) + ".";
    if (!install.files.empty())
        return "Error: " + patch_name + " draws on a map installed after it (" + install.files.begin()->first + ").";
    if (!rebuild.matches) return "Error: " + patch_name + " rebuilds a map that differs from " + map.file.path + ".";
    return {};
}
