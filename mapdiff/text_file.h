// The small text files mapdiff writes whole: the stock table, a mod's manifest and settings.
#pragma once

#include <string>

// Makes a file where nothing is and writes `text` into it; on a failed write (a full disk) the
// file is deleted again. False when it cannot be made or written.
bool write_new_text_file(const std::string& path, const std::string& text);
