// Path and text functions on 8-bit texts; both '\' and '/' separate folders on every platform.
#pragma once

#include <string>

bool is_path_separator(char c);

// The text after the last separator; the whole path when it holds none.
std::string file_name(const std::string& path);

// The text after the last dot of the file name, without the dot; empty when there is none.
std::string file_extension(const std::string& path);

// The path up to its last dot, when that dot lies in the file name; else the path unchanged.
std::string strip_extension(const std::string& path);

// Only 'A'-'Z' change; every other byte, those above 127 included, stays as it is.
std::string to_lower(std::string text);
