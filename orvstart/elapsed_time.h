// Elapsed time on a 32-bit millisecond clock that wraps around.
#pragma once

#include <cstdint>

// Unsigned arithmetic makes a wait last its full time across a wrap of the counter.
inline std::uint32_t elapsed_ms(std::uint32_t start, std::uint32_t now) { return now - start; }
