#include "tests/support/map_builder.h"

#include <stdexcept>

using namespace map_layout;

std::uint64_t seeded_random::next() {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

std::uint32_t seeded_random::below(std::uint32_t bound) {
    return bound == 0 ? 0 : static_cast<std::uint32_t>(next() % bound);
}

bytes seeded_random::fill(std::size_t size) {
    bytes out(size);
    for (std::size_t i = 0; i < size; i += 8) {
        std::uint64_t value = next();
        for (std::size_t k = i; k < i + 8 && k < size; ++k, value >>= 8) out[k] = static_cast<unsigned char>(value);
    }
    return out;
}

void put_u32(bytes& file, std::size_t at, std::uint32_t value) {
    if (file.size() < at + 4) file.resize(at + 4);
    for (int k = 0; k < 4; ++k) file[at + k] = static_cast<unsigned char>(value >> (8 * k));
}

std::uint32_t get_u32(const bytes& file, std::size_t at) {
    std::uint32_t value = 0;
    for (int k = 3; k >= 0; --k) value = (value << 8) | file.at(at + k);
    return value;
}

bytes empty_map(std::size_t size, std::int32_t entry_count) {
    bytes file(size);
    put_u32(file, 0, magic);
    put_u32(file, entry_count_at, static_cast<std::uint32_t>(entry_count));
    return file;
}

void set_entry(bytes& file, std::size_t i, std::uint32_t chunk_offset, std::uint32_t chunk_size,
               const std::string& name) {
    const std::size_t entry = table_at + entry_stride * i;
    if (file.size() < entry + entry_stride) file.resize(entry + entry_stride);
    put_u32(file, entry, chunk_offset);
    put_u32(file, entry + 4, chunk_size);
    for (std::size_t k = 0; k < name_field_size; ++k)
        file[entry + name_at + k] = k < name.size() ? static_cast<unsigned char>(name[k]) : 0;
}

std::size_t source_reference_at(const bytes& file, std::size_t i) {
    const std::size_t field = table_at + entry_stride * i + name_at;
    for (std::size_t k = 0; k < name_field_size; ++k)
        if (file.at(field + k) == 0) return field + k + 1;
    return field + name_field_size;
}

void set_source_reference(bytes& file, std::size_t i, std::int32_t source_offset, const std::string& source_name,
                          std::uint8_t folder_flag) {
    const std::size_t at = source_reference_at(file, i);
    if (file.size() < at + 6 + source_name.size()) file.resize(at + 6 + source_name.size());
    put_u32(file, at, static_cast<std::uint32_t>(source_offset));
    for (std::size_t k = 0; k < source_name.size(); ++k) file[at + 4 + k] = static_cast<unsigned char>(source_name[k]);
    file[at + 4 + source_name.size()] = 0;
    file[at + 5 + source_name.size()] = folder_flag;
}

bytes synthetic_map(std::uint64_t seed, std::size_t size, std::size_t entries) {
    seeded_random random{seed};
    const std::size_t table_end = table_at + entry_stride * entries;
    if (size < table_end + entries) throw std::invalid_argument("map too small for its entries");
    bytes file = random.fill(size);
    put_u32(file, 0, magic);
    put_u32(file, entry_count_at, static_cast<std::uint32_t>(entries));

    static const char* const syllables[] = {"Ba", "ke", "Ro", "st", "Ul", "ma", "Ti", "ne", "Fo", "rg"};
    const std::size_t space = size - table_end;
    std::size_t chunk_start = table_end;
    for (std::size_t i = 0; i < entries; ++i) {
        std::string name;
        const std::uint32_t parts = 2 + random.below(5);
        for (std::uint32_t p = 0; p < parts; ++p) name += syllables[random.below(10)];
        name += "_" + std::to_string(i);
        const std::size_t chunk_end = table_end + space * (i + 1) / entries;
        set_entry(file, i, static_cast<std::uint32_t>(chunk_start), static_cast<std::uint32_t>(chunk_end - chunk_start),
                  name);
        chunk_start = chunk_end;
    }
    return file;
}

entry_chunk chunk_of(const bytes& map, std::size_t i) {
    const std::size_t entry = table_at + entry_stride * i;
    return {get_u32(map, entry), get_u32(map, entry + 4)};
}

bytes make_patch(const bytes& target, const std::vector<patch_reference>& references) {
    bytes patch = target;
    for (const patch_reference& ref : references) {
        const entry_chunk chunk = chunk_of(target, ref.entry);
        if (ref.source_offset < 0 || static_cast<std::size_t>(ref.source_offset) + chunk.size > ref.source->size())
            throw std::invalid_argument("source too short for the chunk of entry " + std::to_string(ref.entry));
        for (std::uint32_t j = 0; j < chunk.size; ++j) {
            const unsigned char source_byte = (*ref.source)[static_cast<std::size_t>(ref.source_offset) + j];
            patch.at(chunk.offset + j) = static_cast<unsigned char>(patch.at(chunk.offset + j) - source_byte);
        }
    }
    for (const patch_reference& ref : references) {
        const std::size_t at = source_reference_at(patch, ref.entry);
        for (std::size_t k = at; k < at + 6 + ref.source_name.size(); ++k)
            if (k < target.size() && target[k] != 0)
                throw std::invalid_argument("target bytes under a source reference must be zero");
        set_source_reference(patch, ref.entry, ref.source_offset, ref.source_name, ref.folder_flag);
    }
    if (patch.size() != target.size()) throw std::invalid_argument("a source reference runs past the target's end");
    return patch;
}
