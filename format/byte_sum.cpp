#include "format/byte_sum.h"

namespace {

// Whole 64-byte blocks first: an inner loop of a fixed count is one the compiler vectorises
// even under its cheapest cost model (-O2), which a loop of unknown length is not. The ragged
// end, under 64 bytes, goes byte by byte.
inline void add_in_blocks(unsigned char* __restrict target, const unsigned char* __restrict source,
                          std::size_t size) {
    constexpr std::size_t block = 64;
    std::size_t i = 0;
    for (; size - i >= block; i += block) {
        for (std::size_t k = 0; k < block; ++k)
            target[i + k] = static_cast<unsigned char>(target[i + k] + source[i + k]);
    }
    for (; i < size; ++i) target[i] = static_cast<unsigned char>(target[i] + source[i]);
}

#if defined(__i386__)
// The 32-bit build runs on processors older than SSE2, so its code adds byte by byte (about
// 4 GB/s, a fifth of a rebuild's time under Wine). Where the processor has SSE2, as every one
// since about 2003 does, the same loop built for it adds 16 bytes at a time (about 30 GB/s).
__attribute__((target("sse2"))) void add_in_blocks_sse2(unsigned char* __restrict target,
                                                       const unsigned char* __restrict source, std::size_t size) {
    add_in_blocks(target, source, size);
}
#endif

}  // namespace

void add_bytes(unsigned char* target, const unsigned char* source, std::size_t size) {
#if defined(__i386__)
    static const bool has_sse2 = __builtin_cpu_supports("sse2");
    if (has_sse2) {
        add_in_blocks_sse2(target, source, size);
        return;
    }
#endif
    add_in_blocks(target, source, size);
}
