// The one arithmetic step of a rebuild: difference bytes plus source bytes, modulo 256.
#pragma once

#include <cstddef>

// target[i] = (target[i] + source[i]) mod 256; written so that the compiler vectorises it.
inline void add_bytes(unsigned char* __restrict target, const unsigned char* __restrict source, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) target[i] = static_cast<unsigned char>(target[i] + source[i]);
}
