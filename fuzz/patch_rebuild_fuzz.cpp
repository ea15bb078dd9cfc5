// Fuzzes the rebuild of a map file from a patch: the input holds a patch file and one more
// file's bytes, which serve as a stock map, as a map beside the patch and as a sibling patch.
// Input: 4 bytes little-endian patch length, the patch, then the other file. Where the sources
// need no nested rebuild, the outcome and the rebuilt bytes must match the in-memory model.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "fuzz/fuzz_folder.h"
#include "fuzz/patch_model.h"
#include "mapmend/rebuild.h"

namespace {

struct layout {
    std::string root, maps, mods, work;
};

const layout& folders() {
    static const layout made = [] {
        layout l{fuzz_folder(), fuzz_folder() + "/maps", fuzz_folder() + "/mods", fuzz_folder() + "/work"};
        std::filesystem::create_directory(l.maps);
        std::filesystem::create_directory(l.mods);
        std::filesystem::create_directory(l.work);
        // Relative paths a rebuild might form land here, where the checks below see them.
        if (::chdir(l.work.c_str()) != 0) invariant_broken("cannot enter " + l.work);
        return l;
    }();
    return made;
}

std::size_t open_descriptors() { return names_in("/proc/self/fd").size(); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const layout& f = folders();
    std::uint32_t stated = 0;
    for (std::size_t k = 0; k < 4 && k < size; ++k) stated |= static_cast<std::uint32_t>(data[k]) << (8 * k);
    const std::size_t rest = size < 4 ? 0 : size - 4;
    const std::size_t patch_length = std::min<std::size_t>(stated, rest);
    const std::string patch(reinterpret_cast<const char*>(data) + (size - rest), patch_length);
    const std::string other(reinterpret_cast<const char*>(data) + (size - rest) + patch_length, rest - patch_length);

    empty_folder(f.maps);
    empty_folder(f.mods);
    write_whole_file(f.maps + "/Stock.qmw", other);
    write_whole_file(f.mods + "/Near.qmw", other);
    write_whole_file(f.mods + "/Side.qmp", other);
    write_whole_file(f.mods + "/Level.qmp", patch);

    const std::size_t descriptors = open_descriptors();
    const int result = rebuild_map_file(f.mods + "/Level.qmp", f.maps + "\\");

    if (open_descriptors() != descriptors) invariant_broken("a file was left open");
    if (result == rebuilt && read_whole_file(f.mods + "/Level.qmw").size() != patch.size())
        invariant_broken("the rebuilt file's length differs from the patch's");
    if (std::filesystem::exists(f.mods + "/Side.qmw") && read_whole_file(f.mods + "/Side.qmw").size() != other.size())
        invariant_broken("a nested rebuild's length differs from its patch's");
    const model_rebuild model = rebuild_in_memory(patch, other);
    if (model.outcome == model_outcome::rebuilt &&
        (result != rebuilt || read_whole_file(f.mods + "/Level.qmw") != model.result))
        invariant_broken("the rebuild differs from the model's (result " + std::to_string(result) + ")");
    if (model.outcome == model_outcome::failed && result == rebuilt)
        invariant_broken("success reported for a patch that cannot be rebuilt");
    if (read_whole_file(f.mods + "/Level.qmp") != patch || read_whole_file(f.mods + "/Side.qmp") != other ||
        read_whole_file(f.mods + "/Near.qmw") != other || read_whole_file(f.maps + "/Stock.qmw") != other)
        invariant_broken("an input file changed");

    if (names_in(f.root) != std::vector<std::string>{"maps", "mods", "work"} || !names_in(f.work).empty() ||
        names_in(f.maps) != std::vector<std::string>{"Stock.qmw"})
        invariant_broken("a file appeared outside the patch folder");
    for (const std::string& name : names_in(f.mods)) {
        if (name != "Level.qmp" && name != "Level.qmw" && name != "Near.qmw" && name != "Side.qmp" && name != "Side.qmw")
            invariant_broken("unexpected file in the patch folder: " + name);
    }
    return 0;
}
