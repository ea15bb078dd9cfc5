// Fuzzes mapdiff make's core on memory files: the input holds a map file and a source's bytes,
// which serve as a stock map and as a map beside the patch. Input: 4 bytes little-endian map
// length, the map, then the source. Every map whose table can be read must come back byte for
// byte from the planned patch through mapmend's rebuild, and the patch keeps the map's length.
#include <cstddef>
#include <cstdint>
#include <string>

#include "common/storage.h"
#include "common/storage_memory.h"
#include "diff/patch_plan.h"
#include "format/rebuild.h"
#include "fuzz/fuzz_folder.h"
#include "fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const two_files given = split_fuzz_input(data, size);
    const std::vector<unsigned char>& map = given.first;
    const std::vector<unsigned char>& other = given.second;

    std::vector<table_entry> table;
    if (read_map_table(map.data(), map.size(), table) != table_reading::ok) return 0;
    for (const table_entry& entry : table)
        if (entry.reference_found) return 0;  // make refuses such a map

    memory_files memory;
    memory.files["maps/Stock.qmw"] = other;
    memory.files["mods/Near.qmw"] = other;
    std::vector<patch_source> sources(2);
    sources[0].name = "Stock.qmw";
    sources[0].path = "maps/Stock.qmw";
    sources[1].name = "Near.qmw";
    sources[1].path = "mods/Near.qmw";
    sources[1].in_patch_folder = true;
    for (patch_source& source : sources) {
        source.size = other.size();
        if (read_map_table(other.data(), other.size(), source.table) != table_reading::ok) source.table.clear();
    }

    memory.files["mods/Level.qmp"] = map;
    patch_plan plan;
    progress quiet;
    if (!write_patch_in_place(storage{&memory}, "mods/Level.qmp", table, sources, plan, quiet))
        invariant_broken("a memory file could not be read or written");
    if (memory.files["mods/Level.qmp"].size() != map.size()) invariant_broken("the patch's length differs from the map's");
    const int result = rebuild_map_file(storage{&memory}, "mods/Level.qmp", "maps\\");
    if (result != rebuilt) invariant_broken("the patch does not rebuild (result " + std::to_string(result) + ")");
    if (memory.files["mods/Level.qmw"] != map) invariant_broken("the patch rebuilds another file");
    return 0;
}
