// Files in memory, optionally over a file system that is only read.
#include "common/storage_memory.h"

#include <algorithm>
#include <cstring>

#include "common/path_text.h"
#include "common/storage_disk.h"

namespace {

bool read_whole_disk_file(const std::string& path, std::vector<unsigned char>& content) {
    open_file file;
    std::uint64_t size = 0;
    if (!open_existing(path, open_mode::read, file) || !file_size(file, size)) return false;
    if (size > content.max_size()) return false;
    content.resize(static_cast<std::size_t>(size));
    return read_at(file, 0, content.data(), content.size()) == content.size();
}

bool is_held(const memory_files& memory, const std::string& key) {
    return memory.files.count(key) != 0 || memory.compared.count(key) != 0 || memory.on_disk.count(key) != 0;
}

// A path's key by the disk's rules: its folder's identity and its name as the disk compares
// names. A link is followed unless its own entry is held here, as a moved file is.
std::string disk_key(const memory_files& memory, std::string path, bool follow_links) {
    // As many links in a row as the system follows.
    constexpr int most_links = 40;
    for (int links = 0;; ++links) {
        const auto separator = path.find_last_of("\\/");
        // A root folder ("/", "C:\") keeps its separator.
        const bool root = separator == 0 || (separator == 2 && path[1] == ':');
        const std::string folder = separator == std::string::npos ? "." : path.substr(0, root ? separator + 1 : separator);
        const std::string name = separator == std::string::npos ? path : path.substr(separator + 1);
        const std::string identity = folder_identity(folder);
        if (identity.empty() || name.empty() || name == "." || name == "..") return memory_path(path);
        std::string key = identity + "/" + name_as_compared(name);
        std::string target;
        if (!follow_links || links == most_links || is_held(memory, key) || !read_link(path, target)) return key;
        const bool absolute = target[0] == '/' || target[0] == '\\' || (target.size() > 1 && target[1] == ':');
        path = absolute ? target : path_in(folder, target);
    }
}

// The key of the entry at a path itself, a link not followed.
std::string entry_key(const memory_files& memory, const std::string& path) {
    return memory.disk_rules ? disk_key(memory, path, false) : memory_path(path);
}

// The disk file that stands for a path not held in memory, or "" for none.
std::string disk_path_of(const memory_files& memory, const std::string& path) {
    const auto named = memory.on_disk.find(memory_key(memory, path));
    if (named != memory.on_disk.end()) return named->second;
    return memory.disk_below ? path : std::string();
}

using page_count = std::uint64_t;
constexpr std::size_t page_size = compared_file::page_size;

bool start_compared_copy(const std::string& from_disk, const std::string& expected_disk, compared_file& copy) {
    if (!open_existing(from_disk, open_mode::read, copy.copied) || !file_size(copy.copied, copy.size) ||
        !open_existing(expected_disk, open_mode::read, copy.expected))
        return false;
    copy.state.assign(static_cast<std::size_t>((copy.size + page_size - 1) / page_size), compared_file::as_copied);
    return true;
}

std::size_t read_compared(const compared_file& file, std::uint64_t offset, unsigned char* data, std::size_t size) {
    if (offset >= file.size) return 0;
    const std::uint64_t end = offset + std::min<std::uint64_t>(size, file.size - offset);
    std::size_t done = 0;
    for (std::uint64_t at = offset; at < end;) {
        const page_count page = at / page_size;
        const unsigned char state = file.state[page];
        // Neighbouring pages read from the same file are read in one call.
        page_count last = page;
        if (state != compared_file::held)
            while ((last + 1) * page_size < end && file.state[last + 1] == state) ++last;
        const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(end, (last + 1) * page_size) - at);
        if (state == compared_file::held) {
            std::memcpy(data + done, file.pages.at(page).data() + (at - page * page_size), piece);
        } else if (read_at(state == compared_file::as_copied ? file.copied : file.expected, at, data + done, piece) != piece) {
            return done;
        }
        done += piece;
        at += piece;
    }
    return done;
}

