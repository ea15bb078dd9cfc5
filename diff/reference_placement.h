// Where a source reference may go in a patch, by the rules of the rebuild's scan: behind an
// entry's name, only where the map holds zeros that no scan of another entry reads and no chunk
// covers; and only for a chunk that covers no byte the scan reads. The rebuild reads one
// reference behind each name, so these rules alone keep a patch readable.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <map>
#include <utility>
#include <vector>

#include "common/storage.h"
#include "format/map_table.h"
#include "format/source_reference.h"

// What the table region's bytes may not hold: bytes the scan reads (header, each entry's fields,
// name and the four bytes behind it, the references placed so far) and chunk bytes. Every step
// is linear in the region or logarithmic, whatever the chunks and names of a damaged table.
struct byte_marks {
    static constexpr unsigned char scan_read = 1, in_chunk = 2;
    std::vector<unsigned char> flags;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> read_ranges;  // sorted, disjoint
    std::map<std::uint64_t, std::uint64_t> references;                  // placed: start to end

    explicit byte_marks(std::size_t size) : flags(size) {}

    void mark_read(std::uint64_t from, std::uint64_t to) {
        if (from >= to) return;
        read_ranges.emplace_back(from, to);
        for (std::uint64_t at = from; at < std::min<std::uint64_t>(to, flags.size()); ++at)
            flags[static_cast<std::size_t>(at)] |= scan_read;
    }
    void mark_reference(std::uint64_t from, std::uint64_t to) {
        references[from] = to;
        for (std::uint64_t at = from; at < std::min<std::uint64_t>(to, flags.size()); ++at)
            flags[static_cast<std::size_t>(at)] |= scan_read;
    }
    // Chunks may overlap each other: counted through a difference array.
    void mark_chunks(const std::vector<table_entry>& table) {
        std::vector<std::int32_t> starts(flags.size() + 1);
        for (const table_entry& entry : table) {
            if (entry.chunk_size == 0 || entry.chunk_offset >= flags.size()) continue;
            ++starts[entry.chunk_offset];
            --starts[static_cast<std::size_t>(std::min<std::uint64_t>(flags.size(), std::uint64_t{entry.chunk_offset} + entry.chunk_size))];
        }
        std::int32_t depth = 0;
        for (std::size_t at = 0; at < flags.size(); ++at) {
            depth += starts[at];
            if (depth > 0) flags[at] |= in_chunk;
        }
    }
    bool any_scan_read(std::uint64_t from, std::uint64_t to) const {
        const auto range = std::upper_bound(read_ranges.begin(), read_ranges.end(), from,
                                            [](std::uint64_t at, const auto& r) { return at < r.second; });
        if (range != read_ranges.end() && range->first < to) return true;
        auto placed = references.upper_bound(from);
        if (placed != references.end() && placed->first < to) return true;
        if (placed != references.begin() && std::prev(placed)->second > from) return true;
        return false;
    }
};

// The header, the table and what a reference behind the last name may take: the only bytes
// the placement of references looks at.
bool read_table_region(const stored_file& patch, std::uint64_t patch_size, const std::vector<table_entry>& table,
                       std::vector<unsigned char>& region);

// The marks of the region as the table stands: the header, each entry's fields and name with
// the four bytes behind it, and the chunks.
byte_marks marks_of(const std::vector<table_entry>& table, std::size_t region_size);

// How many bytes from the entry's reference position on may hold its reference.
std::size_t reference_room(const std::vector<unsigned char>& bytes, const byte_marks& marks, const table_entry& entry);

// A chunk that lies in the file below 2 GiB and covers no byte the scan reads.
bool may_be_referenced(const table_entry& entry, std::uint64_t patch_size, const byte_marks& marks);

// Writes the reference behind the entry's name, in the region and the file, and marks it.
bool write_reference(const stored_file& patch, std::vector<unsigned char>& region, byte_marks& marks,
                     const table_entry& entry, const source_reference& reference);
