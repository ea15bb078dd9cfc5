#include "digest/md5.h"

#include "digest/md5_vectors_test.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace {

std::string md5_whole(const void* data, std::size_t size) {
    md5_context context;
    md5_init(context);
    md5_update(context, data, static_cast<std::uint32_t>(size));
    md5_final(context);
    return md5_digest_text(context.digest);
}

std::string md5_whole(const std::string& text) { return md5_whole(text.data(), text.size()); }

// Straightforward reference: every byte passes through the block buffer on its own.
std::string md5_byte_by_byte(const std::vector<unsigned char>& data) {
    md5_context context;
    md5_init(context);
    for (unsigned char byte : data) md5_update(context, &byte, 1);
    md5_final(context);
    return md5_digest_text(context.digest);
}

std::vector<unsigned char> pattern(std::size_t size) {
    const std::string data = md5_pattern(size);
    return std::vector<unsigned char>(data.begin(), data.end());
}

}  // namespace

TEST(md5, rfc_1321_test_suite) {
    EXPECT_EQ(md5_whole(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(md5_whole("a"), "0cc175b9c0f1b6a831c399e269772661");
    EXPECT_EQ(md5_whole("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(md5_whole("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
    EXPECT_EQ(md5_whole("abcdefghijklmnopqrstuvwxyz"), "c3fcd3d76192e4007dfb496cca67e13b");
    EXPECT_EQ(md5_whole("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
              "d174ab98d277d9f5a5611c2c9f419d9f");
    EXPECT_EQ(md5_whole("1234567890123456789012345678901234567890"
                        "1234567890123456789012345678901234567890"),
              "57edf4a22be3c955ac49da2e2107b67a");
}

// Digests of pattern(size) as printed by the system's md5sum.
TEST(md5, edge_sizes_match_md5sum) {
    for (const md5_sized_digest& c : md5_pattern_digests) {
        const std::vector<unsigned char> data = pattern(c.size);
        EXPECT_EQ(md5_whole(data.data(), data.size()), c.digest) << "size " << c.size;
        EXPECT_EQ(md5_byte_by_byte(data), c.digest) << "size " << c.size;
    }
}

// Every way of cutting the same bytes into runs gives the same digest; the runs cross and
// meet block boundaries at every offset.
TEST(md5, split_patterns_agree) {
    const std::vector<unsigned char> data = pattern(3 * 64 * 64 + 13);
    const std::string expected = md5_byte_by_byte(data);

    for (std::size_t first = 0; first <= 130; ++first) {
        md5_context context;
        md5_init(context);
        md5_update(context, data.data(), static_cast<std::uint32_t>(first));
        md5_update(context, data.data() + first, static_cast<std::uint32_t>(data.size() - first));
        md5_final(context);
        ASSERT_EQ(md5_digest_text(context.digest), expected) << "first run " << first;
    }
    for (std::size_t step = 1; step <= 200; step += 7) {
        md5_context context;
        md5_init(context);
        std::size_t done = 0;
        for (std::size_t run = step; done < data.size(); run = run % 150 + step) {
            const std::size_t size = std::min(run, data.size() - done);
            md5_update(context, data.data() + done, static_cast<std::uint32_t>(size));
            md5_update(context, data.data() + done, 0);
            done += size;
        }
        md5_final(context);
        ASSERT_EQ(md5_digest_text(context.digest), expected) << "step " << step;
    }
}

TEST(md5, bit_count_carries_into_high_word) {
    md5_context context;
    md5_init(context);
    context.bit_count[0] = 0xfffffff8u;  // 2^32 - 8 bits: a multiple of 64 bytes, buffer empty
    const unsigned char byte = 'x';
    md5_update(context, &byte, 1);
    EXPECT_EQ(context.bit_count[0], 0u);
    EXPECT_EQ(context.bit_count[1], 1u);

    md5_init(context);
    std::vector<unsigned char> data(1u << 16);
    md5_update(context, data.data(), static_cast<std::uint32_t>(data.size()));
    EXPECT_EQ(context.bit_count[0], 1u << 19);
    EXPECT_EQ(context.bit_count[1], 0u);
}

// One hand-padded block through md5_transform alone: "abc", the 0x80 marker, zeros, and
// the length in bits in word 14.
TEST(md5, transform_of_one_padded_block) {
    std::uint32_t state[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
    std::uint32_t words[16] = {0x80636261};
    words[14] = 24;
    md5_transform(state, words);

    unsigned char digest[16];
    for (int i = 0; i < 16; ++i) digest[i] = static_cast<unsigned char>(state[i / 4] >> (8 * (i % 4)));
    EXPECT_EQ(md5_digest_text(digest), "900150983cd24fb0d6963f7d28e17f72");
}

TEST(md5, digest_text_keeps_leading_zeros) {
    unsigned char digest[16] = {0x00, 0x01, 0x0f, 0x10, 0xab, 0xff};
    EXPECT_EQ(md5_digest_text(digest), "00010f10abff00000000000000000000");
}

TEST(md5, text_of_a_buffer_and_the_digest_text_form) {
    const std::string abc = "abc";
    EXPECT_EQ(md5_text_of(abc.data(), abc.size()), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(md5_text_of(nullptr, 0), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_TRUE(is_digest_text("900150983cd24fb0d6963f7d28e17f72"));
    for (const char* wrong : {"900150983CD24FB0D6963F7D28E17F72", "900150983cd24fb0d6963f7d28e17f7", "900150983cd24fb0d6963f7d28e17f72 ",
                              "g00150983cd24fb0d6963f7d28e17f72", ""})
        EXPECT_FALSE(is_digest_text(wrong)) << wrong;
}
