// An estimate of how well bytes compress, to compare a chunk's own bytes with its difference
// against a source (patches are shipped inside archives made by LZ-type compressors): repeats
// of at least a few bytes within what one call is given cost a fixed price each, like an LZ
// match, and the other bytes the order-0 entropy of each 4 KiB of them. Runs of zeros, a
// difference against a close source, cost almost nothing; random bytes about eight bits each.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

constexpr std::size_t cost_block_size = 4096;

struct byte_cost {
    std::uint32_t counts[256] = {};  // of the literals of the current block
    std::size_t filled = 0;
    double bits = 0;                 // of the blocks completed so far, and of the matches
    std::vector<std::uint32_t> last_seen;  // per hash of 4 bytes: position + 1 within the call
};

void add_to_cost(byte_cost& cost, const unsigned char* data, std::size_t size);

// The estimate of everything added, the last partial block included.
double cost_bits(const byte_cost& cost);
