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

// The path up to its last separator, without it; "." when it holds none. A file in the root
// ("\x") gives the empty text.
std::string folder_of(const std::string& path);

// `name` inside `folder`: the folder, a '/' (which both systems read) unless the folder already
// ends in a separator, and the name. The empty folder is the root, as folder_of gives it.
std::string path_in(const std::string& folder, const std::string& name);

// Only 'A'-'Z' change; every other byte, those above 127 included, stays as it is.
std::string to_lower(std::string text);

// True when the text holds a control character (below 32, or 127): a name that cannot be
// shown on a line or quoted in a script as it is.
bool has_control_character(const std::string& text);
