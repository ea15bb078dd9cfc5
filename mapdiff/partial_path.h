// The temporary name under which mapdiff writes a file before renaming it into place.
#pragma once

#include <string>

// "<path>.partial", after deleting a file that a killed run of the same call left there, so
// that such leftovers never pile up; when that name stays taken (a folder, a file that cannot
// be deleted), the first free name of its series. No other name is ever deleted.
std::string partial_path(const std::string& path);
