// First free name of a numbered backup series.
#pragma once

#include <functional>
#include <string>

// P itself when free, else "<stem> (2)<.ext>", "<stem> (3)<.ext>", ... formed from P each time.
// A name is free when no readable file and no folder is there.
std::string unique_path(const std::string& path);

// The same series, where a name is free when `taken` says it is not.
std::string unique_path(const std::string& path, const std::function<bool(const std::string&)>& taken);
