// Eight digests at once in AVX2's 256-bit registers; compiled with AVX2 enabled.
#include "digest/md5_lanes.h"

#include "digest/md5_lane_steps.h"

#include <immintrin.h>

namespace {

struct avx2_ops {
    using word = __m256i;
    static constexpr std::size_t lanes = 8;

    static word add(word a, word b) { return _mm256_add_epi32(a, b); }
    static word broadcast(std::uint32_t t) { return _mm256_set1_epi32(static_cast<int>(t)); }
    template <int s>
    static word rotate(word a) {
        return _mm256_or_si256(_mm256_slli_epi32(a, s), _mm256_srli_epi32(a, 32 - s));
    }
    static word f(word b, word c, word d) {
        return _mm256_xor_si256(d, _mm256_and_si256(b, _mm256_xor_si256(c, d)));
    }
    static word g(word b, word c, word d) {
        return _mm256_or_si256(_mm256_and_si256(b, d), _mm256_andnot_si256(d, c));
    }
    static word h(word b, word c, word d) { return _mm256_xor_si256(_mm256_xor_si256(b, c), d); }
    static word i(word b, word c, word d) {
        return _mm256_xor_si256(c, _mm256_or_si256(b, _mm256_xor_si256(d, _mm256_set1_epi32(-1))));
    }
    static word load(const std::uint32_t* words) {
        return _mm256_load_si256(reinterpret_cast<const __m256i*>(words));
    }
    static void store(std::uint32_t* words, word a) { _mm256_store_si256(reinterpret_cast<__m256i*>(words), a); }

    // Half of each lane's block at a time, eight rows of eight words turned into columns.
    static void load_message(word (&x)[16], const unsigned char* const (&at)[lanes]) {
        for (int half = 0; half < 2; ++half) {
            word r[8];
            for (int j = 0; j < 8; ++j) r[j] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at[j] + 32 * half));
            word t[8];
            for (int j = 0; j < 8; j += 2) {
                t[j] = _mm256_unpacklo_epi32(r[j], r[j + 1]);
                t[j + 1] = _mm256_unpackhi_epi32(r[j], r[j + 1]);
            }
            // u[c] and u[4 + c]: word c of each 128-bit half, rows 0-3 and rows 4-7.
            word u[8];
            for (int first = 0; first < 8; first += 4) {
                u[first + 0] = _mm256_unpacklo_epi64(t[first], t[first + 2]);
                u[first + 1] = _mm256_unpackhi_epi64(t[first], t[first + 2]);
                u[first + 2] = _mm256_unpacklo_epi64(t[first + 1], t[first + 3]);
                u[first + 3] = _mm256_unpackhi_epi64(t[first + 1], t[first + 3]);
            }
            for (int c = 0; c < 4; ++c) {
                x[8 * half + c] = _mm256_permute2x128_si256(u[c], u[4 + c], 0x20);
                x[8 * half + 4 + c] = _mm256_permute2x128_si256(u[c], u[4 + c], 0x31);
            }
        }
    }
};

}  // namespace

void md5_lanes_avx2(std::uint32_t* const states[], const unsigned char* const data[], std::size_t count,
                    std::size_t blocks) {
    md5_lanes_run<avx2_ops>(states, data, count, blocks);
}
