#include "diff/block_index.h"

#include <algorithm>

namespace {

// Blocks indexed at most: two slots of 8 bytes each, 16 MiB for a set of any size.
constexpr std::uint64_t max_blocks = std::uint64_t{1} << 22;
constexpr std::size_t smallest_block = 64;
constexpr unsigned filter_bits = 23;  // 1 MiB

std::uint64_t mixed(std::uint64_t hash) {
    std::uint64_t m = hash * 0x9E3779B97F4A7C15ull;
    return m ^ (m >> 29);
}

std::uint32_t slot_key(std::uint64_t m) { return static_cast<std::uint32_t>(m) | 1u; }

std::size_t filter_bit(std::uint64_t m) { return static_cast<std::size_t>(m) & ((std::size_t{1} << filter_bits) - 1); }

// A block of one repeated byte (zeros, padding) matches everywhere and tells nothing.
bool is_uniform(const unsigned char* data, std::size_t size) {
    return std::all_of(data, data + size, [&](unsigned char b) { return b == data[0]; });
}

}  // namespace

std::uint64_t block_hash(const unsigned char* data, std::size_t size) {
    std::uint64_t hash = 0;
    for (std::size_t i = 0; i < size; ++i) hash = hash * rolling_multiplier + data[i];
    return hash;
}

std::uint64_t rolling_drop_factor(std::size_t size) {
    std::uint64_t factor = 1;
    for (std::size_t i = 0; i < size; ++i) factor *= rolling_multiplier;
    return factor;
}

bool build_block_index(const storage& where, const std::vector<patch_source>& sources, block_index& index,
                       progress& meter) {
    std::uint64_t total = 0;
    for (const patch_source& source : sources) total += source.size;
    index.block_size = smallest_block;
    while (total / index.block_size > max_blocks) index.block_size *= 2;

    std::uint64_t blocks = 0;
    index.first_block.clear();
    for (const patch_source& source : sources) {
        index.first_block.push_back(blocks);
        blocks += source.size / index.block_size;
    }
    index.slot_bits = 4;
    while ((std::uint64_t{1} << index.slot_bits) < 2 * blocks) ++index.slot_bits;
    index.keys.assign(std::size_t{1} << index.slot_bits, 0);
    index.blocks.assign(index.keys.size(), 0);
    // About eight bits per block, at most 1 MiB.
    std::size_t filter_words = 1;
    while (filter_words * 64 < 8 * blocks && filter_words * 64 < (std::size_t{1} << filter_bits)) filter_words *= 2;
    index.filter.assign(filter_words, 0);
    const std::size_t mask = index.keys.size() - 1;

    start_stage(meter, "indexing sources", total);
    std::uint64_t read_before = 0;
    std::uint64_t largest = 0;
    for (const patch_source& source : sources) largest = std::max(largest, source.size);
    const std::size_t window = static_cast<std::size_t>(
        std::min<std::uint64_t>(std::max<std::size_t>(index.block_size, std::size_t{1} << 20), largest));
    std::vector<unsigned char> buffer(window);
    for (std::size_t s = 0; s < sources.size(); ++s) {
        stored_file file;
        if (!open_stored_file(where, sources[s].path, open_mode::read, file)) return false;
        const std::uint64_t whole = sources[s].size / index.block_size * index.block_size;
        for (std::uint64_t at = 0; at < whole;) {
            const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(window, whole - at));
            if (read_at(file, at, buffer.data(), piece) != piece) return false;
            for (std::size_t b = 0; b < piece; b += index.block_size) {
                if (is_uniform(buffer.data() + b, index.block_size)) continue;
                const std::uint64_t m = mixed(block_hash(buffer.data() + b, index.block_size));
                std::size_t slot = static_cast<std::size_t>(m >> (64 - index.slot_bits));
                // The first of equal blocks is kept: one is as good as another to find a match.
                while (index.keys[slot] != 0 && index.keys[slot] != slot_key(m)) slot = (slot + 1) & mask;
                if (index.keys[slot] != 0) continue;
                index.keys[slot] = slot_key(m);
                index.filter[filter_bit(m) / 64 % index.filter.size()] |= std::uint64_t{1} << (filter_bit(m) % 64);
                index.blocks[slot] = static_cast<std::uint32_t>(index.first_block[s] + (at + b) / index.block_size);
            }
            at += piece;
            report_progress(meter, read_before + at);
        }
        read_before += sources[s].size;
    }
    return true;
}

bool find_block(const block_index& index, std::uint64_t hash, block_match& match) {
    const std::uint64_t m = mixed(hash);
    if ((index.filter[filter_bit(m) / 64 % index.filter.size()] >> (filter_bit(m) % 64) & 1) == 0) return false;
    const std::size_t mask = index.keys.size() - 1;
    for (std::size_t slot = static_cast<std::size_t>(m >> (64 - index.slot_bits));; slot = (slot + 1) & mask) {
        if (index.keys[slot] == 0) return false;
        if (index.keys[slot] != slot_key(m)) continue;
        const std::uint64_t block = index.blocks[slot];
        const auto after = std::upper_bound(index.first_block.begin(), index.first_block.end(), block);
        match.source = static_cast<std::size_t>(after - index.first_block.begin()) - 1;
        match.offset = (block - index.first_block[match.source]) * index.block_size;
        return true;
    }
}
