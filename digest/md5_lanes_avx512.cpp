// Sixteen digests at once in AVX-512's registers; compiled with AVX-512 (foundation) enabled.
// It has a rotate instruction, and each auxiliary function is one three-input logic operation.
#include "digest/md5_lanes.h"

#include "digest/md5_lane_steps.h"

// GCC 12's AVX-512 header warns about its own deliberately undefined vectors.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

namespace {

struct avx512_ops {
    using word = __m512i;
    static constexpr std::size_t lanes = 16;

    static word add(word a, word b) { return _mm512_add_epi32(a, b); }
    static word broadcast(std::uint32_t t) { return _mm512_set1_epi32(static_cast<int>(t)); }
    template <int s>
    static word rotate(word a) {
        return _mm512_rol_epi32(a, s);
    }
    // The immediates are the truth tables of the functions of (first, second, third) operand.
    static word f(word b, word c, word d) { return _mm512_ternarylogic_epi32(b, c, d, 0xca); }  // b ? c : d
    static word g(word b, word c, word d) { return _mm512_ternarylogic_epi32(d, b, c, 0xca); }  // d ? b : c
    static word h(word b, word c, word d) { return _mm512_ternarylogic_epi32(b, c, d, 0x96); }  // b ^ c ^ d
    static word i(word b, word c, word d) { return _mm512_ternarylogic_epi32(b, c, d, 0x39); }  // c ^ (b | ~d)
    static word load(const std::uint32_t* words) { return _mm512_load_si512(words); }
    static void store(std::uint32_t* words, word a) { _mm512_store_si512(words, a); }

    // Each lane's whole block is one row; sixteen rows of sixteen words turned into columns.
    static void load_message(word (&x)[16], const unsigned char* const (&at)[lanes]) {
        word r[16];
        for (int j = 0; j < 16; ++j) r[j] = _mm512_loadu_si512(at[j]);
        word t[16];
        for (int j = 0; j < 16; j += 2) {
            t[j] = _mm512_unpacklo_epi32(r[j], r[j + 1]);
            t[j + 1] = _mm512_unpackhi_epi32(r[j], r[j + 1]);
        }
        // u[4 * group + c]: in its 128-bit part p, word 4p + c of rows 4 * group to 4 * group + 3.
        word u[16];
        for (int group = 0; group < 4; ++group) {
            u[4 * group + 0] = _mm512_unpacklo_epi64(t[4 * group], t[4 * group + 2]);
            u[4 * group + 1] = _mm512_unpackhi_epi64(t[4 * group], t[4 * group + 2]);
            u[4 * group + 2] = _mm512_unpacklo_epi64(t[4 * group + 1], t[4 * group + 3]);
            u[4 * group + 3] = _mm512_unpackhi_epi64(t[4 * group + 1], t[4 * group + 3]);
        }
        // Then the 128-bit parts: word 4p + c takes part p of u[c], u[4 + c], u[8 + c], u[12 + c].
        for (int c = 0; c < 4; ++c) {
            const word v0 = _mm512_shuffle_i32x4(u[c], u[4 + c], 0x44);
            const word v1 = _mm512_shuffle_i32x4(u[c], u[4 + c], 0xee);
            const word v2 = _mm512_shuffle_i32x4(u[8 + c], u[12 + c], 0x44);
            const word v3 = _mm512_shuffle_i32x4(u[8 + c], u[12 + c], 0xee);
            x[c] = _mm512_shuffle_i32x4(v0, v2, 0x88);
            x[4 + c] = _mm512_shuffle_i32x4(v0, v2, 0xdd);
            x[8 + c] = _mm512_shuffle_i32x4(v1, v3, 0x88);
            x[12 + c] = _mm512_shuffle_i32x4(v1, v3, 0xdd);
        }
    }
};

}  // namespace

void md5_lanes_avx512(std::uint32_t* const states[], const unsigned char* const data[], std::size_t count,
                      std::size_t blocks) {
    md5_lanes_run<avx512_ops>(states, data, count, blocks);
}
