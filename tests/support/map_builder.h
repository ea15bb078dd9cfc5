// Writes map data files and patch files byte by byte, from the layout the tool reads:
// magic at 0, entry count at 24, entries 308 bytes apart from 52 (chunk offset, chunk size,
// then the 263-byte name field at +41), a source reference behind each name's NUL.
#pragma once

#include <cstdint>
#include <string>

#include "tests/support/test_files.h"

namespace map_layout {
constexpr std::uint32_t magic = 0xC0000001u;
constexpr std::size_t entry_count_at = 24;
constexpr std::size_t table_at = 52;
constexpr std::size_t entry_stride = 308;
constexpr std::size_t name_at = 41;  // within an entry
constexpr std::size_t name_field_size = 263;
}  // namespace map_layout

// Deterministic pseudo-random numbers (splitmix64) for fixtures made from a seed.
struct seeded_random {
    std::uint64_t state;
    std::uint64_t next();
    std::uint32_t below(std::uint32_t bound);
    bytes fill(std::size_t size);
};

void put_u32(bytes& file, std::size_t at, std::uint32_t value);
std::uint32_t get_u32(const bytes& file, std::size_t at);

// A file of `size` zero bytes with the magic and the entry count set.
bytes empty_map(std::size_t size, std::int32_t entry_count);

// Sets entry i's chunk offset, chunk size and name (a name of 263 bytes or more fills the
// field without a NUL).
void set_entry(bytes& file, std::size_t i, std::uint32_t chunk_offset, std::uint32_t chunk_size,
               const std::string& name);

// Where entry i's source reference starts: right behind its name's NUL, or at the end of the
// 263-byte name field when the field holds no NUL.
std::size_t source_reference_at(const bytes& file, std::size_t i);

// Writes entry i's source reference. Grows the file when the reference runs past its end.
void set_source_reference(bytes& file, std::size_t i, std::int32_t source_offset, const std::string& source_name,
                          std::uint8_t folder_flag);

// A synthetic map: `entries` entries with mixed-case names, chunks laid out one after the
// other behind the table and filled with seeded bytes; every name field is zero behind its
// name, so that a patch can carry source references there.
bytes synthetic_map(std::uint64_t seed, std::size_t size, std::size_t entries);

struct entry_chunk {
    std::uint32_t offset;
    std::uint32_t size;
};
entry_chunk chunk_of(const bytes& map, std::size_t i);

// One source reference of a patch: entry i's chunk is encoded against `source` bytes from
// `source_offset` on.
struct patch_reference {
    std::size_t entry;
    std::int32_t source_offset;
    std::string source_name;
    std::uint8_t folder_flag;
    const bytes* source;
};

// The patch that rebuilds `target` from the given sources: each referenced chunk holds
// target minus source bytes (mod 256), summed over every reference that covers a byte, and
// each entry carries its source reference. The target's bytes under every source reference
// must be zero, as a rebuild leaves them.
bytes make_patch(const bytes& target, const std::vector<patch_reference>& references);
