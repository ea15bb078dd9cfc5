// A content index of source files: a hash of every aligned block of each source, so that a
// chunk's bytes are found wherever they lie, in any source, at any offset (as rsync-style tools
// find moved data). Memory stays small for large sources: the block size grows with them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/storage.h"
#include "diff/patch_source.h"
#include "diff/progress.h"

struct index_slot {
    std::uint32_t key = 0;    // 0 when empty
    std::uint32_t block = 0;  // global block number
};

struct block_index {
    std::size_t block_size = 64;
    std::vector<std::uint64_t> first_block;  // per source, its first global block number
    std::vector<index_slot> slots;
    unsigned slot_bits = 0;
    // The slots form 2^part_bits parts and a probe wraps around within its part, so that workers
    // fill the parts apart, each in block order: the index is the same whatever their number.
    unsigned part_bits = 0;
    // A few bits per block in one 64-bit word chosen by the hash's top bits: most positions of a
    // chunk match no block, and this table says so with one load, without a look at the slots.
    std::vector<std::uint64_t> filter;
    unsigned filter_bits = 0;  // log2 of its words
};

// Rolling hash of `block_size` bytes: hash = sum of byte[i] * multiplier^(size-1-i), mod 2^64.
constexpr std::uint64_t rolling_multiplier = 0x100000001B3ull;
std::uint64_t block_hash(const unsigned char* data, std::size_t size);
// multiplier^size, to take the oldest byte out of a rolling hash.
std::uint64_t rolling_drop_factor(std::size_t size);

// Reads every source once, split between `workers` threads. False when a source cannot be read
// in full.
bool build_block_index(const storage& where, const std::vector<patch_source>& sources, block_index& index,
                       progress& meter, std::size_t workers = 1);

struct block_match {
    std::size_t source;
    std::uint64_t offset;  // of the block in the source
};

// The block whose hash is `hash`, if one was indexed (a hash match, not yet a byte match).
bool find_block(const block_index& index, std::uint64_t hash, block_match& match);
// Whether the filter lets `hash` through: false means no block has it.
bool may_hold_block(const block_index& index, std::uint64_t hash);
// Asks the processor to fetch what a later find_block of `hash` reads: the filter's word, and
// with `slot` the first slot too.
void prefetch_block(const block_index& index, std::uint64_t hash, bool slot);
