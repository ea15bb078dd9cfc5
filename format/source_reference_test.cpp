#include "format/source_reference.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

reference_reading read_from(const std::vector<unsigned char>& bytes, std::uint64_t at, source_reference& reference,
                            std::uint64_t& end) {
    const auto byte_at = [&bytes](std::uint64_t position, unsigned char& b) {
        if (position >= bytes.size()) return false;
        b = bytes[static_cast<std::size_t>(position)];
        return true;
    };
    return read_source_reference(byte_at, at, reference, end);
}

}  // namespace

TEST(source_reference, what_is_written_reads_back_and_takes_its_size) {
    std::vector<unsigned char> bytes(40, 0xEE);
    write_source_reference({0x01020304u, "Canyon.qmw", true}, bytes.data() + 3);
    const std::size_t size = source_reference_size(10);
    EXPECT_EQ(size, 16u);
    const std::vector<unsigned char> expected = {4, 3, 2, 1, 'C', 'a', 'n', 'y', 'o', 'n', '.', 'q', 'm', 'w', 0, 1};
    EXPECT_EQ(std::vector<unsigned char>(bytes.begin() + 3, bytes.begin() + 3 + 16), expected);
    EXPECT_EQ(bytes[2], 0xEE);
    EXPECT_EQ(bytes[3 + size], 0xEE);

    source_reference reference;
    std::uint64_t end = 0;
    ASSERT_EQ(read_from(bytes, 3, reference, end), reference_reading::found);
    EXPECT_EQ(reference.source_offset, 0x01020304u);
    EXPECT_EQ(reference.source_name, "Canyon.qmw");
    EXPECT_TRUE(reference.in_patch_folder);
    EXPECT_EQ(end, 3 + size);

    write_source_reference({7, "A", false}, bytes.data());
    ASSERT_EQ(read_from(bytes, 0, reference, end), reference_reading::found);
    EXPECT_FALSE(reference.in_patch_folder);
    EXPECT_EQ(end, source_reference_size(1));
}

TEST(source_reference, a_zero_offset_ends_the_reading_and_a_cut_anywhere_is_truncation) {
    source_reference reference;
    std::uint64_t end = 0;
    EXPECT_EQ(read_from({0, 0, 0, 0}, 0, reference, end), reference_reading::none);

    std::vector<unsigned char> bytes(source_reference_size(3));
    write_source_reference({9, "abc", true}, bytes.data());
    for (std::size_t cut = 0; cut < bytes.size(); ++cut) {
        const std::vector<unsigned char> part(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(cut));
        EXPECT_EQ(read_from(part, 0, reference, end), reference_reading::truncated) << cut;
    }
}

TEST(source_reference, a_name_beyond_the_reading_bound_is_refused) {
    source_reference reference;
    std::uint64_t end = 0;
    std::vector<unsigned char> bytes(source_reference_size(longest_source_name_read));
    write_source_reference({1, std::string(longest_source_name_read, 'x'), false}, bytes.data());
    EXPECT_EQ(read_from(bytes, 0, reference, end), reference_reading::found);

    bytes.assign(source_reference_size(longest_source_name_read + 1), 0);
    write_source_reference({1, std::string(longest_source_name_read + 1, 'x'), false}, bytes.data());
    EXPECT_EQ(read_from(bytes, 0, reference, end), reference_reading::name_too_long);
}