// Each page written is compared with the expected file's: equal pages are let go.
bool write_compared(compared_file& file, std::uint64_t offset, const unsigned char* data, std::size_t size) {
    if (offset > file.size || size > file.size - offset) return false;
    const std::uint64_t end = offset + size;
    std::vector<unsigned char> now(page_size), wanted(page_size);
    for (page_count page = offset / page_size; page * page_size < end; ++page) {
        const std::uint64_t from = page * page_size;
        const std::size_t length = static_cast<std::size_t>(std::min<std::uint64_t>(page_size, file.size - from));
        const std::uint64_t low = std::max(from, offset), high = std::min(from + length, end);
        if ((low > from || high < from + length) && read_compared(file, from, now.data(), length) != length) return false;
        std::memcpy(now.data() + (low - from), data + (low - offset), static_cast<std::size_t>(high - low));
        if (read_at(file.expected, from, wanted.data(), length) == length && std::memcmp(now.data(), wanted.data(), length) == 0) {
            file.state[page] = compared_file::as_expected;
            file.pages.erase(page);
        } else {
            file.state[page] = compared_file::held;
            file.pages[page].assign(now.begin(), now.begin() + static_cast<std::ptrdiff_t>(length));
        }
    }
    return true;
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

std::string memory_key(const memory_files& memory, const std::string& path) {
    return memory.disk_rules ? disk_key(memory, path, true) : memory_path(path);
}

bool memory_file_exists(const memory_files& memory, const std::string& path) {
    const std::string key = memory_key(memory, path);
    if (memory.files.count(key) != 0 || memory.compared.count(key) != 0) return true;
    const std::string disk = disk_path_of(memory, path);
    return !disk.empty() && file_exists(disk);
}

bool copy_new_memory_file(memory_files& memory, const std::string& from, const std::string& to) {
    const std::string key = memory_key(memory, to);
    const std::string disk_to = disk_path_of(memory, to);
    if (memory_file_exists(memory, to) || (!disk_to.empty() && path_exists(disk_to))) return false;
    if (memory.disk_rules && ((!disk_to.empty() && entry_exists(disk_to)) || !may_add_entry(to))) return false;
    const auto held = memory.files.find(memory_key(memory, from));
    const auto compare = memory.compare_with.find(key);
    if (compare != memory.compare_with.end()) {
        // Compared copies are made of disk files only.
        const std::string disk_from = held == memory.files.end() ? disk_path_of(memory, from) : std::string();
        auto copy = std::make_shared<compared_file>();
        if (disk_from.empty() || !start_compared_copy(disk_from, compare->second, *copy)) return false;
        memory.compared.emplace(key, std::move(copy));
        return true;
    }
    std::vector<unsigned char> content;
    if (held != memory.files.end()) {
        content = held->second;
    } else {
        const std::string disk_from = disk_path_of(memory, from);
        if (disk_from.empty() || !read_whole_disk_file(disk_from, content)) return false;
    }
    memory.files.emplace(key, std::move(content));
    return true;
}

bool move_memory_file(memory_files& memory, const std::string& from, const std::string& to) {
    const std::string disk_to = disk_path_of(memory, to);
    if (memory_file_exists(memory, to) || (!disk_to.empty() && path_exists(disk_to))) return false;
    if (memory.disk_rules && ((!disk_to.empty() && entry_exists(disk_to)) || !may_add_entry(from) || !may_add_entry(to)))
        return false;
    const std::string from_key = entry_key(memory, from), to_key = entry_key(memory, to);
    const auto held = memory.files.find(from_key);
    const auto compared = memory.compared.find(from_key);
    if (held != memory.files.end()) {
        memory.files[to_key] = std::move(held->second);
        memory.files.erase(from_key);
    } else if (compared != memory.compared.end()) {
        memory.compared[to_key] = std::move(compared->second);
        memory.compared.erase(from_key);
    } else {
        const auto named = memory.on_disk.find(from_key);
        const std::string disk = named != memory.on_disk.end() ? named->second : memory.disk_below ? from : std::string();
        if (disk.empty() || !path_exists(disk)) return false;
        memory.on_disk[to_key] = disk;
    }
    if (memory.on_disk.count(from_key) != 0 || memory.disk_below) memory.on_disk[from_key] = "";
    return true;
}

bool open_memory_file(memory_files& memory, const std::string& path, open_mode mode, stored_file& file) {
    const std::string key = memory_key(memory, path);
    const auto compared = memory.compared.find(key);
    if (compared != memory.compared.end()) {
        file.compared = compared->second.get();
        file.writable = mode == open_mode::read_write;
        return true;
    }
    const auto held = memory.files.find(key);
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
    if (file.compared) return read_compared(*file.compared, offset, static_cast<unsigned char*>(data), size);
    const std::vector<unsigned char>& content = *file.bytes;
    if (offset >= content.size()) return 0;
    const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(size, content.size() - offset));
    std::memcpy(data, content.data() + offset, count);
    return count;
}

