#include "diff/reference_placement.h"

#include <algorithm>

#include "format/patch_file.h"

using namespace patch_layout;

namespace {

constexpr std::uint64_t position_limit = std::uint64_t{1} << 31;  // offsets are signed 32-bit

}  // namespace

// The header, the table and what a reference behind the last name may take: the only bytes
// the placement of references looks at.
bool read_table_region(const stored_file& patch, std::uint64_t patch_size, const std::vector<table_entry>& table,
                       std::vector<unsigned char>& region) {
    const std::uint64_t table_end = chunk_offset_at + entry_stride * table.size();
    region.resize(static_cast<std::size_t>(std::min<std::uint64_t>(patch_size, table_end + source_reference_size(longest_source_name))));
    return read_at(patch, 0, region.data(), region.size()) == region.size();
}

byte_marks marks_of(const std::vector<table_entry>& table, std::size_t region_size) {
    byte_marks marks(region_size);
    marks.mark_read(0, chunk_offset_at);
    for (std::size_t j = 0; j < table.size(); ++j) {
        const std::uint64_t entry_at = chunk_offset_at + entry_stride * j;
        marks.mark_read(entry_at, entry_at + 8);
        marks.mark_read(name_field_at + entry_stride * j, table[j].reference_at + 4);
    }
    marks.mark_chunks(table);
    return marks;
}

// How many bytes from the entry's reference position on may hold its reference.
std::size_t reference_room(const std::vector<unsigned char>& bytes, const byte_marks& marks, const table_entry& entry) {
    const std::size_t limit = std::min<std::size_t>(marks.flags.size(), bytes.size());
    std::size_t room = 0;
    for (std::size_t at = static_cast<std::size_t>(entry.reference_at); at < limit && room < source_reference_size(longest_source_name);
         ++at, ++room) {
        // The entry's own four bytes are read by the scan for this entry, which is allowed.
        const bool own = at < entry.reference_at + 4;
        if (bytes[at] != 0 || (marks.flags[at] & byte_marks::in_chunk) || (!own && (marks.flags[at] & byte_marks::scan_read)))
            break;
    }
    return room;
}

// A chunk that lies in the file below 2 GiB and covers no byte the scan reads.
bool may_be_referenced(const table_entry& entry, std::uint64_t patch_size, const byte_marks& marks) {
    const std::uint64_t chunk_end = std::uint64_t{entry.chunk_offset} + entry.chunk_size;
    return entry.chunk_size != 0 && entry.chunk_offset < position_limit && entry.chunk_size < position_limit &&
           chunk_end <= patch_size && !marks.any_scan_read(entry.chunk_offset, chunk_end);
}

// Writes the reference behind the entry's name, in the region and the file, and marks it.
bool write_reference(const stored_file& patch, std::vector<unsigned char>& region, byte_marks& marks,
                     const table_entry& entry, const source_reference& reference) {
    const std::size_t at = static_cast<std::size_t>(entry.reference_at);
    const std::size_t length = source_reference_size(reference.source_name.size());
    write_source_reference(reference, region.data() + at);
    marks.mark_reference(at, at + length);
    return write_at(patch, at, region.data() + at, length);
}
