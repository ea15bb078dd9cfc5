// The plain files of a folder, from the platform's listing of every entry.
#include "common/file_system.h"
#include "common/path_text.h"

bool list_folder_files(const std::string& path, std::vector<std::string>& names) {
    names.clear();
    std::vector<std::string> entries;
    if (!list_folder_entries(path, entries)) return false;
    for (const std::string& name : entries) {
        // Where '\' separates folders too (POSIX), such a name cannot be reached through a path:
        // it is listed for the callers to refuse by its name.
        if (name.find('\\') != std::string::npos || kind_of_entry(path_in(path, name)) == entry_kind::file)
            names.push_back(name);
    }
    return true;
}
