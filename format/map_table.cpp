#include "format/map_table.h"

#include <algorithm>

#include "common/little_endian.h"
#include "format/patch_file.h"

using namespace patch_layout;

std::size_t table_bytes_needed(const unsigned char* header, std::size_t header_size, std::uint64_t file_size) {
    if (header_size < entry_count_at + 4) return static_cast<std::size_t>(std::min<std::uint64_t>(file_size, 64));
    const auto count = static_cast<std::int32_t>(load_u32_le(header + entry_count_at));
    const std::uint64_t table_end = chunk_offset_at + entry_stride * static_cast<std::uint64_t>(std::max(count, 0));
    return static_cast<std::size_t>(std::min<std::uint64_t>(file_size, std::max<std::uint64_t>(table_end, 64)));
}

table_reading read_map_table(const unsigned char* data, std::size_t size, std::vector<table_entry>& entries) {
    entries.clear();
    if (size < 4 || load_u32_le(data) != magic) return table_reading::no_magic;
    if (size < entry_count_at + 4) return table_reading::damaged;
    const auto count = static_cast<std::int32_t>(load_u32_le(data + entry_count_at));
    if (count <= 0) return table_reading::ok;
    // Each entry's fields lie behind the previous one's: a count the file cannot hold is damage.
    if (static_cast<std::uint64_t>(count - 1) * entry_stride + chunk_offset_at + 8 > size) return table_reading::damaged;

    entries.reserve(static_cast<std::size_t>(count));
    for (std::int32_t i = 0; i < count; ++i) {
        const std::size_t entry_at = static_cast<std::size_t>(chunk_offset_at + entry_stride * static_cast<std::uint64_t>(i));
        table_entry entry;
        entry.chunk_offset = load_u32_le(data + entry_at);
        entry.chunk_size = load_u32_le(data + entry_at + 4);
        std::size_t at = static_cast<std::size_t>(name_field_at + entry_stride * static_cast<std::uint64_t>(i));
        for (std::size_t skipped = 0; skipped < name_field_size; ++skipped) {
            if (at >= size) return table_reading::damaged;
            const unsigned char b = data[at++];
            if (b == 0) break;
            entry.name += static_cast<char>(b);
        }
        if (at + 4 > size) return table_reading::damaged;
        entry.reference_at = at;
        entry.reference_found = load_u32_le(data + at) != 0;
        entries.push_back(std::move(entry));
    }
    return table_reading::ok;
}
