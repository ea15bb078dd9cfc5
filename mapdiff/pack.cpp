#include "mapdiff/pack.h"

#include <algorithm>
#include <cstdio>

#include "common/file_system.h"
#include "common/path_text.h"
#include "diff/install_check.h"
#include "diff/install_order.h"
#include "mapdiff/map_file.h"
#include "mapdiff/mod_manifest.h"
#include "mapdiff/mod_maps.h"
#include "mapdiff/mod_names.h"
#include "mapdiff/output_file.h"
#include "mapdiff/pack_out_folder.h"
#include "mapdiff/pack_patches.h"
#include "mapdiff/source_set.h"
#include "stock/stock_check.h"

namespace {

pack_outcome failed(const std::string& error) { return {error, {}}; }

std::string columns(unsigned long long size, unsigned long long stock, unsigned long long mod, std::uint64_t nonzero,
                    const std::string& what) {
    char line[96];
    std::snprintf(line, sizeof line, "%12llu %12llu %12llu %8.1f%%  ", size, stock, mod, share_not_zero(nonzero, size));
    return line + what + "\n";
}

std::string summary_of(const pack_names& names, const source_set& stock, const std::vector<patch_source>& sources,
                       const std::vector<mod_map>& maps) {
    std::string text = "       bytes   from stock     from mod  not zero  map, in install order\n";
    unsigned long long size = 0, from_stock = 0, from_mod = 0, nonzero = 0;
    for (const mod_map& map : maps) {
        std::uint64_t stock_bytes = 0, mod_bytes = 0;
        std::string drawn_on;
        for (std::size_t s = 0; s < sources.size(); ++s) {
            if (s < stock.sources.size()) {
                stock_bytes += map.plan.bytes_from[s];
            } else if (map.plan.chunks_from[s] > 0) {
                mod_bytes += map.plan.bytes_from[s];
                drawn_on += (drawn_on.empty() ? "  (on " : ", ") + sources[s].name;
            }
        }
        if (!drawn_on.empty()) drawn_on += ")";
        text += columns(map.file.size, stock_bytes, mod_bytes, map.nonzero, map.file.name + drawn_on);
        size += map.file.size;
        from_stock += stock_bytes;
        from_mod += mod_bytes;
        nonzero += map.nonzero;
    }
    text += columns(size, from_stock, from_mod, nonzero,
                    "total of " + std::to_string(maps.size()) + (maps.size() == 1 ? " map" : " maps"));
    text += skipped_lines(stock);
    text += stock_gap_line(stock);
    text += "wrote " + std::to_string(maps.size()) + (maps.size() == 1 ? " patch, " : " patches, ") +
            file_name(manifest_path_of(names)) + " and " + file_name(settings_path_of(names)) + " to " + names.folder + "\n";
    return text;
}

// Puts the maps in install order.
bool choose_order(const source_set& stock, std::vector<mod_map>& maps, progress& meter, std::size_t workers) {
    std::vector<shared_samples> shared;
    if (!sketch_shared_samples(the_disk, stock.sources, maps, shared, meter, workers)) return false;
    std::vector<mod_map> in_order;
    in_order.reserve(maps.size());
    for (const std::size_t m : order_maps(shared, maps)) in_order.push_back(std::move(maps[m]));
    maps = std::move(in_order);
    return true;
}

// The sources, the stock maps and then the mod's maps in install order, and what each map's
// patch, written at its temporary name, draws on: the stock maps and the mod's maps before it.
std::vector<patch_source> sources_in_order(const source_set& stock, const pack_names& names, std::vector<mod_map>& maps) {
    std::vector<patch_source> sources = stock.sources;
    for (mod_map& map : maps) {
        map.patch = partial_name(patch_path_of(names, stem_of(map)));
        map.usable.assign(sources.size(), true);
        if (map.can_be_source) sources.push_back(map.file);
    }
    for (mod_map& map : maps) map.usable.resize(sources.size(), false);
    return sources;
}

}  // namespace

pack_outcome pack_mod(const pack_settings& settings, progress& meter) {
    if (!is_directory(settings.maps_path)) return failed("Error: Maps path not found: " + settings.maps_path + ".");
    pack_names names;
    names.folder = settings.out_folder;
    names.mod = mod_name_of(settings.mod_folder);
    if (names.mod.empty()) return failed("Error: " + settings.mod_folder + " gives no mod name: name the mod folder itself.");
    if (std::string error = mod_name_error(settings.mod_folder, names.mod); !error.empty()) return failed(error);
    std::vector<mod_map> maps;
    if (std::string error = read_mod_maps(settings.mod_folder, maps); !error.empty()) return failed(error);
    for (const mod_map& map : maps) names.stems.push_back(stem_of(map));

    // The stock maps before anything is written: without them the set is not made.
    source_set stock;
    if (std::string error = gather_sources(settings.maps_path, "", {}, stock, meter, settings.workers); !error.empty()) return failed(error);
    if (!settings.allow_stock_gaps)
        if (std::string error = stock_gap_error(stock, settings.maps_path); !error.empty()) return failed(error);
    if (std::string error = prepare_out_folder(names, settings.force); !error.empty()) return failed(error);

    std::vector<std::string> map_paths;
    map_paths.reserve(maps.size());
    for (const mod_map& map : maps) map_paths.push_back(map.file.path);
    start_stage(meter, "hashing the maps", 1);
    const std::vector<file_digest> digests = file_md5_lanes(map_paths);
    for (std::size_t m = 0; m < maps.size(); ++m) {
        if (!digests[m].opened) return failed("Error: Cannot read the map file " + maps[m].file.path + ".");
        maps[m].digest = digests[m].digest;
    }

    if (!choose_order(stock, maps, meter, settings.workers)) return failed("Error: A map could not be read.");
    const std::vector<patch_source> sources = sources_in_order(stock, names, maps);
    const auto check = [&](std::size_t k) { return check_install_step(stock.sources, maps, k); };
    if (std::string error = write_patches(sources, maps, check, meter, settings.workers); !error.empty()) {
        discard_partials(names);
        return failed(error + nothing_written(names));
    }
    std::vector<manifest_line> lines;
    lines.reserve(maps.size());
    for (const mod_map& map : maps) lines.push_back({map.digest, map.file.name});
    if (std::string error = commit_pack(names, lines, installer_settings_text(names.mod, lines)); !error.empty())
        return failed(error);
    return {{}, summary_of(names, stock, sources, maps)};
}
