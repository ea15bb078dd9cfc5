// The 64 steps of an MD5 block and the loop over blocks, written once for every lane routine.
// `Ops` names the vector type (`Ops::word`, one 32-bit word in each of `Ops::lanes` lanes) and
// its operations: add, broadcast, rotate<s>, the four auxiliary functions f, g, h, i, load and
// store of aligned words, and load_message, which gathers word k of every lane's block into
// x[k]. Each routine's file includes this with its own
// instruction set enabled; everything here has internal linkage, so no copy compiled for a
// wider instruction set can stand in for another.
#pragma once

#include <cstddef>
#include <cstdint>

template <typename Ops, int s>
static inline typename Ops::word step(typename Ops::word a, typename Ops::word b, typename Ops::word fn,
                                      typename Ops::word x, std::uint32_t t) {
    // The message word and constant do not depend on the previous step: added first.
    a = Ops::add(a, Ops::add(x, Ops::broadcast(t)));
    a = Ops::add(a, fn);
    return Ops::add(Ops::template rotate<s>(a), b);
}

// One block, RFC 1321's constants, rotations and word order; x holds its 16 message words.
template <typename Ops>
static inline void md5_lane_block(typename Ops::word (&state)[4], const typename Ops::word (&x)[16]) {
    typename Ops::word a = state[0], b = state[1], c = state[2], d = state[3];

    a = step<Ops, 7>(a, b, Ops::f(b, c, d), x[0], 0xd76aa478);
    d = step<Ops, 12>(d, a, Ops::f(a, b, c), x[1], 0xe8c7b756);
    c = step<Ops, 17>(c, d, Ops::f(d, a, b), x[2], 0x242070db);
    b = step<Ops, 22>(b, c, Ops::f(c, d, a), x[3], 0xc1bdceee);
    a = step<Ops, 7>(a, b, Ops::f(b, c, d), x[4], 0xf57c0faf);
    d = step<Ops, 12>(d, a, Ops::f(a, b, c), x[5], 0x4787c62a);
    c = step<Ops, 17>(c, d, Ops::f(d, a, b), x[6], 0xa8304613);
    b = step<Ops, 22>(b, c, Ops::f(c, d, a), x[7], 0xfd469501);
    a = step<Ops, 7>(a, b, Ops::f(b, c, d), x[8], 0x698098d8);
    d = step<Ops, 12>(d, a, Ops::f(a, b, c), x[9], 0x8b44f7af);
    c = step<Ops, 17>(c, d, Ops::f(d, a, b), x[10], 0xffff5bb1);
    b = step<Ops, 22>(b, c, Ops::f(c, d, a), x[11], 0x895cd7be);
    a = step<Ops, 7>(a, b, Ops::f(b, c, d), x[12], 0x6b901122);
    d = step<Ops, 12>(d, a, Ops::f(a, b, c), x[13], 0xfd987193);
    c = step<Ops, 17>(c, d, Ops::f(d, a, b), x[14], 0xa679438e);
    b = step<Ops, 22>(b, c, Ops::f(c, d, a), x[15], 0x49b40821);

    a = step<Ops, 5>(a, b, Ops::g(b, c, d), x[1], 0xf61e2562);
    d = step<Ops, 9>(d, a, Ops::g(a, b, c), x[6], 0xc040b340);
    c = step<Ops, 14>(c, d, Ops::g(d, a, b), x[11], 0x265e5a51);
    b = step<Ops, 20>(b, c, Ops::g(c, d, a), x[0], 0xe9b6c7aa);
    a = step<Ops, 5>(a, b, Ops::g(b, c, d), x[5], 0xd62f105d);
    d = step<Ops, 9>(d, a, Ops::g(a, b, c), x[10], 0x02441453);
    c = step<Ops, 14>(c, d, Ops::g(d, a, b), x[15], 0xd8a1e681);
    b = step<Ops, 20>(b, c, Ops::g(c, d, a), x[4], 0xe7d3fbc8);
    a = step<Ops, 5>(a, b, Ops::g(b, c, d), x[9], 0x21e1cde6);
    d = step<Ops, 9>(d, a, Ops::g(a, b, c), x[14], 0xc33707d6);
    c = step<Ops, 14>(c, d, Ops::g(d, a, b), x[3], 0xf4d50d87);
    b = step<Ops, 20>(b, c, Ops::g(c, d, a), x[8], 0x455a14ed);
    a = step<Ops, 5>(a, b, Ops::g(b, c, d), x[13], 0xa9e3e905);
    d = step<Ops, 9>(d, a, Ops::g(a, b, c), x[2], 0xfcefa3f8);
    c = step<Ops, 14>(c, d, Ops::g(d, a, b), x[7], 0x676f02d9);
    b = step<Ops, 20>(b, c, Ops::g(c, d, a), x[12], 0x8d2a4c8a);

    a = step<Ops, 4>(a, b, Ops::h(b, c, d), x[5], 0xfffa3942);
    d = step<Ops, 11>(d, a, Ops::h(a, b, c), x[8], 0x8771f681);
    c = step<Ops, 16>(c, d, Ops::h(d, a, b), x[11], 0x6d9d6122);
    b = step<Ops, 23>(b, c, Ops::h(c, d, a), x[14], 0xfde5380c);
    a = step<Ops, 4>(a, b, Ops::h(b, c, d), x[1], 0xa4beea44);
    d = step<Ops, 11>(d, a, Ops::h(a, b, c), x[4], 0x4bdecfa9);
    c = step<Ops, 16>(c, d, Ops::h(d, a, b), x[7], 0xf6bb4b60);
    b = step<Ops, 23>(b, c, Ops::h(c, d, a), x[10], 0xbebfbc70);
    a = step<Ops, 4>(a, b, Ops::h(b, c, d), x[13], 0x289b7ec6);
    d = step<Ops, 11>(d, a, Ops::h(a, b, c), x[0], 0xeaa127fa);
    c = step<Ops, 16>(c, d, Ops::h(d, a, b), x[3], 0xd4ef3085);
    b = step<Ops, 23>(b, c, Ops::h(c, d, a), x[6], 0x04881d05);
    a = step<Ops, 4>(a, b, Ops::h(b, c, d), x[9], 0xd9d4d039);
    d = step<Ops, 11>(d, a, Ops::h(a, b, c), x[12], 0xe6db99e5);
    c = step<Ops, 16>(c, d, Ops::h(d, a, b), x[15], 0x1fa27cf8);
    b = step<Ops, 23>(b, c, Ops::h(c, d, a), x[2], 0xc4ac5665);

    a = step<Ops, 6>(a, b, Ops::i(b, c, d), x[0], 0xf4292244);
    d = step<Ops, 10>(d, a, Ops::i(a, b, c), x[7], 0x432aff97);
    c = step<Ops, 15>(c, d, Ops::i(d, a, b), x[14], 0xab9423a7);
    b = step<Ops, 21>(b, c, Ops::i(c, d, a), x[5], 0xfc93a039);
    a = step<Ops, 6>(a, b, Ops::i(b, c, d), x[12], 0x655b59c3);
    d = step<Ops, 10>(d, a, Ops::i(a, b, c), x[3], 0x8f0ccc92);
    c = step<Ops, 15>(c, d, Ops::i(d, a, b), x[10], 0xffeff47d);
    b = step<Ops, 21>(b, c, Ops::i(c, d, a), x[1], 0x85845dd1);
    a = step<Ops, 6>(a, b, Ops::i(b, c, d), x[8], 0x6fa87e4f);
    d = step<Ops, 10>(d, a, Ops::i(a, b, c), x[15], 0xfe2ce6e0);
    c = step<Ops, 15>(c, d, Ops::i(d, a, b), x[6], 0xa3014314);
    b = step<Ops, 21>(b, c, Ops::i(c, d, a), x[13], 0x4e0811a1);
    a = step<Ops, 6>(a, b, Ops::i(b, c, d), x[4], 0xf7537e82);
    d = step<Ops, 10>(d, a, Ops::i(a, b, c), x[11], 0xbd3af235);
    c = step<Ops, 15>(c, d, Ops::i(d, a, b), x[2], 0x2ad7d2bb);
    b = step<Ops, 21>(b, c, Ops::i(c, d, a), x[9], 0xeb86d391);

    state[0] = Ops::add(state[0], a);
    state[1] = Ops::add(state[1], b);
    state[2] = Ops::add(state[2], c);
    state[3] = Ops::add(state[3], d);
}

