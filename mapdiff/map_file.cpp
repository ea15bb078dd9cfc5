#include "mapdiff/map_file.h"

#include <algorithm>

#include "common/file_system.h"

namespace {

constexpr std::uint64_t largest_map = (std::uint64_t{1} << 31) - 1;  // positions are signed 32-bit
constexpr std::size_t read_window = std::size_t{1} << 20;

}  // namespace

std::string read_map_file(const std::string& path, std::uint64_t& size, std::vector<table_entry>& table) {
    open_file file;
    if (!open_existing(path, open_mode::read, file) || !file_size(file, size))
        return "Error: Cannot read the map file " + path + ".";
    if (size > largest_map) return "Error: " + path + " is larger than a map file can be (2 GiB).";
    unsigned char header[64];
    const std::size_t header_size = read_at(file, 0, header, sizeof header);
    std::vector<unsigned char> bytes(table_bytes_needed(header, header_size, size));
    if (read_at(file, 0, bytes.data(), bytes.size()) != bytes.size()) return "Error: Cannot read the map file " + path + ".";
    switch (read_map_table(bytes.data(), bytes.size(), table)) {
        case table_reading::ok: break;
        case table_reading::no_magic: return "Error: " + path + " is not a map data file (no magic).";
        case table_reading::damaged: return "Error: " + path + " is not a map data file (its table runs past its end).";
    }
    for (std::size_t i = 0; i < table.size(); ++i) {
        if (table[i].reference_found)
            return "Error: Entry " + std::to_string(i) + " of " + path +
                   " holds bytes behind its name that a rebuild reads as a source reference; no patch can rebuild it.";
    }
    return {};
}

bool count_nonzero(const std::string& path, std::uint64_t& nonzero, std::uint64_t& size) {
    open_file file;
    if (!open_existing(path, open_mode::read, file) || !file_size(file, size)) return false;
    std::vector<unsigned char> buffer(static_cast<std::size_t>(std::min<std::uint64_t>(read_window, size)));
    nonzero = 0;
    for (std::uint64_t at = 0; at < size;) {
        const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(read_window, size - at));
        if (read_at(file, at, buffer.data(), piece) != piece) return false;
        nonzero += piece - static_cast<std::size_t>(std::count(buffer.data(), buffer.data() + piece, 0));
        at += piece;
    }
    return true;
}

double share_not_zero(std::uint64_t nonzero, std::uint64_t size) {
    return size == 0 ? 0.0 : 100.0 * static_cast<double>(nonzero) / static_cast<double>(size);
}
