// A small memory-backed file system mounted for one test, to fill or to make read-only: needs
// root, POSIX only. `mounted` is false where the mount is refused; the test then skips.
#pragma once

#ifndef _WIN32
#include <sys/mount.h>

#include <string>

#include "tests/support/test_files.h"

struct small_disk {
    std::string path;
    std::string size;  // the mount option, "size=96k"
    bool mounted = false;

    small_disk(const std::string& at, const std::string& size_option) : path(at), size(size_option) {
        make_folder(path);
        mounted = ::mount("tmpfs", path.c_str(), "tmpfs", 0, size.c_str()) == 0;
    }
    small_disk(const small_disk&) = delete;
    small_disk& operator=(const small_disk&) = delete;
    ~small_disk() {
        if (mounted) ::umount2(path.c_str(), MNT_DETACH);
    }
    // Mounted again, writable or read-only (which stops root too).
    bool remount(bool writable) const {
        return ::mount("tmpfs", path.c_str(), "tmpfs", MS_REMOUNT | (writable ? 0 : MS_RDONLY), size.c_str()) == 0;
    }
};
#endif
