// Fuzzes mapdiff inspect on memory files: the input holds a patch and one more file's bytes,
// which serve as a stock map, as a map beside the patch and as a sibling patch, as for the
// patch rebuild target. Input: 4 bytes little-endian patch length, the patch, then the other
// file. The verdict must be mapmend's rebuild's, and the inputs must stay as they were.
#include <cstddef>
#include <cstdint>
#include <string>

#include "common/storage.h"
#include "common/storage_memory.h"
#include "format/rebuild.h"
#include "fuzz/fuzz_folder.h"
#include "fuzz/fuzz_input.h"
#include "mapdiff/inspect_patch.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const two_files given = split_fuzz_input(data, size);
    const std::vector<unsigned char>& patch = given.first;
    const std::vector<unsigned char>& other = given.second;

    memory_files world;
    world.files["maps/Stock.qmw"] = other;
    world.files["mods/Near.qmw"] = other;
    world.files["mods/Side.qmp"] = other;
    world.files["mods/Level.qmp"] = patch;
    memory_files mended = world;
    const auto inputs = world.files;

    const inspect_outcome outcome = inspect_rebuild(world, "maps\\", "mods/Level.qmp");
    const int result = rebuild_map_file(storage{&mended}, "mods/Level.qmp", "maps\\");
    if (outcome.would_rebuild != (result == rebuilt))
        invariant_broken("inspect's verdict differs from the rebuild's (result " + std::to_string(result) + ")");
    if (outcome.text.empty() || outcome.text.back() != '\n') invariant_broken("inspect's text does not end a line");
    for (const auto& input : inputs) {
        if (world.files.at(input.first) != input.second) invariant_broken("inspect changed an input: " + input.first);
    }
    if (outcome.would_rebuild && world.files.at("mods/Level.qmw") != mended.files.at("mods/Level.qmw"))
        invariant_broken("inspect rebuilt other bytes than the rebuild");
    return 0;
}
