#include "diff/block_index.h"

#include <gtest/gtest.h>

#include "common/storage_memory.h"
#include "tests/support/map_builder.h"

namespace {

std::uint64_t one_chain(const unsigned char* data, std::size_t size) {
    std::uint64_t hash = 0;
    for (std::size_t i = 0; i < size; ++i) hash = hash * rolling_multiplier + data[i];
    return hash;
}

// Three sources, over 9 MiB together (several batches of blocks), with repeated blocks within
// and across them, runs of one byte, and one source shorter than a block.
memory_files index_sources(std::vector<patch_source>& indexed) {
    memory_files memory;
    bytes first = seeded_random{11}.fill(3 << 20);
    bytes second = seeded_random{12}.fill((3 << 20) + 1000);
    std::copy(first.begin() + 4096, first.begin() + 65536, second.begin() + 100000);  // the same blocks again
    std::fill(second.begin() + 200000, second.begin() + 300000, 0x77);
    bytes third = first;
    std::copy(second.begin(), second.begin() + 500000, third.begin() + 7);
    memory.files["maps/first"] = first;
    memory.files["maps/tiny"] = bytes(10, 1);
    memory.files["maps/second"] = second;
    memory.files["maps/third"] = third;
    indexed.clear();
    for (const char* name : {"first", "tiny", "second", "third"}) {
        const std::string path = std::string("maps/") + name;
        patch_source source;
        source.path = path;
        source.size = memory.files[path].size();
        indexed.push_back(source);
    }
    return memory;
}

}  // namespace

TEST(block_index, hash_in_lanes_and_rolling_equal_one_chain) {
    const bytes data = seeded_random{3}.fill(1200);
    for (std::size_t size : {0, 1, 7, 8, 9, 63, 64, 65, 256, 1000})
        EXPECT_EQ(block_hash(data.data(), size), one_chain(data.data(), size)) << size;
    const std::size_t b = 64;
    const std::uint64_t drop = rolling_drop_factor(b);
    std::uint64_t hash = block_hash(data.data(), b);
    for (std::size_t p = 0; p + b < data.size(); ++p) {
        hash = hash * rolling_multiplier + data[p + b] - drop * data[p];
        ASSERT_EQ(hash, one_chain(data.data() + p + 1, b)) << p;
    }
}

// Patches must be reproducible: the index may not depend on how many workers built it.
TEST(block_index, is_the_same_whatever_the_number_of_workers) {
    std::vector<patch_source> indexed;
    memory_files memory = index_sources(indexed);
    progress quiet;
    block_index one;
    ASSERT_TRUE(build_block_index(storage{&memory}, indexed, one, quiet, 1));
    EXPECT_GT(one.part_bits, 0u);
    for (std::size_t workers : {2, 3, 16, 40}) {
        block_index several;
        ASSERT_TRUE(build_block_index(storage{&memory}, indexed, several, quiet, workers));
        EXPECT_EQ(several.block_size, one.block_size);
        EXPECT_EQ(several.filter, one.filter) << workers << " workers";
        ASSERT_EQ(several.slots.size(), one.slots.size());
        std::size_t differing = 0;
        for (std::size_t s = 0; s < one.slots.size(); ++s)
            differing += one.slots[s].key != several.slots[s].key || one.slots[s].block != several.slots[s].block;
        EXPECT_EQ(differing, 0u) << workers << " workers";
    }

    // Every block that is not one byte repeated is found, at the first place its bytes lie.
    const std::size_t b = one.block_size;
    std::size_t found = 0;
    for (std::size_t s = 0; s < indexed.size(); ++s) {
        const bytes& content = memory.files[indexed[s].path];
        for (std::size_t at = 0; at + b <= content.size(); at += b) {
            const unsigned char* block = content.data() + at;
            if (std::all_of(block, block + b, [&](unsigned char c) { return c == block[0]; })) continue;
            block_match match{};
            ASSERT_TRUE(find_block(one, block_hash(block, b), match)) << s << " " << at;
            const bytes& where = memory.files[indexed[match.source].path];
            ASSERT_TRUE(std::equal(block, block + b, where.begin() + static_cast<std::ptrdiff_t>(match.offset)));
            EXPECT_TRUE(match.source < s || (match.source == s && match.offset <= at));
            ++found;
        }
    }
    EXPECT_GT(found, 100000u);
}

TEST(block_index, fails_on_a_source_that_cannot_be_read) {
    std::vector<patch_source> indexed;
    memory_files memory = index_sources(indexed);
    indexed.push_back({"gone", "maps/gone", false, 5000, {}});
    progress quiet;
    block_index index;
    EXPECT_FALSE(build_block_index(storage{&memory}, indexed, index, quiet, 2));
}
