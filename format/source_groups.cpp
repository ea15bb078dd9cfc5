#include "format/source_groups.h"

#include <algorithm>

#include "common/path_text.h"

void sort_by_source(std::vector<patch_entry>& entries) {
    std::stable_sort(entries.begin(), entries.end(), patch_entry_order);
}

std::size_t source_group_end(const std::vector<patch_entry>& entries, std::size_t first) {
    std::size_t end = first;
    while (end < entries.size() && entries[end].source_name == entries[first].source_name) ++end;
    return end;
}

std::string source_path(const patch_entry& entry, const std::string& patch_folder, const std::string& maps_path) {
    return path_in(entry.in_patch_folder ? patch_folder : maps_path, entry.source_name);
}

std::string sibling_patch_path(const std::string& patch_folder, const std::string& source_name) {
    return path_in(patch_folder, strip_extension(source_name) + ".qmp");
}
