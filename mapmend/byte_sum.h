// The one arithmetic step of a rebuild: difference bytes plus source bytes, modulo 256.
#pragma once

#include <cstddef>

// target[i] = (target[i] + source[i]) mod 256.
// Whole 64-byte blocks first: an inner loop of a fixed count is one the compiler vectorises
// even under its cheapest cost model (-O2), which a loop of unknown length is not. The ragged
// end, under 64 bytes, goes byte by byte.
inline void add_bytes(unsigned char* __restrict target, const unsigned char* __restrict source, std::size_t size) {
    constexpr std::size_t block = 64;
    std::size_t i = 0;
    for (; size - i >= block; i += block) {
        for (std::size_t k = 0; k < block; ++k)
            target[i + k] = static_cast<unsigned char>(target[i + k] + source[i + k]);
    }
    for (; i < size; ++i) target[i] = static_cast<unsigned char>(target[i] + source[i]);
}
