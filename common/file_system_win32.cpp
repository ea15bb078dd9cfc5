// Windows side of the file layer: the ANSI file calls of the kernel (the wide listing aside).
#include "common/file_system.h"

#include <windows.h>

namespace {

HANDLE handle_of(const open_file& file) { return reinterpret_cast<HANDLE>(file.native); }

// Deleting shared too: a run that only looks at a patch (another run's check of its arguments)
// must not make this run's deletion of it fail.
constexpr DWORD shared_access = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Only files on disk count: a path such as CON or a named pipe could block a read forever.
HANDLE open_disk_file(const std::string& path, DWORD access, DWORD flags = FILE_ATTRIBUTE_NORMAL) {
    const HANDLE handle = CreateFileA(path.c_str(), access, shared_access, nullptr, OPEN_EXISTING, flags, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return handle;
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        CloseHandle(handle);
        return INVALID_HANDLE_VALUE;
    }
    return handle;
}

// Positions go through the handle's file pointer, not an OVERLAPPED offset: under Wine each
// OVERLAPPED call on a synchronous handle also wakes the Wine server (measured: a preemption
// per call and 15% slower 256 KiB reads); the pointer costs nothing there or on Windows. Each
// handle is used by one thread at a time, so nothing else moves its pointer between the calls.
bool seek(const open_file& file, std::uint64_t offset) {
    LARGE_INTEGER at{};
    at.QuadPart = static_cast<LONGLONG>(offset);
    return SetFilePointerEx(handle_of(file), at, nullptr, FILE_BEGIN) != 0;
}

// ReadFile and WriteFile take 32-bit counts; stay well below that.
constexpr std::size_t largest_transfer = std::size_t{1} << 30;

}  // namespace

bool file_exists(const std::string& path) {
    const HANDLE handle = open_disk_file(path, GENERIC_READ);
    if (handle == INVALID_HANDLE_VALUE) return false;
    CloseHandle(handle);
    return true;
}

bool path_exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool is_directory(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool is_plain_file(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    constexpr DWORD not_plain = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE;
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & not_plain) == 0;
}

bool create_folder(const std::string& path) { return CreateDirectoryA(path.c_str(), nullptr) != 0; }

bool copy_new_file(const std::string& from, const std::string& to) {
    return CopyFileA(from.c_str(), to.c_str(), TRUE) != 0;
}

bool move_file(const std::string& from, const std::string& to) {
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_COPY_ALLOWED) != 0;
}

bool delete_file(const std::string& path) { return DeleteFileA(path.c_str()) != 0; }

bool replace_file(const std::string& from, const std::string& to) {
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}


