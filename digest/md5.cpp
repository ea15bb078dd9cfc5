// MD5 as RFC 1321 defines it. Whole blocks are compressed straight from the caller's bytes;
// only the ragged ends of a run pass through the context's block buffer.
#include "digest/md5.h"

#include <algorithm>
#include <cstring>

#include "common/little_endian.h"

namespace {

inline std::uint32_t rotate_left(std::uint32_t x, int s) { return (x << s) | (x >> (32 - s)); }

// Each step adds the message word and constant first: they do not depend on the previous
// step, so the processor can start them early. G is split into two disjoint terms added
// separately, which shortens the dependency chain through b, c and d.
inline void step_f(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
                   std::uint32_t x, int s, std::uint32_t t) {
    a += x + t;
    a += d ^ (b & (c ^ d));
    a = rotate_left(a, s) + b;
}

inline void step_g(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
                   std::uint32_t x, int s, std::uint32_t t) {
    a += x + t;
    a += c & ~d;
    a += b & d;
    a = rotate_left(a, s) + b;
}

inline void step_h(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
                   std::uint32_t x, int s, std::uint32_t t) {
    a += x + t;
    a += b ^ c ^ d;
    a = rotate_left(a, s) + b;
}

inline void step_i(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
                   std::uint32_t x, int s, std::uint32_t t) {
    a += x + t;
    a += c ^ (b | ~d);
    a = rotate_left(a, s) + b;
}

struct byte_words {
    const unsigned char* bytes;
    std::uint32_t operator[](int i) const { return load_u32_le(bytes + 4 * i); }
};

struct array_words {
    const std::uint32_t* words;
    std::uint32_t operator[](int i) const { return words[i]; }
};

// The 64 steps of one block, with RFC 1321's constants, rotations and word order.
template <typename Words>
inline void compress(std::uint32_t& a0, std::uint32_t& b0, std::uint32_t& c0, std::uint32_t& d0,
                     Words x) {
    std::uint32_t a = a0, b = b0, c = c0, d = d0;

    step_f(a, b, c, d, x[0], 7, 0xd76aa478);
    step_f(d, a, b, c, x[1], 12, 0xe8c7b756);
    step_f(c, d, a, b, x[2], 17, 0x242070db);
    step_f(b, c, d, a, x[3], 22, 0xc1bdceee);
    step_f(a, b, c, d, x[4], 7, 0xf57c0faf);
    step_f(d, a, b, c, x[5], 12, 0x4787c62a);
    step_f(c, d, a, b, x[6], 17, 0xa8304613);
    step_f(b, c, d, a, x[7], 22, 0xfd469501);
    step_f(a, b, c, d, x[8], 7, 0x698098d8);
    step_f(d, a, b, c, x[9], 12, 0x8b44f7af);
    step_f(c, d, a, b, x[10], 17, 0xffff5bb1);
    step_f(b, c, d, a, x[11], 22, 0x895cd7be);
    step_f(a, b, c, d, x[12], 7, 0x6b901122);
    step_f(d, a, b, c, x[13], 12, 0xfd987193);
    step_f(c, d, a, b, x[14], 17, 0xa679438e);
    step_f(b, c, d, a, x[15], 22, 0x49b40821);

    step_g(a, b, c, d, x[1], 5, 0xf61e2562);
    step_g(d, a, b, c, x[6], 9, 0xc040b340);
    step_g(c, d, a, b, x[11], 14, 0x265e5a51);
    step_g(b, c, d, a, x[0], 20, 0xe9b6c7aa);
    step_g(a, b, c, d, x[5], 5, 0xd62f105d);
    step_g(d, a, b, c, x[10], 9, 0x02441453);
    step_g(c, d, a, b, x[15], 14, 0xd8a1e681);
    step_g(b, c, d, a, x[4], 20, 0xe7d3fbc8);
    step_g(a, b, c, d, x[9], 5, 0x21e1cde6);
    step_g(d, a, b, c, x[14], 9, 0xc33707d6);
    step_g(c, d, a, b, x[3], 14, 0xf4d50d87);
    step_g(b, c, d, a, x[8], 20, 0x455a14ed);
    step_g(a, b, c, d, x[13], 5, 0xa9e3e905);
    step_g(d, a, b, c, x[2], 9, 0xfcefa3f8);
    step_g(c, d, a, b, x[7], 14, 0x676f02d9);
    step_g(b, c, d, a, x[12], 20, 0x8d2a4c8a);

    step_h(a, b, c, d, x[5], 4, 0xfffa3942);
    step_h(d, a, b, c, x[8], 11, 0x8771f681);
    step_h(c, d, a, b, x[11], 16, 0x6d9d6122);
    step_h(b, c, d, a, x[14], 23, 0xfde5380c);
    step_h(a, b, c, d, x[1], 4, 0xa4beea44);
    step_h(d, a, b, c, x[4], 11, 0x4bdecfa9);
    step_h(c, d, a, b, x[7], 16, 0xf6bb4b60);
    step_h(b, c, d, a, x[10], 23, 0xbebfbc70);
    step_h(a, b, c, d, x[13], 4, 0x289b7ec6);
    step_h(d, a, b, c, x[0], 11, 0xeaa127fa);
    step_h(c, d, a, b, x[3], 16, 0xd4ef3085);
    step_h(b, c, d, a, x[6], 23, 0x04881d05);
    step_h(a, b, c, d, x[9], 4, 0xd9d4d039);
    step_h(d, a, b, c, x[12], 11, 0xe6db99e5);
    step_h(c, d, a, b, x[15], 16, 0x1fa27cf8);
    step_h(b, c, d, a, x[2], 23, 0xc4ac5665);

    step_i(a, b, c, d, x[0], 6, 0xf4292244);
    step_i(d, a, b, c, x[7], 10, 0x432aff97);
    step_i(c, d, a, b, x[14], 15, 0xab9423a7);
    step_i(b, c, d, a, x[5], 21, 0xfc93a039);
    step_i(a, b, c, d, x[12], 6, 0x655b59c3);
    step_i(d, a, b, c, x[3], 10, 0x8f0ccc92);
    step_i(c, d, a, b, x[10], 15, 0xffeff47d);
    step_i(b, c, d, a, x[1], 21, 0x85845dd1);
    step_i(a, b, c, d, x[8], 6, 0x6fa87e4f);
    step_i(d, a, b, c, x[15], 10, 0xfe2ce6e0);
    step_i(c, d, a, b, x[6], 15, 0xa3014314);
    step_i(b, c, d, a, x[13], 21, 0x4e0811a1);
    step_i(a, b, c, d, x[4], 6, 0xf7537e82);
    step_i(d, a, b, c, x[11], 10, 0xbd3af235);
    step_i(c, d, a, b, x[2], 15, 0x2ad7d2bb);
    step_i(b, c, d, a, x[9], 21, 0xeb86d391);

    a0 += a;
    b0 += b;
    c0 += c;
    d0 += d;
}

inline std::uint32_t fill_level(const md5_context& context) { return (context.bit_count[0] >> 3) & 63; }

}  // namespace

