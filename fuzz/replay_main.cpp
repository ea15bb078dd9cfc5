// Runs a fuzz target's inputs without libFuzzer, so that the ordinary test builds check its
// invariants on the seed corpus and on any input kept from a finding. Arguments are files or
// folders of files; all are read before the first input runs, since targets change folder.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "fuzz/fuzz_folder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    std::vector<std::string> paths;
    for (int i = 1; i < argc; ++i) {
        if (fs::is_directory(argv[i])) {
            std::vector<std::string> inside;
            for (const auto& entry : fs::directory_iterator(argv[i])) inside.push_back(entry.path().string());
            std::sort(inside.begin(), inside.end());
            paths.insert(paths.end(), inside.begin(), inside.end());
        } else {
            paths.emplace_back(argv[i]);
        }
    }
    std::vector<std::string> inputs;
    inputs.reserve(paths.size());
    for (const std::string& path : paths) inputs.push_back(read_whole_file(path));
    for (const std::string& input : inputs)
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
    std::printf("%zu inputs replayed\n", inputs.size());
    return inputs.empty() ? 1 : 0;
}
