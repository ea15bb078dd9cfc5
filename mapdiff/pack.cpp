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
                       const std::vector<map_patch>& patches) {
    std::string text = "       bytes   from stock     from mod  not zero  map, in install order\n";
    unsigned long long size = 0, from_stock = 0, from_mod = 0, nonzero = 0;
    for (const map_patch& patch : patches) {
        std::uint64_t stock_bytes = 0, mod_bytes = 0;
        std::string drawn_on;
        for (std::size_t s = 0; s < sources.size(); ++s) {
            if (s < stock.sources.size()) {
                stock_bytes += patch.plan.bytes_from[s];
            } else if (patch.plan.chunks_from[s] > 0) {
                mod_bytes += patch.plan.bytes_from[s];
                drawn_on += (drawn_on.empty() ? "  (on " : ", ") + sources[s].name;
            }
        }
        if (!drawn_on.empty()) drawn_on += ")";
        text += columns(patch.map->size, stock_bytes, mod_bytes, patch.nonzero, installed_name(*patch.map) + drawn_on);
        size += patch.map->size;
        from_stock += stock_bytes;
        from_mod += mod_bytes;
        nonzero += patch.nonzero;
    }
    text += columns(size, from_stock, from_mod, nonzero,
                    "total of " + std::to_string(patches.size()) + (patches.size() == 1 ? " map" : " maps"));
    text += skipped_lines(stock);
    text += stock_gap_line(stock);
    text += "wrote " + std::to_string(patches.size()) + (patches.size() == 1 ? " patch, " : " patches, ") +
            file_name(manifest_path_of(names)) + " and " + file_name(settings_path_of(names)) + " to " + names.folder + "\n";
    return text;
}

// The install order of the maps (indices).
bool choose_order(const source_set& stock, const std::vector<mod_map>& maps, std::vector<std::size_t>& order,
                  progress& meter) {
    std::vector<sketched_file> stock_files, map_files;
    for (const patch_source& source : stock.sources) stock_files.push_back({source.path, source.size, {}});
    std::vector<bool> can_be_source;
    for (const mod_map& map : maps) {
        map_files.push_back({map.path, map.size, {}});
        for (const table_entry& entry : map.table)
            if (entry.chunk_size > 0) map_files.back().chunks.emplace_back(entry.chunk_offset, entry.chunk_size);
        can_be_source.push_back(!map.named_like_stock);
    }
    std::vector<shared_samples> shared;
    if (!sketch_shared_samples(the_disk, stock_files, map_files, can_be_source, shared, meter)) return false;
    order = order_maps(shared, can_be_source);
    return true;
}

// The sources, the stock maps and then the mod's maps in install order, and the patches in that
// order, each drawing on the stock maps and the mod's maps before it.
void sources_in_order(const source_set& stock, const std::vector<mod_map>& maps, const std::vector<std::size_t>& order,
                      const pack_names& names, std::vector<patch_source>& sources, std::vector<map_patch>& patches) {
    sources = stock.sources;
    for (const std::size_t m : order) {
        map_patch patch;
        patch.map = &maps[m];
        patch.partial_patch = partial_name(patch_path_of(names, maps[m].stem));
        patch.usable.assign(sources.size(), true);
        patches.push_back(std::move(patch));
        if (maps[m].named_like_stock) continue;
        patch_source source;
        source.name = installed_name(maps[m]);
        source.path = maps[m].path;
        source.in_patch_folder = true;
        source.size = maps[m].size;
        source.table = maps[m].table;
        sources.push_back(std::move(source));
    }
    for (map_patch& patch : patches) patch.usable.resize(sources.size(), false);
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
    for (const mod_map& map : maps) names.stems.push_back(map.stem);

    // The stock maps before anything is written: without them the set is not made.
    source_set stock;
    if (std::string error = gather_sources(settings.maps_path, "", {}, stock, meter); !error.empty()) return failed(error);
    if (!settings.allow_stock_gaps)
        if (std::string error = stock_gap_error(stock, settings.maps_path); !error.empty()) return failed(error);
    if (std::string error = prepare_out_folder(names, settings.force); !error.empty()) return failed(error);

    std::vector<std::string> map_paths;
    map_paths.reserve(maps.size());
    for (const mod_map& map : maps) map_paths.push_back(map.path);
    start_stage(meter, "hashing the maps", 1);
    const std::vector<file_digest> digests = file_md5_lanes(map_paths);
    for (std::size_t m = 0; m < maps.size(); ++m)
        if (!digests[m].opened) return failed("Error: Cannot read the map file " + maps[m].path + ".");

    std::vector<std::size_t> order;
    if (!choose_order(stock, maps, order, meter)) return failed("Error: A map could not be read.");
    std::vector<patch_source> sources;
    std::vector<map_patch> patches;
    sources_in_order(stock, maps, order, names, sources, patches);

    std::vector<installed_map> installed;
    std::vector<manifest_line> lines;
    for (const std::size_t m : order) {
        installed.push_back({maps[m].stem, partial_name(patch_path_of(names, maps[m].stem)), maps[m].path});
        lines.push_back({digests[m].digest, installed_name(maps[m])});
    }
    const auto check = [&](std::size_t k) { return check_install_step(stock.sources, installed, k); };
    if (std::string error = write_patches(sources, patches, check, meter, settings.workers); !error.empty()) {
        discard_partials(names);
        return failed(error + nothing_written(names));
    }
    if (std::string error = commit_pack(names, lines, installer_settings_text(names.mod, lines)); !error.empty())
        return failed(error);
    return {{}, summary_of(names, stock, sources, patches)};
}
