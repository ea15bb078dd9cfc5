#include "mapdiff/byte_cost.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

// n * log2(n) for every count a block can hold.
const std::array<double, cost_block_size + 1>& n_log_n() {
    static const auto table = [] {
        std::array<double, cost_block_size + 1> t{};
        for (std::size_t n = 1; n <= cost_block_size; ++n) t[n] = static_cast<double>(n) * std::log2(static_cast<double>(n));
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

}  // namespace

void add_to_cost(byte_cost& cost, const unsigned char* data, std::size_t size) {
    for (std::size_t i = 0; i < size;) {
        const std::size_t piece = std::min(size - i, cost_block_size - cost.filled);
        for (std::size_t k = 0; k < piece; ++k) ++cost.counts[data[i + k]];
        cost.filled += piece;
        i += piece;
        if (cost.filled == cost_block_size) {
            cost.bits += block_bits(cost.counts, cost.filled);
            for (auto& c : cost.counts) c = 0;
            cost.filled = 0;
        }
    }
}

double cost_bits(const byte_cost& cost) {
    return cost.bits + (cost.filled ? block_bits(cost.counts, cost.filled) : 0.0);
}
