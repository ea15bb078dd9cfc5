// POSIX side of the file layer. '\' is a folder separator here too, so that the same
// command lines work on Linux and on Windows.
#include "common/file_system.h"

#include <cerrno>
#include <cstdio>
#include <utility>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
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

int fd_of(const open_file& file) { return static_cast<int>(file.native); }

bool stat_path(const std::string& path, struct stat& info) {
    return ::stat(native_path(path).c_str(), &info) == 0;
}

// Only regular files count: a FIFO or a device could block a read forever or never end.
// O_NONBLOCK keeps the open itself from waiting for a FIFO's writer.
int open_regular(const std::string& path, int flags) {
    const int fd = ::open(native_path(path).c_str(), flags | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return -1;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

// Lets the kernel move the bytes from file to file where it can (no trip through a user
// buffer; a filesystem may even share the blocks). Returns the bytes copied before it could
// not go on: the rest is then copied by reading and writing.
std::uint64_t copy_in_kernel(int from, int to) {
#if defined(__linux__)
    std::uint64_t done = 0;
    for (;;) {
        const ssize_t put = ::copy_file_range(from, nullptr, to, nullptr, std::size_t{1} << 30, 0);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return done;
        done += static_cast<std::uint64_t>(put);
    }
#else
    (void)from;
    (void)to;
    return 0;
#endif
}

}  // namespace

bool file_exists(const std::string& path) {
    const int fd = open_regular(path, O_RDONLY);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

bool path_exists(const std::string& path) {
    struct stat info {};
    return stat_path(path, info);
}

bool is_directory(const std::string& path) {
    struct stat info {};
    return stat_path(path, info) && S_ISDIR(info.st_mode);
}

bool is_plain_file(const std::string& path) {
    struct stat info {};
    return ::lstat(native_path(path).c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool create_folder(const std::string& path) { return ::mkdir(native_path(path).c_str(), 0777) == 0; }

bool copy_new_file(const std::string& from, const std::string& to) {
    open_file source;
    if (!open_existing(from, open_mode::read, source)) return false;
    const int target = ::open(native_path(to).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (target < 0) return false;
    open_file output;
    output.native = target;

    // Whatever the kernel did not copy (all of it where the call is not supported, or after
    // an error part-way) is copied here, from where it stopped; a real read or write error
    // shows up again below and fails the copy.
    std::uint64_t offset = copy_in_kernel(fd_of(source), target);
    static constexpr std::size_t buffer_size = 1 << 20;
    std::string buffer(buffer_size, '\0');
    for (;;) {
        const ssize_t got = ::pread(fd_of(source), buffer.data(), buffer_size, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return false;
        if (got == 0) return true;
        if (!write_at(output, offset, buffer.data(), static_cast<std::size_t>(got))) return false;
        offset += static_cast<std::uint64_t>(got);
    }
}

bool move_file(const std::string& from, const std::string& to) {
    const std::string source = native_path(from), target = native_path(to);
#if defined(__linux__)
    if (::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) return true;
    // Only a file system or kernel without the flag falls through; any other refusal stands.
    if (errno != EINVAL && errno != ENOSYS) return false;
#endif
    // A new link fails when anything is at the target, a dangling link included.
    if (::linkat(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), 0) == 0) {
        if (::unlink(source.c_str()) == 0) return true;
        ::unlink(target.c_str());
        return false;
    }
    if (errno != EPERM && errno != ENOTSUP && errno != EMLINK) return false;
    // No hard links here either (a FAT volume, some network file systems): a plain rename, but
    // only onto nothing. Another program could still take the name in between.
    struct stat info {};
    if (::lstat(target.c_str(), &info) == 0 || errno != ENOENT) return false;
    return std::rename(source.c_str(), target.c_str()) == 0;
}

bool delete_file(const std::string& path) {
    return std::remove(native_path(path).c_str()) == 0;
}

bool replace_file(const std::string& from, const std::string& to) {
    return std::rename(native_path(from).c_str(), native_path(to).c_str()) == 0;
}

bool list_folder_files(const std::string& path, std::vector<std::string>& names) {
    names.clear();
    DIR* folder = ::opendir(native_path(path).c_str());
    if (!folder) return false;
    while (const dirent* entry = ::readdir(folder)) {
        const std::string name = entry->d_name;
        struct stat info {};
        if (::stat(path_in(native_path(path), name).c_str(), &info) == 0 && S_ISREG(info.st_mode)) names.push_back(name);
    }
    ::closedir(folder);
    return true;
}

bool create_new_file(const std::string& path, open_file& file) {
    close_file(file);
    const int fd = ::open(native_path(path).c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    file.native = fd;
    return true;
}

bool open_existing(const std::string& path, open_mode mode, open_file& file) {
    close_file(file);
    const int fd = open_regular(path, mode == open_mode::read ? O_RDONLY : O_RDWR);
    if (fd < 0) return false;
    // Every file this tool opens only to read, it reads from the start towards the end: a
    // digest, a copy, a rebuild's source at rising offsets. Reading further ahead pays off.
    if (mode == open_mode::read) ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    file.native = fd;
    return true;
}

void close_file(open_file& file) {
    if (file.native != -1) ::close(fd_of(file));
    file.native = -1;
}

std::size_t read_at(const open_file& file, std::uint64_t offset, void* data, std::size_t size) {
    std::size_t done = 0;
    auto* bytes = static_cast<unsigned char*>(data);
    while (done < size) {
        const ssize_t got = ::pread(fd_of(file), bytes + done, size - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        done += static_cast<std::size_t>(got);
    }
    return done;
}

bool write_at(const open_file& file, std::uint64_t offset, const void* data, std::size_t size) {
    std::size_t done = 0;
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (done < size) {
        const ssize_t put = ::pwrite(fd_of(file), bytes + done, size - done, static_cast<off_t>(offset + done));
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        done += static_cast<std::size_t>(put);
    }
    return true;
}

bool file_size(const open_file& file, std::uint64_t& size) {
    struct stat info {};
    if (::fstat(fd_of(file), &info) != 0) return false;
    size = static_cast<std::uint64_t>(info.st_size);
    return true;
}

bool flush_to_disk(const open_file& file) {
    for (;;) {
        if (::fsync(fd_of(file)) == 0) return true;
        if (errno != EINTR) return false;
    }
}

bool flush_folder_to_disk(const std::string& path) {
    // A new file's bytes can be on the disk while its name is not: the folder is flushed too.
    const int fd = ::open(native_path(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    open_file folder;
    folder.native = fd;
    // Some file systems have no flush of a folder of their own and refuse the call.
    return flush_to_disk(folder) || errno == EINVAL || errno == ENOTSUP;
}

bool same_file(const open_file& a, const open_file& b) {
    struct stat first {}, second {};
    return ::fstat(fd_of(a), &first) == 0 && ::fstat(fd_of(b), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

folder_lock_try try_lock_folder(const std::string& folder, open_file& lock) {
    close_file(lock);
    const int fd = ::open(native_path(folder).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return folder_lock_try::failed;
    open_file held;
    held.native = fd;
    // flock, not fcntl: an fcntl lock would go with the first close of any handle of the folder.
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            lock = std::move(held);
            return folder_lock_try::held;
        }
        if (errno == EWOULDBLOCK) return folder_lock_try::busy;
        if (errno != EINTR) return folder_lock_try::failed;
    }
}