// The chaining words stay in locals for the whole run: the input may alias anything, so the
// context's words would otherwise be stored and reloaded around every block.
void md5_compress_blocks(std::uint32_t state[4], const unsigned char* bytes, std::size_t blocks) {
    std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    for (; blocks != 0; --blocks, bytes += 64) compress(a, b, c, d, byte_words{bytes});
    state[0] = a;
    state[1] = b;
    state[2] = c;
    state[3] = d;
}

void md5_init(md5_context& context) {
    context = md5_context{};
    context.state[0] = 0x67452301;
    context.state[1] = 0xefcdab89;
    context.state[2] = 0x98badcfe;
    context.state[3] = 0x10325476;
}

void md5_update(md5_context& context, const void* data, std::uint32_t size) {
    if (size == 0) return;
    const auto* bytes = static_cast<const unsigned char*>(data);
    const std::uint32_t fill = fill_level(context);

    const std::uint32_t old_low = context.bit_count[0];
    context.bit_count[0] += size << 3;
    if (context.bit_count[0] < old_low) ++context.bit_count[1];
    context.bit_count[1] += size >> 29;

    if (fill != 0) {
        const std::uint32_t room = 64 - fill;
        if (size < room) {
            std::memcpy(context.buffer + fill, bytes, size);
            return;
        }
        std::memcpy(context.buffer + fill, bytes, room);
        md5_compress_blocks(context.state, context.buffer, 1);
        bytes += room;
        size -= room;
    }
    md5_compress_blocks(context.state, bytes, size / 64);
    bytes += size & ~std::uint32_t{63};
    size &= 63;
    if (size != 0) std::memcpy(context.buffer, bytes, size);
}

void md5_final(md5_context& context) {
    static const unsigned char padding[64] = {0x80};
    const std::uint32_t low = context.bit_count[0];
    const std::uint32_t high = context.bit_count[1];
    const std::uint32_t fill = fill_level(context);
    md5_update(context, padding, fill < 56 ? 56 - fill : 120 - fill);

    std::uint32_t words[16];
    for (int i = 0; i < 14; ++i) words[i] = load_u32_le(context.buffer + 4 * i);
    words[14] = low;
    words[15] = high;
    md5_transform(context.state, words);

    for (int i = 0; i < 4; ++i) store_u32_le(context.digest + 4 * i, context.state[i]);
}

void md5_transform(std::uint32_t state[4], const std::uint32_t words[16]) {
    compress(state[0], state[1], state[2], state[3], array_words{words});
}

std::string md5_digest_text(const unsigned char (&digest)[16]) {
    static const char hex_digits[] = "0123456789abcdef";
    std::string text(32, '0');
    for (int i = 0; i < 16; ++i) {
        text[2 * i] = hex_digits[digest[i] >> 4];
        text[2 * i + 1] = hex_digits[digest[i] & 15];
    }
    return text;
}

std::string md5_text_of(const void* data, std::size_t size) {
    md5_context context;
    md5_init(context);
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (std::size_t at = 0; at < size;) {
        const std::size_t piece = std::min<std::size_t>(size - at, std::size_t{1} << 30);
        md5_update(context, bytes + at, static_cast<std::uint32_t>(piece));
        at += piece;
    }
    md5_final(context);
    return md5_digest_text(context.digest);
}

bool is_digest_text(const std::string& text) {
    if (text.size() != 32) return false;
    for (const char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    }
    return true;
}
