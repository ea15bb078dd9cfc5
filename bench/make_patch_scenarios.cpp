// Writes the patch-size benchmark's data set into a folder:
//   make_patch_scenarios <folder> [seed, default 1]
// <folder>/Maps holds 31 stock map files, <folder>/Mods the mod's own map, <folder>/Scenarios
// one modified map per scenario. Prints one line per scenario:
//   scenario <name> <map file> <folder it draws on beside the patch, or -> <bytes no source holds, or -> aligned|shifted <description>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "bench/patch_scenarios.h"

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: make_patch_scenarios <folder> [seed]\n");
        return 2;
    }
    const std::uint64_t seed = argc == 3 ? std::strtoull(argv[2], nullptr, 10) : 1;
    try {
        const patch_bench_set set = make_patch_bench_set(seed);
        write_patch_bench_set(set, argv[1]);
        for (const patch_scenario& scenario : set.scenarios) {
            const std::string held = scenario.aligned ? std::to_string(bytes_no_source_holds(set, scenario)) : "-";
            std::printf("scenario %s Scenarios/%s %s %s %s %s\n", scenario.name.c_str(), scenario.map.name.c_str(),
                        scenario.beside ? "Mods" : "-", held.c_str(), scenario.aligned ? "aligned" : "shifted", scenario.description.c_str());
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "make_patch_scenarios: %s\n", error.what());
        return 1;
    }
    return 0;
}
