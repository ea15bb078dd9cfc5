// Windows side of what memory files over the disk ask it.
#include "common/storage_disk.h"

#include <windows.h>

#include "common/path_text.h"

namespace {

// The folder that holds the entry at a path; unlike folder_of, a root ("\", "C:\") stays itself,
// so that it can be opened.
std::string folder_holding(const std::string& path) {
    const auto separator = path.find_last_of("\\/");
    if (separator == std::string::npos) return ".";
    const bool root = separator == 0 || (separator == 2 && path[1] == ':');
    return path.substr(0, root ? separator + 1 : separator);
}

HANDLE open_folder(const std::string& folder, DWORD access) {
    return CreateFileA(folder.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

}  // namespace

std::string folder_identity(const std::string& folder) {
    const HANDLE handle = open_folder(folder, FILE_READ_ATTRIBUTES);
    if (handle == INVALID_HANDLE_VALUE) return {};
    BY_HANDLE_FILE_INFORMATION info{};
    const bool known = GetFileInformationByHandle(handle, &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    CloseHandle(handle);
    if (!known) return {};
    return std::to_string(info.dwVolumeSerialNumber) + ":" + std::to_string(info.nFileIndexHigh) + ":" +
           std::to_string(info.nFileIndexLow);
}

// The file calls drop a name's trailing dots and blanks, and compare names without case.
std::string name_as_compared(const std::string& name) {
    std::string key = name;
    while (!key.empty() && (key.back() == '.' || key.back() == ' ')) key.pop_back();
    if (!key.empty()) CharUpperBuffA(key.data(), static_cast<DWORD>(key.size()));
    return key;
}

// Links are not followed here: each path is taken for its own file.
bool read_link(const std::string&, std::string&) { return false; }

bool entry_exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool may_add_entry(const std::string& path) {
    // The ANSI file calls take full paths shorter than MAX_PATH.
    char full[MAX_PATH];
    const DWORD length = GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr);
    if (length == 0 || length >= MAX_PATH) return false;
    if (file_name(path).empty()) return false;
    // A folder opened for adding files: the folder's permissions for this user, and a volume
    // that cannot be written.
    const HANDLE folder = open_folder(folder_holding(path), FILE_ADD_FILE);
    if (folder == INVALID_HANDLE_VALUE) return false;
    CloseHandle(folder);
    return true;
}

bool may_remove_entry(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_READONLY) != 0) return false;
    // Opened for deletion: the entry's and the folder's permissions for this user.
    const HANDLE entry = CreateFileA(path.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                     OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (entry == INVALID_HANDLE_VALUE) return false;
    CloseHandle(entry);
    return true;
}