namespace {

// A listed name in the code page, exactly. The ANSI listing writes '?' for a character the code
// page lacks, or a look-alike ("best fit", an O for an O with a macron), which names another file
// or none. Such a name cannot be opened through the ANSI calls at all: it is listed in UTF-8, for
// the callers to refuse by its name.
std::string listed_name(const wchar_t* name) {
    BOOL inexact = FALSE;
    int size = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, name, -1, nullptr, 0, nullptr, &inexact);
    const UINT code_page = size > 0 && !inexact ? CP_ACP : CP_UTF8;
    const DWORD flags = code_page == CP_ACP ? WC_NO_BEST_FIT_CHARS : 0;
    size = WideCharToMultiByte(code_page, flags, name, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return {};
    std::string text(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(code_page, flags, name, -1, &text[0], size, nullptr, nullptr);
    text.pop_back();  // the terminating NUL
    return text;
}

}  // namespace

bool list_folder_entries(const std::string& path, std::vector<std::string>& names) {
    names.clear();
    const std::string pattern = path + "\\*";
    const int size = MultiByteToWideChar(CP_ACP, 0, pattern.c_str(), -1, nullptr, 0);
    if (size <= 0) return false;
    std::wstring wide_pattern(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_ACP, 0, pattern.c_str(), -1, &wide_pattern[0], size);
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileW(wide_pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
    do {
        const std::string name = listed_name(found.cFileName);
        if (!name.empty() && name != "." && name != "..") names.push_back(name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return true;
}

entry_kind kind_of_entry(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return GetLastError() == ERROR_CANT_RESOLVE_FILENAME ? entry_kind::link_loop : entry_kind::missing;
    // The attributes are the link's own; what it leads to shows when it is opened.
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        const HANDLE target = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (target == INVALID_HANDLE_VALUE)
            return GetLastError() == ERROR_CANT_RESOLVE_FILENAME ? entry_kind::link_loop : entry_kind::dangling_link;
        CloseHandle(target);
    }
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? entry_kind::folder : entry_kind::file;
}

bool create_new_file(const std::string& path, open_file& file) {
    close_file(file);
    const HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, shared_access, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    file.native = reinterpret_cast<std::intptr_t>(handle);
    return true;
}

bool open_existing(const std::string& path, open_mode mode, open_file& file) {
    close_file(file);
    const DWORD access = mode == open_mode::read ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE;
    // Every file this tool opens only to read, it reads from the start towards the end: a
    // digest, a rebuild's source at rising offsets. The cache manager then reads further ahead.
    const DWORD flags = mode == open_mode::read ? FILE_FLAG_SEQUENTIAL_SCAN : FILE_ATTRIBUTE_NORMAL;
    const HANDLE handle = open_disk_file(path, access, flags);
    if (handle == INVALID_HANDLE_VALUE) return false;
    file.native = reinterpret_cast<std::intptr_t>(handle);
    return true;
}

void close_file(open_file& file) {
    if (file.native != -1) CloseHandle(handle_of(file));
    file.native = -1;
}

std::size_t read_at(const open_file& file, std::uint64_t offset, void* data, std::size_t size) {
    std::size_t done = 0;
    auto* bytes = static_cast<unsigned char*>(data);
    while (done < size) {
        if (!seek(file, offset + done)) break;
        const DWORD wanted = static_cast<DWORD>(size - done < largest_transfer ? size - done : largest_transfer);
        DWORD got = 0;
        if (!ReadFile(handle_of(file), bytes + done, wanted, &got, nullptr) || got == 0) break;
        done += got;
    }
    return done;
}

bool write_at(const open_file& file, std::uint64_t offset, const void* data, std::size_t size) {
    std::size_t done = 0;
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (done < size) {
        if (!seek(file, offset + done)) return false;
        const DWORD wanted = static_cast<DWORD>(size - done < largest_transfer ? size - done : largest_transfer);
        DWORD put = 0;
        if (!WriteFile(handle_of(file), bytes + done, wanted, &put, nullptr) || put == 0) return false;
        done += put;
    }
    return true;
}

bool file_size(const open_file& file, std::uint64_t& size) {
    LARGE_INTEGER value{};
    if (!GetFileSizeEx(handle_of(file), &value)) return false;
    size = static_cast<std::uint64_t>(value.QuadPart);
    return true;
}

bool flush_to_disk(const open_file& file) { return FlushFileBuffers(handle_of(file)) != 0; }

// Windows has no flush call for a folder's entries; on NTFS, flushing the file also commits
// the journal that records them.
bool flush_folder_to_disk(const std::string&) { return true; }

bool same_file(const open_file& a, const open_file& b) {
    BY_HANDLE_FILE_INFORMATION first{}, second{};
    return GetFileInformationByHandle(handle_of(a), &first) && GetFileInformationByHandle(handle_of(b), &second) &&
           first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
           first.nFileIndexHigh == second.nFileIndexHigh && first.nFileIndexLow == second.nFileIndexLow;
}

namespace {

// What a lock file holds, so that one left by a power cut can be told from a file of the user's.
constexpr char lock_text[] = "mapmend folder lock\r\n";

// True for the text of a lock file or the part of it that reached the disk.
bool is_lock_text(const std::string& path) {
    open_file file;
    std::uint64_t size = 0;
    if (!open_existing(path, open_mode::read, file) || !file_size(file, size) || size > sizeof lock_text - 1) return false;
    char text[sizeof lock_text] = {};
    return read_at(file, 0, text, static_cast<std::size_t>(size)) == size &&
           std::string(lock_text).compare(0, static_cast<std::size_t>(size), text, static_cast<std::size_t>(size)) == 0;
}

}  // namespace

folder_lock_try try_lock_folder(const std::string& folder, open_file& lock) {
    close_file(lock);
    const std::string path = folder + "\\mapmend.lock";
    // No sharing: a second open fails while the lock is held. The system deletes the file when
    // its handle closes, also when the process is killed.
    const HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
        lock.native = reinterpret_cast<std::intptr_t>(handle);
        DWORD put = 0;
        WriteFile(handle, lock_text, sizeof lock_text - 1, &put, nullptr);
        return folder_lock_try::held;
    }
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS && error != ERROR_ACCESS_DENIED &&
        error != ERROR_SHARING_VIOLATION)
        return folder_lock_try::failed;
    // Access is denied both to a file being deleted and in a folder that cannot be written.
    if (!path_exists(path)) return error == ERROR_ACCESS_DENIED ? folder_lock_try::failed : folder_lock_try::busy;
    const HANDLE probe = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (probe == INVALID_HANDLE_VALUE) {
        const DWORD probe_error = GetLastError();
        return probe_error == ERROR_SHARING_VIOLATION || probe_error == ERROR_ACCESS_DENIED ||
                       probe_error == ERROR_FILE_NOT_FOUND
                   ? folder_lock_try::busy
                   : folder_lock_try::failed;
    }
    CloseHandle(probe);
    // Nobody holds it: a power cut left it, and it goes; a file of that name that the user made
    // stays, and the folder cannot be locked.
    if (!is_lock_text(path)) return folder_lock_try::failed;
    DeleteFileA(path.c_str());
    return folder_lock_try::busy;
}