// Lanes from `count` on are idle: they hash a block of zeros into a state that is dropped.
alignas(64) static const unsigned char md5_idle_block[64] = {};

template <typename Ops>
static inline void md5_lanes_run(std::uint32_t* const states[], const unsigned char* const data[],
                                 std::size_t count, std::size_t blocks) {
    constexpr std::size_t lanes = Ops::lanes;
    const unsigned char* at[lanes];
    std::size_t stride[lanes];
    alignas(64) std::uint32_t words[4][lanes];
    for (std::size_t j = 0; j < lanes; ++j) {
        const bool used = j < count;
        at[j] = used ? data[j] : md5_idle_block;
        stride[j] = used ? 64 : 0;
        for (int w = 0; w < 4; ++w) words[w][j] = used ? states[j][w] : 0;
    }
    typename Ops::word state[4];
    for (int w = 0; w < 4; ++w) state[w] = Ops::load(words[w]);

    for (; blocks != 0; --blocks) {
        typename Ops::word x[16];
        Ops::load_message(x, at);
        md5_lane_block<Ops>(state, x);
        for (std::size_t j = 0; j < lanes; ++j) at[j] += stride[j];
    }

    for (int w = 0; w < 4; ++w) Ops::store(words[w], state[w]);
    for (std::size_t j = 0; j < count; ++j)
        for (int w = 0; w < 4; ++w) states[j][w] = words[w][j];
}
