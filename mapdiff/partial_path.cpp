#include "mapdiff/partial_path.h"

#include "common/file_system.h"
#include "common/unique_path.h"

std::string partial_path(const std::string& path) {
    const std::string partial = path + ".partial";
    // The delete call also removes an empty folder on POSIX; a folder is never a leftover.
    if (path_exists(partial) && !is_directory(partial)) delete_file(partial);
    return unique_path(partial);
}
