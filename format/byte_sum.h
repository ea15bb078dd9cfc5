// The one arithmetic step of a rebuild: difference bytes plus source bytes, modulo 256.
#pragma once

#include <cstddef>

// target[i] = (target[i] + source[i]) mod 256, for i below size.
void add_bytes(unsigned char* target, const unsigned char* source, std::size_t size);
