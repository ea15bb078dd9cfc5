// The plain files of a folder, from the platform's listing of every entry.
#include "common/file_system.h"
#include "common/path_text.h"

bool list_folder_files(const std::string& path, std::vector<std::string>& names) {
    names.clear();
    std::vector<std::string> entries;
    if (!list_folder_entries(path, entries)) return false;
    for (const std::string& name : entries)
        if (kind_of_entry(path_in(path, name)) == entry_kind::file) names.push_back(name);
    return true;
}
