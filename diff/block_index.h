// A content index of source files: a hash of every aligned block of each source, so that a
// chunk's bytes are found wherever they lie, in any source, at any offset (as rsync-style tools
// find moved data). Memory stays small for large sources: the block size grows with them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/storage.h"
#include "diff/patch_source.h"
#include "diff/progress.h"

struct block_index {
    std::size_t block_size = 64;
    std::vector<std::uint64_t> first_block;  // per source, its first global block number
    std::vector<std::uint32_t> keys;          // per slot: 0 when empty
    std::vector<std::uint32_t> blocks;        // per slot: global block number
    unsigned slot_bits = 0;
    // One bit per hash value's low bits: most positions of a chunk match no block, and this
    // small table, which stays in the processor's cache, says so without a look at the slots.
    std::vector<std::uint64_t> filter;
};

// Rolling hash of `block_size` bytes: hash = sum of byte[i] * multiplier^(size-1-i), mod 2^64.
constexpr std::uint64_t rolling_multiplier = 0x100000001B3ull;
std::uint64_t block_hash(const unsigned char* data, std::size_t size);
// multiplier^size, to take the oldest byte out of a rolling hash.
std::uint64_t rolling_drop_factor(std::size_t size);

// The index of `sources`, in their order; reads each once, at its path. False when a source
// cannot be read in full.
bool build_block_index(const storage& where, const std::vector<patch_source>& sources, block_index& index,
                       progress& meter);

struct block_match {
    std::size_t source;
    std::uint64_t offset;  // of the block in the source
};

// The block whose hash is `hash`, if one was indexed (a hash match, not yet a byte match).
bool find_block(const block_index& index, std::uint64_t hash, block_match& match);
