#include "fuzz/fuzz_folder.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

namespace {

std::string created_folder;

void remove_created_folder() {
    std::error_code error;
    fs::remove_all(created_folder, error);
}

}  // namespace

const std::string& fuzz_folder() {
    if (created_folder.empty()) {
        std::string pattern = (fs::temp_directory_path() / "mapmend-fuzz-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) invariant_broken("cannot create a temporary folder");
        created_folder = pattern;
        std::atexit(remove_created_folder);
    }
    return created_folder;
}

void empty_folder(const std::string& path) {
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(path, error)) fs::remove_all(entry.path(), error);
}

std::vector<std::string> names_in(const std::string& path) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(path, error)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string read_whole_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_whole_file(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    if (!out) invariant_broken("cannot write " + path);
}

void invariant_broken(const std::string& what) {
    std::fprintf(stderr, "invariant broken: %s\n", what.c_str());
    std::abort();
}
