#include "digest/md5_lanes.h"

#include "digest/md5.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace {

// A different byte sequence for every seed, so that a lane that hashes another lane's bytes
// gets another digest.
std::string message(std::size_t size, unsigned seed) {
    std::string data(size, '\0');
    std::uint32_t x = 2463534242u + seed * 977u;
    for (char& byte : data) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        byte = static_cast<char>(x >> 24);
    }
    return data;
}

std::string serial_md5(const std::string& data) {
    md5_context context;
    md5_init(context);
    md5_update(context, data.data(), static_cast<std::uint32_t>(data.size()));
    md5_final(context);
    return md5_digest_text(context.digest);
}

// Hashes the messages as the stock check does: each lane takes the next message when its
// own has fewer than 64 bytes left, every call advances the lanes in use by the same number
// of blocks (at most `most_blocks`), and the lanes in use are packed to the front.
std::vector<std::string> lane_md5(md5_isa isa, const std::vector<std::string>& messages, std::size_t most_blocks) {
    struct in_lane {
        std::size_t message;
        std::uint32_t state[4];
        std::uint64_t blocks;
    };
    std::vector<std::string> digests(messages.size());
    std::vector<in_lane> lanes;
    std::size_t next = 0;
    for (;;) {
        for (auto it = lanes.begin(); it != lanes.end();) {
            const std::string& m = messages[it->message];
            const std::size_t done = static_cast<std::size_t>(it->blocks * 64);
            if (m.size() - done >= 64) {
                ++it;
                continue;
            }
            unsigned char digest[16];
            md5_lanes_finish(it->state, it->blocks, reinterpret_cast<const unsigned char*>(m.data()) + done,
                             m.size() - done, digest);
            digests[it->message] = md5_digest_text(digest);
            it = lanes.erase(it);
        }
        if (lanes.size() < md5_lane_count(isa) && next < messages.size()) {
            in_lane l{next++, {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476}, 0};
            lanes.push_back(l);
            continue;  // a new message may be shorter than a block
        }
        if (lanes.empty()) return digests;

        std::size_t blocks = most_blocks;
        std::uint32_t* states[md5_max_lanes];
        const unsigned char* data[md5_max_lanes];
        for (std::size_t j = 0; j < lanes.size(); ++j) {
            const std::string& m = messages[lanes[j].message];
            const std::size_t done = static_cast<std::size_t>(lanes[j].blocks * 64);
            blocks = std::min(blocks, (m.size() - done) / 64);
            states[j] = lanes[j].state;
            data[j] = reinterpret_cast<const unsigned char*>(m.data()) + done;
        }
        md5_lanes_update(isa, states, data, lanes.size(), blocks);
        for (in_lane& l : lanes) l.blocks += blocks;
    }
}

class md5_lanes : public ::testing::TestWithParam<md5_isa> {
protected:
    void SetUp() override {
        if (!md5_isa_available(GetParam()))
            GTEST_SKIP() << md5_isa_name(GetParam()) << ": not run by this processor or not in this build";
    }
};

}  // namespace

// Sizes at the edges of a block and of the padding, odd sizes, and a MiB, more messages than
// lanes, so that lanes are refilled while others are half-way through their messages.
TEST_P(md5_lanes, digests_equal_serial_md5_for_every_length) {
    const std::vector<std::size_t> sizes = {0,   55,  56,    63,     64,          65,   1 << 20, 1,   127, 128,
                                            129, 191, 1000,  4095,   4097,        9999, 65537,   119, 120, 121,
                                            640, 3,   77777, 262147, (1 << 20) + 1, 0, 64, 999, 5000, 333};
    std::vector<std::string> messages;
    for (std::size_t i = 0; i < sizes.size(); ++i) messages.push_back(message(sizes[i], static_cast<unsigned>(i)));

    for (const std::size_t most_blocks : {std::size_t{1}, std::size_t{3}, std::size_t{1} << 30}) {
        const std::vector<std::string> digests = lane_md5(GetParam(), messages, most_blocks);
        for (std::size_t i = 0; i < messages.size(); ++i)
            EXPECT_EQ(digests[i], serial_md5(messages[i])) << "size " << sizes[i] << ", at most " << most_blocks << " blocks a call";
    }
}

// Every number of lanes in use from one to all, each lane with its own bytes: the idle lanes
// leave the others alone, and each lane's state is its own message's.
TEST_P(md5_lanes, partly_used_lanes_match_serial_compression) {
    const std::size_t lanes = md5_lane_count(GetParam());
    for (std::size_t count = 1; count <= lanes; ++count) {
        std::vector<std::string> data;
        std::vector<std::vector<std::uint32_t>> states, expected;
        for (std::size_t j = 0; j < count; ++j) {
            data.push_back(message(5 * 64, static_cast<unsigned>(100 + 17 * count + j)));
            states.push_back({0x67452301u + static_cast<std::uint32_t>(j), 0xefcdab89, 0x98badcfe, 0x10325476u ^ static_cast<std::uint32_t>(count)});
            expected.push_back(states.back());
            md5_compress_blocks(expected.back().data(), reinterpret_cast<const unsigned char*>(data.back().data()), 5);
        }
        std::uint32_t* state_of[md5_max_lanes];
        const unsigned char* data_of[md5_max_lanes];
        for (std::size_t j = 0; j < count; ++j) {
            state_of[j] = states[j].data();
            data_of[j] = reinterpret_cast<const unsigned char*>(data[j].data());
        }
        md5_lanes_update(GetParam(), state_of, data_of, count, 5);
        EXPECT_EQ(states, expected) << count << " lanes of " << lanes;
    }
}

INSTANTIATE_TEST_SUITE_P(each_instruction_set, md5_lanes, ::testing::ValuesIn(md5_isas),
                         [](const ::testing::TestParamInfo<md5_isa>& info) { return std::string(md5_isa_name(info.param)); });

TEST(md5_lanes_choice, the_chosen_set_is_available_and_has_its_lanes) {
    const md5_isa best = md5_best_isa();
    EXPECT_TRUE(md5_isa_available(best));
    EXPECT_TRUE(md5_isa_available(md5_isa::scalar));
    for (const md5_isa isa : md5_isas) {
        if (md5_isa_available(isa)) {
            EXPECT_LE(md5_lane_count(isa), md5_lane_count(best)) << md5_isa_name(isa);
        }
    }
    std::printf("lane routines run here:");
    for (const md5_isa isa : md5_isas)
        if (md5_isa_available(isa)) std::printf(" %s", md5_isa_name(isa));
    std::printf("; chosen: %s\n", md5_isa_name(best));
}
