// Files and folders for tests: a private temporary folder, whole-file reads and writes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

using bytes = std::vector<unsigned char>;

// A fresh folder under the system's temporary folder, removed with everything in it on
// destruction. `path` uses '/' and has no trailing separator.
struct temp_folder {
    std::string path;

    temp_folder();
    temp_folder(const temp_folder&) = delete;
    temp_folder& operator=(const temp_folder&) = delete;
    ~temp_folder();

    std::string operator/(const std::string& name) const { return path + "/" + name; }
};

void write_file(const std::string& path, const bytes& content);
void write_file(const std::string& path, const std::string& content);
bytes read_file(const std::string& path);
bool exists(const std::string& path);
void make_folder(const std::string& path);

// Names of the entries in a folder, sorted.
std::vector<std::string> folder_listing(const std::string& path);
