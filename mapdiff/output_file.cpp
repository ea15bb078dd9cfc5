#include "mapdiff/output_file.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "common/file_system.h"
#include "common/unique_path.h"

namespace {

constexpr std::size_t copy_window = std::size_t{1} << 20;

}  // namespace

// FlushFileBuffers needs a handle that may write.
bool flush_file(const std::string& path) {
    open_file file;
    return open_existing(path, open_mode::read_write, file) && flush_to_disk(file);
}

std::string refuse_existing(const std::string& path, bool force) {
    if (force || !path_exists(path)) return {};
    return "Error: " + path + " already exists (--force replaces it).";
}

std::string partial_name(const std::string& path) { return path + ".partial"; }

std::string claim_partial_name(const std::string& path) {
    const std::string leftover = partial_name(path);
    // The delete call also removes an empty folder on POSIX; a folder is never a leftover.
    if (path_exists(leftover) && !is_directory(leftover)) delete_file(leftover);
    return unique_path(leftover);
}

bool write_new_text_file(const std::string& path, const std::string& text) {
    open_file file;
    if (!create_new_file(path, file)) return false;
    const bool written = write_at(file, 0, text.data(), text.size()) && flush_to_disk(file);
    close_file(file);
    if (!written) delete_file(path);
    return written;
}

bool copy_to_new_file(const std::string& from, const std::string& to,
                      const std::function<void(const unsigned char*, std::size_t)>& copied) {
    open_file source, target;
    std::uint64_t size = 0;
    if (!open_existing(from, open_mode::read, source) || !file_size(source, size) || !create_new_file(to, target)) return false;
    std::vector<unsigned char> buffer(static_cast<std::size_t>(std::min<std::uint64_t>(copy_window, size)));
    for (std::uint64_t at = 0; at < size;) {
        const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(copy_window, size - at));
        if (read_at(source, at, buffer.data(), piece) != piece || !write_at(target, at, buffer.data(), piece)) {
            close_file(target);
            delete_file(to);
            return false;
        }
        if (copied) copied(buffer.data(), piece);
        at += piece;
    }
    return true;
}

bool place_file(const std::string& partial_file, const std::string& path, bool replace) {
    if (!flush_file(partial_file)) return false;
    return replace ? replace_file(partial_file, path) : !path_exists(path) && move_file(partial_file, path);
}

bool write_file_in_place(const std::string& path, const std::string& text, bool replace) {
    const std::string partial_file = claim_partial_name(path);
    if (!write_new_text_file(partial_file, text)) return false;
    if (place_file(partial_file, path, replace)) return true;
    delete_file(partial_file);
    return false;
}
