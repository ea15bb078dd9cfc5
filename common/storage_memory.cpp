// Files in memory, optionally over a file system that is only read.
#include "common/storage.h"

#include <algorithm>
#include <cstring>

namespace {

bool read_whole_disk_file(const std::string& path, std::vector<unsigned char>& content) {
    open_file file;
    std::uint64_t size = 0;
    if (!open_existing(path, open_mode::read, file) || !file_size(file, size)) return false;
    if (size > content.max_size()) return false;
    content.resize(static_cast<std::size_t>(size));
    return read_at(file, 0, content.data(), content.size()) == content.size();
}

// The disk file that stands for a path not held in memory, or "" for none.
std::string disk_path_of(const memory_files& memory, const std::string& path) {
    const auto named = memory.on_disk.find(memory_path(path));
    if (named != memory.on_disk.end()) return named->second;
    return memory.disk_below ? path : std::string();
}

}  // namespace

std::string memory_path(const std::string& path) {
    std::string key = !path.empty() && (path[0] == '/' || path[0] == '\\') ? "/" : "";
    std::size_t at = 0;
    while (at <= path.size()) {
        std::size_t end = path.find_first_of("\\/", at);
        if (end == std::string::npos) end = path.size();
        const std::string part = path.substr(at, end - at);
        if (!part.empty() && part != ".") {
            if (!key.empty() && key.back() != '/') key += '/';
            key += part;
        }
        at = end + 1;
    }
    return key;
}

bool memory_file_exists(const memory_files& memory, const std::string& path) {
    if (memory.files.count(memory_path(path)) != 0) return true;
    const std::string disk = disk_path_of(memory, path);
    return !disk.empty() && file_exists(disk);
}

bool copy_new_memory_file(memory_files& memory, const std::string& from, const std::string& to) {
    const std::string key = memory_path(to);
    const std::string disk_to = disk_path_of(memory, to);
    if (memory.files.count(key) != 0 || (!disk_to.empty() && path_exists(disk_to))) return false;
    std::vector<unsigned char> content;
    const auto held = memory.files.find(memory_path(from));
    if (held != memory.files.end()) {
        content = held->second;
    } else {
        const std::string disk_from = disk_path_of(memory, from);
        if (disk_from.empty() || !read_whole_disk_file(disk_from, content)) return false;
    }
    memory.files.emplace(key, std::move(content));
    return true;
}

bool open_memory_file(memory_files& memory, const std::string& path, open_mode mode, stored_file& file) {
    const auto held = memory.files.find(memory_path(path));
    if (held != memory.files.end()) {
        file.bytes = &held->second;
        file.writable = mode == open_mode::read_write;
        return true;
    }
    // The disk is only read.
    const std::string disk = disk_path_of(memory, path);
    return !disk.empty() && mode == open_mode::read && open_existing(disk, mode, file.disk);
}

std::size_t read_memory_at(const stored_file& file, std::uint64_t offset, void* data, std::size_t size) {
    const std::vector<unsigned char>& content = *file.bytes;
    if (offset >= content.size()) return 0;
    const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(size, content.size() - offset));
    std::memcpy(data, content.data() + offset, count);
    return count;
}

bool write_memory_at(const stored_file& file, std::uint64_t offset, const void* data, std::size_t size) {
    // A rebuild never changes a file's length: writes stay inside the file.
    std::vector<unsigned char>& content = *file.bytes;
    if (offset > content.size() || size > content.size() - offset) return false;
    std::memcpy(content.data() + offset, data, size);
    return true;
}
