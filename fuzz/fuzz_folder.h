// A private temporary folder for one fuzzing process, and the checks made on what a target
// left in it. Fuzz targets stop the process with a message when an invariant breaks, so that
// libFuzzer records the input as a crash.
#pragma once

#include <string>
#include <vector>

// Created on first use under the system's temporary folder and removed at exit.
const std::string& fuzz_folder();

// Removes everything inside `path` (the folder itself stays).
void empty_folder(const std::string& path);

// Names in a folder, sorted; subfolders included.
std::vector<std::string> names_in(const std::string& path);

std::string read_whole_file(const std::string& path);
void write_whole_file(const std::string& path, const std::string& content);

[[noreturn]] void invariant_broken(const std::string& what);
