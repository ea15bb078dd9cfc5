// The operating system's file calls, behind one small interface. Paths are 8-bit texts in the
// system's code page; '\' and '/' both separate folders (the POSIX build maps '\' to '/').
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// True when the file can be opened for reading; false for a missing file or a folder.
bool file_exists(const std::string& path);

// True when something, file or folder, is present at the path.
bool path_exists(const std::string& path);

bool is_directory(const std::string& path);

// True when the entry at the path itself is a plain file: not a folder, a link, a device or a pipe.
bool is_plain_file(const std::string& path);

// Creates a folder in an existing one; false when it cannot, or something is there already.
bool create_folder(const std::string& path);

// Copies a file; never replaces an existing file at `to`.
bool copy_new_file(const std::string& from, const std::string& to);

// Renames (on Windows also copies and deletes across volumes). Never replaces anything at `to`,
// not even a file that cannot be read or a dangling link: the move fails instead.
bool move_file(const std::string& from, const std::string& to);

bool delete_file(const std::string& path);

// Moves a file to `to` within one folder, replacing a file already there.
bool replace_file(const std::string& from, const std::string& to);

// The names of the plain files in a folder (no folders), in no particular order.
bool list_folder_files(const std::string& path, std::vector<std::string>& names);

// An open file, read and written at explicit positions with no buffering of its own, so that
// a second handle on the same file sees every completed write at once.
struct open_file {
    std::intptr_t native = -1;

    open_file() = default;
    open_file(const open_file&) = delete;
    open_file& operator=(const open_file&) = delete;
    open_file(open_file&& other) noexcept;
    open_file& operator=(open_file&& other) noexcept;
    ~open_file();

    bool is_open() const { return native != -1; }
};

enum class open_mode { read, read_write };

// Opens an existing file (never creates one). Other handles may read and write it meanwhile.
bool open_existing(const std::string& path, open_mode mode, open_file& file);

// Creates a file that is not there yet, opened for reading and writing.
bool create_new_file(const std::string& path, open_file& file);

void close_file(open_file& file);

// Reads up to `size` bytes at `offset`; returns how many were read (fewer at the end of the
// file or on an error).
std::size_t read_at(const open_file& file, std::uint64_t offset, void* data, std::size_t size);

// Writes all `size` bytes at `offset`, or returns false.
bool write_at(const open_file& file, std::uint64_t offset, const void* data, std::size_t size);

bool file_size(const open_file& file, std::uint64_t& size);

// Returns once the file's bytes are on the disk itself, not only in the system's cache, so
// that a power cut afterwards cannot take them back.
bool flush_to_disk(const open_file& file);

// The same for a folder's entries (a file created, renamed or deleted in it). Where the file
// system keeps folders safe by itself (Windows), there is nothing to do.
bool flush_folder_to_disk(const std::string& path);

// True when both handles refer to the same file on disk, whatever paths opened them.
bool same_file(const open_file& a, const open_file& b);

// A lock on a folder that one process at a time holds, for as long as `lock` stays open; the
// system lets it go when the process ends, however it ends. POSIX locks the folder itself;
// Windows holds "mapmend.lock" in it, opened without sharing and deleted when closed.
enum class folder_lock_try { held, busy, failed };
folder_lock_try try_lock_folder(const std::string& folder, open_file& lock);
