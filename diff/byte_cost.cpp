#include "diff/byte_cost.h"

#include <algorithm>
#include <cmath>

#include "common/little_endian.h"

namespace {

constexpr unsigned largest_hash_bits = 15;
constexpr std::size_t shortest_match = 5;
constexpr double match_bits = 20;  // about what an LZ match costs: its length and distance

// n * log2(n) for every count a block can hold.
const std::vector<double>& n_log_n() {
    static const auto table = [] {
        std::vector<double> t(cost_block_size + 1);
        for (std::size_t n = 1; n < t.size(); ++n) t[n] = static_cast<double>(n) * std::log2(static_cast<double>(n));
        return t;
    }();
    return table;
}

double block_bits(const std::uint32_t* counts, std::size_t length) {
    const auto& table = n_log_n();
    double sum = 0;
    for (int b = 0; b < 256; ++b) sum += table[counts[b]];
    return table[length] - sum;
}

void add_literal(byte_cost& cost, unsigned char b) {
    ++cost.counts[b];
    if (++cost.filled == cost_block_size) {
        cost.bits += block_bits(cost.counts, cost.filled);
        for (auto& c : cost.counts) c = 0;
        cost.filled = 0;
    }
}

std::uint32_t hash_of(const unsigned char* p, unsigned bits) {
    return (load_u32_le(p) * 2654435761u) >> (32 - bits);
}

}  // namespace

void add_to_cost(byte_cost& cost, const unsigned char* data, std::size_t size) {
    // Positions are those of this call: a match never reaches into bytes given before.
    // A table about the size of the call's bytes: small chunks cost small work.
    unsigned bits = 4;
    while (bits < largest_hash_bits && (std::size_t{1} << bits) < size) ++bits;
    cost.last_seen.assign(std::size_t{1} << bits, 0);
    std::size_t i = 0;
    while (i + 4 <= size) {
        const std::uint32_t h = hash_of(data + i, bits);
        const std::uint32_t seen = cost.last_seen[h];
        cost.last_seen[h] = static_cast<std::uint32_t>(i + 1);
        if (seen != 0) {
            const std::size_t from = seen - 1;
            std::size_t length = 0;
            while (i + length < size && data[from + length] == data[i + length]) ++length;
            if (length >= shortest_match) {
                cost.bits += match_bits;
                i += length;
                continue;
            }
        }
        add_literal(cost, data[i++]);
    }
    for (; i < size; ++i) add_literal(cost, data[i]);
}

double cost_bits(const byte_cost& cost) {
    return cost.bits + (cost.filled ? block_bits(cost.counts, cost.filled) : 0.0);
}
