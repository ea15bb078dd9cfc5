#include "mapdiff/install_check.h"

#include "common/storage.h"
#include "mapdiff/inspect_patch.h"
#include "mapmend/rebuild.h"

std::string check_install(const std::vector<patch_source>& stock, const std::vector<installed_map>& maps, progress& meter) {
    memory_files world;
    for (const patch_source& source : stock) world.on_disk[memory_path("maps/" + source.name)] = source.path;
    for (const installed_map& map : maps) world.on_disk[memory_path("mods/" + map.stem + ".qmp")] = map.patch;

    start_stage(meter, "rebuilding in install order", maps.size());
    for (std::size_t k = 0; k < maps.size(); ++k) {
        report_progress(meter, k);
        const installed_map& map = maps[k];
        const std::string patch = "mods/" + map.stem + ".qmp";
        const std::string output = memory_path(map_file_path(patch));
        world.compare_with[output] = map.author;
        const int result = rebuild_map_file(storage{&world}, patch, "maps\\");
        if (result != rebuilt)
            return "Error: " + map.stem + ".qmp does not rebuild in install order: " + rebuild_failure_text(result) + ".";
        if (!memory_file_matches(world, output))
            return "Error: " + map.stem + ".qmp rebuilds a map that differs from " + map.author + ".";
        world.on_disk[memory_path(patch)] = "";
    }
    report_progress(meter, maps.size());
    return {};
}
