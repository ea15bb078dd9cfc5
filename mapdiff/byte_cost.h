// An estimate of how well bytes compress, to compare a chunk's own bytes with its difference
// against a source: the order-0 entropy of each 4 KiB block, in bits. It sees runs of zeros and
// skewed byte counts, which is what a difference against a close source is made of.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr std::size_t cost_block_size = 4096;

struct byte_cost {
    std::uint32_t counts[256] = {};
    std::size_t filled = 0;
    double bits = 0;  // of the blocks completed so far
};

void add_to_cost(byte_cost& cost, const unsigned char* data, std::size_t size);

// The estimate of everything added, the last partial block included.
double cost_bits(const byte_cost& cost);
