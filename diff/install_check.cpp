#include "diff/install_check.h"

#include "common/storage_memory.h"
#include "format/rebuild.h"

std::string check_install_step(const std::vector<patch_source>& stock, const std::vector<installed_map>& maps,
                               std::size_t k) {
    memory_files world;
    for (const patch_source& source : stock) world.on_disk[memory_path("maps/" + source.name)] = source.path;
    for (std::size_t j = 0; j < maps.size(); ++j) {
        if (j < k)
            world.on_disk[memory_path("mods/" + maps[j].stem + ".qmw")] = maps[j].author;
        else
            world.on_disk[memory_path("mods/" + maps[j].stem + ".qmp")] = maps[j].patch;
    }
    const installed_map& map = maps[k];
    const std::string patch = "mods/" + map.stem + ".qmp";
    const std::string output = memory_path(map_file_path(patch));
    world.compare_with[output] = map.author;
    const int result = rebuild_map_file(storage{&world}, patch, "maps\\");
    if (result != rebuilt)
        return "Error: " + map.stem + ".qmp does not rebuild in install order: " + rebuild_result_text(result) + ".";
    if (!world.files.empty())
        return "Error: " + map.stem + ".qmp draws on a map installed after it (" + world.files.begin()->first + ").";
    if (!memory_file_matches(world, output))
        return "Error: " + map.stem + ".qmp rebuilds a map that differs from " + map.author + ".";
    return {};
}
