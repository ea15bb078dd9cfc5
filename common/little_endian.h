// 32-bit values in byte buffers, stored low byte first as in every file format here.
#pragma once

#include <cstdint>
#include <cstring>

inline std::uint32_t load_u32_le(const unsigned char* bytes) {
    std::uint32_t value;
    std::memcpy(&value, bytes, 4);  // one unaligned load on x86
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    value = __builtin_bswap32(value);
#endif
    return value;
}

inline void store_u32_le(unsigned char* bytes, std::uint32_t value) {
    for (int k = 0; k < 4; ++k) bytes[k] = static_cast<unsigned char>(value >> (8 * k));
}
