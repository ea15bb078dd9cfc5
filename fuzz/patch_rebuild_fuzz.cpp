// Fuzzes the rebuild of a map file from a patch, on memory files: the input holds a patch file
// and one more file's bytes, which serve as a stock map, as a map beside the patch and as a
// sibling patch. Input: 4 bytes little-endian patch length, the patch, then the other file.
// Where the sources need no nested rebuild, the outcome and the rebuilt bytes must match the
// in-memory model.
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>

#include "common/storage.h"
#include "common/storage_memory.h"
#include "format/rebuild.h"
#include "fuzz/fuzz_folder.h"
#include "fuzz/fuzz_input.h"
#include "fuzz/patch_model.h"

namespace {

std::vector<unsigned char> bytes_of(const std::string& text) { return {text.begin(), text.end()}; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const two_files given = split_fuzz_input(data, size);
    const std::string patch(given.first.begin(), given.first.end());
    const std::string other(given.second.begin(), given.second.end());

    memory_files memory;
    memory.files["maps/Stock.qmw"] = given.second;
    memory.files["mods/Near.qmw"] = given.second;
    memory.files["mods/Side.qmp"] = given.second;
    memory.files["mods/Level.qmp"] = given.first;
    const auto inputs = memory.files;

    const int result = rebuild_map_file(storage{&memory}, "mods/Level.qmp", "maps\\");

    const auto level = memory.files.find("mods/Level.qmw");
    if (result == rebuilt && (level == memory.files.end() || level->second.size() != patch.size()))
        invariant_broken("the rebuilt file's length differs from the patch's");
    const auto side = memory.files.find("mods/Side.qmw");
    if (side != memory.files.end() && side->second.size() != other.size())
        invariant_broken("a nested rebuild's length differs from its patch's");
    const model_rebuild model = rebuild_in_memory(patch, other);
    if (model.outcome == model_outcome::rebuilt && (result != rebuilt || level->second != bytes_of(model.result)))
        invariant_broken("the rebuild differs from the model's (result " + std::to_string(result) + ")");
    if (model.outcome == model_outcome::failed && result == rebuilt)
        invariant_broken("success reported for a patch that cannot be rebuilt");
    for (const auto& input : inputs) {
        const auto now = memory.files.find(input.first);
        if (now == memory.files.end() || now->second != input.second) invariant_broken("an input file changed: " + input.first);
    }
    // A failed rebuild leaves the markers of the maps it did not finish; a success leaves none.
    std::set<std::string> made{"mods/Level.qmw", "mods/Side.qmw"};
    if (result != rebuilt) made.insert({"mods/Level.qmw.rebuilding", "mods/Side.qmw.rebuilding"});
    const auto level_marker = memory.files.find("mods/Level.qmw.rebuilding");
    if (result != rebuilt && level != memory.files.end() && level_marker == memory.files.end())
        invariant_broken("a failed map without its marker");
    for (const auto& file : memory.files) {
        if (inputs.count(file.first) == 0 && made.count(file.first) == 0) invariant_broken("unexpected file: " + file.first);
    }
    return 0;
}
