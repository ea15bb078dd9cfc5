// The storage calls: files on disk through the file layer; memory files are handed to
// storage_memory.cpp.
#include "common/storage.h"
#include "common/storage_disk.h"
#include "common/storage_memory.h"

#include <algorithm>
#include <thread>

bool stored_file_exists(const storage& where, const std::string& path) {
    return where.memory ? memory_file_exists(*where.memory, path) : file_exists(path);
}

bool copy_new_stored_file(const storage& where, const std::string& from, const std::string& to) {
    return where.memory ? copy_new_memory_file(*where.memory, from, to) : copy_new_file(from, to);
}

bool open_stored_file(const storage& where, const std::string& path, open_mode mode, stored_file& file) {
    close_file(file.disk);
    file.bytes = nullptr;
    file.compared = nullptr;
    file.writable = false;
    if (where.memory) return open_memory_file(*where.memory, path, mode, file);
    if (!open_existing(path, mode, file.disk)) return false;
    file.writable = mode == open_mode::read_write;
    return true;
}

std::size_t read_at(const stored_file& file, std::uint64_t offset, void* data, std::size_t size) {
    return file.bytes || file.compared ? read_memory_at(file, offset, data, size) : read_at(file.disk, offset, data, size);
}

bool write_at(const stored_file& file, std::uint64_t offset, const void* data, std::size_t size) {
    if (!file.writable) return false;
    return file.bytes || file.compared ? write_memory_at(file, offset, data, size) : write_at(file.disk, offset, data, size);
}

bool file_size(const stored_file& file, std::uint64_t& size) {
    if (file.compared) {
        size = file.compared->size;
        return true;
    }
    if (!file.bytes) return file_size(file.disk, size);
    size = file.bytes->size();
    return true;
}

bool same_file(const stored_file& a, const stored_file& b) {
    if (a.compared || b.compared) return a.compared == b.compared;
    if (a.bytes || b.bytes) return a.bytes == b.bytes;
    return same_file(a.disk, b.disk);
}

bool stored_path_exists(const storage& where, const std::string& path) {
    return where.memory ? memory_path_exists(*where.memory, path) : path_exists(path);
}

bool create_stored_file(const storage& where, const std::string& path, const std::string& content) {
    if (where.memory) return create_memory_file(*where.memory, path, content);
    open_file file;
    return create_new_file(path, file) && write_at(file, 0, content.data(), content.size()) && flush_to_disk(file);
}

bool delete_stored_file(const storage& where, const std::string& path) {
    return where.memory ? delete_memory_file(*where.memory, path) : delete_file(path);
}

bool move_stored_file(const storage& where, const std::string& from, const std::string& to) {
    return where.memory ? move_memory_file(*where.memory, from, to) : move_file(from, to);
}

bool stored_plain_file(const storage& where, const std::string& path) {
    return where.memory ? memory_plain_file(*where.memory, path) : is_plain_file(path);
}

bool stored_removable(const storage& where, const std::string& path) {
    return where.memory ? memory_file_removable(*where.memory, path) : may_remove_entry(path);
}

bool lock_stored_folder(const storage& where, const std::string& folder, std::chrono::milliseconds wait, open_file& lock) {
    if (where.memory) return true;
    const auto until = std::chrono::steady_clock::now() + wait;
    // Short sleeps first: the run waited for is often about to end.
    std::chrono::milliseconds pause(10);
    for (;;) {
        switch (try_lock_folder(folder, lock)) {
            case folder_lock_try::held: return true;
            case folder_lock_try::failed: return false;
            case folder_lock_try::busy: break;
        }
        const auto now = std::chrono::steady_clock::now();
        if (now >= until) return false;
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(pause, until - now));
        pause = std::min(pause * 2, std::chrono::milliseconds(200));
    }
}
