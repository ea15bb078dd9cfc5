// Four digests at once in SSE2's 128-bit registers; compiled with SSE2 enabled.
#include "digest/md5_lanes.h"

#include "digest/md5_lane_steps.h"

#include <emmintrin.h>

namespace {

struct sse2_ops {
    using word = __m128i;
    static constexpr std::size_t lanes = 4;

    static word add(word a, word b) { return _mm_add_epi32(a, b); }
    static word broadcast(std::uint32_t t) { return _mm_set1_epi32(static_cast<int>(t)); }
    template <int s>
    static word rotate(word a) {
        return _mm_or_si128(_mm_slli_epi32(a, s), _mm_srli_epi32(a, 32 - s));
    }
    static word f(word b, word c, word d) { return _mm_xor_si128(d, _mm_and_si128(b, _mm_xor_si128(c, d))); }
    static word g(word b, word c, word d) { return _mm_or_si128(_mm_and_si128(b, d), _mm_andnot_si128(d, c)); }
    static word h(word b, word c, word d) { return _mm_xor_si128(_mm_xor_si128(b, c), d); }
    static word i(word b, word c, word d) {
        return _mm_xor_si128(c, _mm_or_si128(b, _mm_xor_si128(d, _mm_set1_epi32(-1))));
    }
    static word load(const std::uint32_t* words) { return _mm_load_si128(reinterpret_cast<const __m128i*>(words)); }
    static void store(std::uint32_t* words, word a) { _mm_store_si128(reinterpret_cast<__m128i*>(words), a); }

    // Sixteen bytes of each lane's block at a time, turned from rows into columns.
    static void load_message(word (&x)[16], const unsigned char* const (&at)[lanes]) {
        for (int q = 0; q < 4; ++q) {
            const word r0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at[0] + 16 * q));
            const word r1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at[1] + 16 * q));
            const word r2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at[2] + 16 * q));
            const word r3 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at[3] + 16 * q));
            const word t0 = _mm_unpacklo_epi32(r0, r1);
            const word t1 = _mm_unpackhi_epi32(r0, r1);
            const word t2 = _mm_unpacklo_epi32(r2, r3);
            const word t3 = _mm_unpackhi_epi32(r2, r3);
            x[4 * q + 0] = _mm_unpacklo_epi64(t0, t2);
            x[4 * q + 1] = _mm_unpackhi_epi64(t0, t2);
            x[4 * q + 2] = _mm_unpacklo_epi64(t1, t3);
            x[4 * q + 3] = _mm_unpackhi_epi64(t1, t3);
        }
    }
};

}  // namespace

void md5_lanes_sse2(std::uint32_t* const states[], const unsigned char* const data[], std::size_t count,
                    std::size_t blocks) {
    md5_lanes_run<sse2_ops>(states, data, count, blocks);
}
