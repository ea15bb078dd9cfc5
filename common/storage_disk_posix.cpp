// POSIX side of what memory files over the disk ask it. '\' separates folders here too.
#include "common/storage_disk.h"

#include <climits>
#include <sys/stat.h>
#include <unistd.h>

#include "common/path_text.h"

namespace {

std::string native_path(std::string path) {
    for (char& c : path) {
        if (c == '\\') c = '/';
    }
    return path;
}

// The folder that holds the entry at a native path; unlike folder_of, "/" stays itself, so that
// the root can be asked about.
std::string folder_holding(const std::string& path) {
    const auto separator = path.find_last_of('/');
    if (separator == std::string::npos) return ".";
    return path.substr(0, separator == 0 ? 1 : separator);
}

}  // namespace

std::string folder_identity(const std::string& folder) {
    struct stat info {};
    if (::stat(native_path(folder).c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return {};
    return std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino);
}

std::string name_as_compared(const std::string& name) { return name; }

bool read_link(const std::string& path, std::string& target) {
    std::string text(PATH_MAX, '\0');
    const ssize_t length = ::readlink(native_path(path).c_str(), text.data(), text.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= text.size()) return false;
    text.resize(static_cast<std::size_t>(length));
    target = text;
    return true;
}

bool entry_exists(const std::string& path) {
    struct stat info {};
    return ::lstat(native_path(path).c_str(), &info) == 0;
}

bool may_add_entry(const std::string& path) {
    const std::string native = native_path(path);
    if (native.size() >= PATH_MAX) return false;
    const std::string folder = folder_holding(native);
    const std::string name = file_name(native);
    const long longest = ::pathconf(folder.c_str(), _PC_NAME_MAX);
    if (name.empty() || (longest > 0 && name.size() > static_cast<std::size_t>(longest))) return false;
    // The kernel's own check: the folder's permissions for this user (root passes them), and a
    // file system mounted read-only.
    return ::access(folder.c_str(), W_OK | X_OK) == 0;
}

bool may_remove_entry(const std::string& path) {
    const std::string native = native_path(path);
    const std::string folder = folder_holding(native);
    struct stat entry {}, holder {};
    if (::lstat(native.c_str(), &entry) != 0 || ::stat(folder.c_str(), &holder) != 0) return false;
    if (::access(folder.c_str(), W_OK | X_OK) != 0) return false;
    if ((holder.st_mode & S_ISVTX) == 0) return true;
    // In a sticky folder (/tmp) only the owner of the entry or of the folder, or root.
    const uid_t user = ::geteuid();
    return user == 0 || entry.st_uid == user || holder.st_uid == user;
}
