// Choice of the lane routine at run time, the scalar routine, and the end of a lane's digest.
#include "digest/md5_lanes.h"

#include "digest/md5.h"

#include <cstring>

std::size_t md5_lane_count(md5_isa isa) {
    switch (isa) {
    case md5_isa::sse2: return 4;
    case md5_isa::avx2: return 8;
    case md5_isa::avx512: return 16;
    case md5_isa::scalar: break;
    }
    return 1;
}

const char* md5_isa_name(md5_isa isa) {
    switch (isa) {
    case md5_isa::sse2: return "sse2";
    case md5_isa::avx2: return "avx2";
    case md5_isa::avx512: return "avx512";
    case md5_isa::scalar: break;
    }
    return "scalar";
}

bool md5_isa_available(md5_isa isa) {
#if defined(MAPMEND_MD5_LANES_X86)
    // The compiler's processor test reads cpuid and, for AVX and AVX-512, also asks the system
    // (xgetbv) whether it saves those registers.
    switch (isa) {
    case md5_isa::sse2: return __builtin_cpu_supports("sse2");
    case md5_isa::avx2: return __builtin_cpu_supports("avx2");
    case md5_isa::avx512: return __builtin_cpu_supports("avx512f");
    case md5_isa::scalar: break;
    }
    return true;
#else
    return isa == md5_isa::scalar;
#endif
}

md5_isa md5_best_isa() {
    static const md5_isa best = [] {
        md5_isa widest = md5_isa::scalar;
        for (const md5_isa isa : md5_isas)
            if (md5_isa_available(isa)) widest = isa;
        return widest;
    }();
    return best;
}

void md5_lanes_update(md5_isa isa, std::uint32_t* const states[], const unsigned char* const data[],
                      std::size_t count, std::size_t blocks) {
#if defined(MAPMEND_MD5_LANES_X86)
    switch (isa) {
    case md5_isa::sse2: md5_lanes_sse2(states, data, count, blocks); return;
    case md5_isa::avx2: md5_lanes_avx2(states, data, count, blocks); return;
    case md5_isa::avx512: md5_lanes_avx512(states, data, count, blocks); return;
    case md5_isa::scalar: break;
    }
#else
    (void)isa;
#endif
    for (std::size_t j = 0; j < count; ++j) md5_compress_blocks(states[j], data[j], blocks);
}

void md5_lanes_finish(const std::uint32_t state[4], std::uint64_t blocks, const unsigned char* tail,
                      std::size_t size, unsigned char (&digest)[16]) {
    md5_context context;
    md5_init(context);
    std::memcpy(context.state, state, sizeof context.state);
    const std::uint64_t bits = blocks * 512;
    context.bit_count[0] = static_cast<std::uint32_t>(bits);
    context.bit_count[1] = static_cast<std::uint32_t>(bits >> 32);
    // In pieces that fit the count md5_update takes.
    while (size != 0) {
        const std::size_t piece = size < (std::size_t{1} << 30) ? size : std::size_t{1} << 30;
        md5_update(context, tail, static_cast<std::uint32_t>(piece));
        tail += piece;
        size -= piece;
    }
    md5_final(context);
    std::memcpy(digest, context.digest, sizeof digest);
}