bool write_memory_at(const stored_file& file, std::uint64_t offset, const void* data, std::size_t size) {
    // A rebuild never changes a file's length: writes stay inside the file.
    if (file.compared) return write_compared(*file.compared, offset, static_cast<const unsigned char*>(data), size);
    std::vector<unsigned char>& content = *file.bytes;
    if (offset > content.size() || size > content.size() - offset) return false;
    std::memcpy(content.data() + offset, data, size);
    return true;
}

bool memory_path_exists(const memory_files& memory, const std::string& path) {
    if (memory_file_exists(memory, path)) return true;
    const std::string disk = disk_path_of(memory, path);
    return !disk.empty() && path_exists(disk);
}

bool create_memory_file(memory_files& memory, const std::string& path, const std::string& content) {
    if (memory_path_exists(memory, path)) return false;
    if (memory.disk_rules && !may_add_entry(path)) return false;
    memory.files.emplace(memory_key(memory, path), std::vector<unsigned char>(content.begin(), content.end()));
    return true;
}

bool memory_plain_file(const memory_files& memory, const std::string& path) {
    const std::string key = entry_key(memory, path);
    if (memory.files.count(key) != 0 || memory.compared.count(key) != 0) return true;
    const std::string disk = disk_path_of(memory, path);
    return !disk.empty() && is_plain_file(disk);
}

bool memory_file_removable(const memory_files& memory, const std::string& path) {
    const std::string key = entry_key(memory, path);
    if (memory.files.count(key) != 0 || memory.compared.count(key) != 0) return true;
    const std::string disk = disk_path_of(memory, path);
    if (disk.empty() || !entry_exists(disk)) return false;
    return !memory.disk_rules || may_remove_entry(disk);
}

bool delete_memory_file(memory_files& memory, const std::string& path) {
    const std::string key = entry_key(memory, path);
    const std::string disk = disk_path_of(memory, path);
    const bool held_here = memory.files.count(key) != 0 || memory.compared.count(key) != 0;
    if (!held_here && memory.disk_rules && !disk.empty() && entry_exists(disk) && !may_remove_entry(disk)) return false;
    const bool held = memory.files.erase(key) + memory.compared.erase(key) > 0;
    if (!held && (disk.empty() || !path_exists(disk) || is_directory(disk))) return false;
    // Hidden from now on, whether it was held here or read from the disk.
    memory.on_disk[key] = "";
    return true;
}

bool memory_file_matches(const memory_files& memory, const std::string& path) {
    const auto compared = memory.compared.find(memory_key(memory, path));
    if (compared == memory.compared.end()) return false;
    const compared_file& file = *compared->second;
    std::uint64_t expected_size = 0;
    if (!file_size(file.expected, expected_size) || expected_size != file.size) return false;
    // A held page differs from the expected one (it would have been let go otherwise), and an
    // expected page is the expected file's: only the pages never written are left to compare.
    std::vector<unsigned char> ours(page_size), theirs(page_size);
    for (page_count page = 0; page < file.state.size(); ++page) {
        if (file.state[page] == compared_file::held) return false;
        if (file.state[page] == compared_file::as_expected) continue;
        const std::uint64_t from = page * page_size;
        const std::size_t length = static_cast<std::size_t>(std::min<std::uint64_t>(page_size, file.size - from));
        if (read_at(file.copied, from, ours.data(), length) != length || read_at(file.expected, from, theirs.data(), length) != length ||
            std::memcmp(ours.data(), theirs.data(), length) != 0)
            return false;
    }
    return true;
}
