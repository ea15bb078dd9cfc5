#include "common/unique_path.h"

#include "common/file_system.h"
#include "common/path_text.h"

std::string unique_path(const std::string& path) {
    return unique_path(path, [](const std::string& candidate) { return file_exists(candidate) || is_directory(candidate); });
}

std::string unique_path(const std::string& path, const std::function<bool(const std::string&)>& taken) {
    const std::string extension = file_extension(path);
    const std::string dotted_extension = extension.empty() ? std::string() : "." + extension;
    const std::string stem = strip_extension(path);

    std::string candidate = path;
    // The counter is 64-bit: the series cannot wrap before every name on a disk is taken.
    for (unsigned long long n = 2;; ++n) {
        if (!taken(candidate)) return candidate;
        candidate = stem + " (" + std::to_string(n) + ")" + dotted_extension;
    }
}
