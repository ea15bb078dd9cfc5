#include "diff/mod_map.h"

#include "common/path_text.h"

std::string stem_of(const mod_map& map) { return strip_extension(map.file.name); }
