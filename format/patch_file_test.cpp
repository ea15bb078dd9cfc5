#include "format/patch_file.h"

#include <gtest/gtest.h>

#include "tests/support/map_builder.h"

namespace {

struct scanned {
    scan_result result;
    std::vector<patch_entry> entries;
    bytes after;  // the file once the scan has zeroed its source references
};

scanned scan(const bytes& content) {
    temp_folder folder;
    write_file(folder / "copy.qmw", content);
    scanned out{};
    {
        stored_file file;
        EXPECT_TRUE(open_stored_file(storage{}, folder / "copy.qmw", open_mode::read_write, file));
        out.result = scan_patch_table(file, content.size(), out.entries);
    }
    out.after = read_file(folder / "copy.qmw");
    return out;
}

// Two entries: "abc" with a reference to Stock.qmw, "" (empty name) without one.
bytes two_entry_patch() {
    bytes file = empty_map(2048, 2);
    set_entry(file, 0, 1000, 16, "abc");
    set_entry(file, 1, 1016, 8, "");
    set_source_reference(file, 0, 1024, "Stock.qmw", 0);
    return file;
}

}  // namespace

TEST(scan_patch_table, reads_references_and_zeroes_exactly_their_bytes) {
    const bytes patch = two_entry_patch();
    const scanned result = scan(patch);
    ASSERT_EQ(result.result, scan_result::ok);
    ASSERT_EQ(result.entries.size(), 1u);
    const patch_entry& entry = result.entries[0];
    EXPECT_EQ(entry.source_name, "Stock.qmw");
    EXPECT_EQ(entry.source_offset, 1024);
    EXPECT_FALSE(entry.in_patch_folder);
    EXPECT_EQ(entry.chunk_offset, 1000);
    EXPECT_EQ(entry.chunk_size, 16u);

    // The reference starts behind "abc" and its NUL (93 + 4 = 97): 4 + 9 + 1 + 1 = 15 bytes.
    bytes expected = patch;
    for (std::size_t k = 97; k < 97 + 15; ++k) expected[k] = 0;
    EXPECT_EQ(result.after, expected);
    EXPECT_NE(result.after, patch);
}

TEST(scan_patch_table, a_ten_byte_name_zeroes_sixteen_bytes) {
    bytes patch = empty_map(1024, 1);
    set_entry(patch, 0, 600, 4, "n");
    set_source_reference(patch, 0, 7, "0123456789", 1);
    for (std::size_t k = 95 + 16; k < 95 + 40; ++k) patch[k] = 0xEE;  // bytes behind the reference stay
    const scanned result = scan(patch);
    ASSERT_EQ(result.entries.size(), 1u);
    std::size_t changed = 0;
    for (std::size_t k = 0; k < patch.size(); ++k) changed += patch[k] != result.after[k];
    // Of the 16 bytes, the offset 7 (one non-zero byte), the ten name bytes and the flag were not zero.
    EXPECT_EQ(changed, 12u);
    for (std::size_t k = 95; k < 95 + 16; ++k) EXPECT_EQ(result.after[k], 0) << k;
    EXPECT_EQ(result.after[95 + 16], 0xEE);
}

TEST(scan_patch_table, no_entries_for_a_count_of_zero_or_below) {
    for (const std::int32_t count : {0, -1, -2147483647 - 1}) {
        bytes patch = empty_map(1024, count);
        set_entry(patch, 0, 600, 4, "abc");
        set_source_reference(patch, 0, 5, "Stock.qmw", 0);
        const scanned result = scan(patch);
        EXPECT_EQ(result.result, scan_result::ok);
        EXPECT_TRUE(result.entries.empty());
        EXPECT_EQ(result.after, patch);
    }
}

TEST(scan_patch_table, a_name_that_fills_its_field_puts_the_reference_behind_it) {
    bytes patch = empty_map(4096, 3);
    set_entry(patch, 0, 0, 0, "");
    set_entry(patch, 1, 0, 0, "");
    set_entry(patch, 2, 3000, 10, std::string(263, 'N'));
    set_source_reference(patch, 2, 99, "Full.qmw", 2);
    ASSERT_EQ(source_reference_at(patch, 2), 356u + 308u * 2);
    const scanned result = scan(patch);
    ASSERT_EQ(result.entries.size(), 1u);
    EXPECT_EQ(result.entries[0].source_name, "Full.qmw");
    EXPECT_EQ(result.entries[0].source_offset, 99);
    EXPECT_TRUE(result.entries[0].in_patch_folder);
}

TEST(scan_patch_table, any_nonzero_folder_flag_means_the_patch_folder) {
    for (const std::uint8_t flag : {1, 2, 0x80, 0xFF}) {
        bytes patch = empty_map(1024, 1);
        set_entry(patch, 0, 700, 1, "x");
        set_source_reference(patch, 0, -5, "S", flag);
        const scanned result = scan(patch);
        ASSERT_EQ(result.entries.size(), 1u);
        EXPECT_TRUE(result.entries[0].in_patch_folder);
        EXPECT_EQ(result.entries[0].source_offset, -5);
    }
}

TEST(scan_patch_table, entries_are_found_by_position_and_see_earlier_zeroing) {
    // Entry 0's long source name runs over entry 1's fields and the start of entry 1's own
    // reference. Zeroed before entry 1 is read, they read as 0: entry 1 has no reference.
    bytes patch = empty_map(2048, 2);
    set_entry(patch, 1, 1500, 20, "");
    set_source_reference(patch, 1, 3, "Other.qmw", 0);
    set_entry(patch, 0, 1200, 4, "first");
    const std::string long_name(300, 'L');
    set_source_reference(patch, 0, 1, long_name, 0);
    ASSERT_EQ(source_reference_at(patch, 0) + 6 + long_name.size(), 405u);  // up to entry 1's offset field
    const scanned result = scan(patch);
    ASSERT_EQ(result.result, scan_result::ok);
    ASSERT_EQ(result.entries.size(), 1u);
    EXPECT_EQ(result.entries[0].source_name, long_name);
    EXPECT_EQ(result.after[406], 'O');  // the rest of entry 1's old reference is left alone
}

TEST(scan_patch_table, a_file_cut_anywhere_in_the_table_is_truncated) {
    const bytes patch = two_entry_patch();
    const std::size_t table_end = 52 + 308 * 2;
    // Entry 1's empty name puts its zero source offset at 402..405: the last bytes read.
    for (std::size_t cut = 25; cut < table_end; ++cut) {
        bytes cut_patch(patch.begin(), patch.begin() + cut);
        const scanned result = scan(cut_patch);
        const bool all_read = cut >= 52 + 308 + 41 + 1 + 4;  // entry 1's empty name and zero offset
        EXPECT_EQ(result.result, all_read ? scan_result::ok : scan_result::truncated) << "cut at " << cut;
    }
}

TEST(scan_patch_table, a_huge_count_in_a_small_file_is_truncated) {
    bytes patch = empty_map(400, 2147483647);
    const scanned result = scan(patch);
    EXPECT_EQ(result.result, scan_result::truncated);
}

TEST(scan_patch_table, a_source_name_without_its_nul_is_truncated) {
    bytes patch = empty_map(200, 1);
    set_entry(patch, 0, 0, 0, "e");
    patch.resize(95 + 4);
    put_u32(patch, 95, 1);
    patch.insert(patch.end(), 30, 'x');
    EXPECT_EQ(scan(patch).result, scan_result::truncated);
}

TEST(scan_patch_table, an_endless_source_name_is_refused) {
    bytes patch = empty_map(20000, 1);
    set_entry(patch, 0, 0, 0, "e");
    set_source_reference(patch, 0, 1, std::string(10000, 'x'), 0);
    EXPECT_EQ(scan(patch).result, scan_result::name_too_long);
}

TEST(patch_entry_order, folder_then_unsigned_name_then_signed_offset) {
    auto entry = [](bool folder, std::string name, std::int32_t offset) {
        patch_entry e;
        e.in_patch_folder = folder;
        e.source_name = std::move(name);
        e.source_offset = offset;
        return e;
    };
    EXPECT_TRUE(patch_entry_order(entry(false, "Z", 9), entry(true, "A", 1)));
    EXPECT_FALSE(patch_entry_order(entry(true, "A", 1), entry(false, "Z", 9)));
    EXPECT_TRUE(patch_entry_order(entry(false, "Map", 5), entry(false, "Map.qmw", 1)));  // prefix first
    EXPECT_TRUE(patch_entry_order(entry(false, "z", 5), entry(false, "\xE4", 1)));      // 0xE4 above 'z'
    EXPECT_TRUE(patch_entry_order(entry(false, "B", 5), entry(false, "a", 1)));         // case-sensitive
    EXPECT_TRUE(patch_entry_order(entry(false, "A", -7), entry(false, "A", 3)));
    EXPECT_FALSE(patch_entry_order(entry(false, "A", 3), entry(false, "A", 3)));
}

TEST(check_patch_entry, chunks_must_lie_inside_the_file_unless_empty) {
    patch_entry entry;
    entry.source_name = "Stock.qmw";
    entry.source_offset = 1;
    entry.chunk_offset = 90;
    entry.chunk_size = 10;
    EXPECT_EQ(check_patch_entry(entry, 100), entry_check::ok);
    EXPECT_EQ(check_patch_entry(entry, 99), entry_check::chunk_outside_file);
    entry.chunk_offset = -1;
    EXPECT_EQ(check_patch_entry(entry, 100), entry_check::chunk_outside_file);
    entry.chunk_offset = 0;
    entry.chunk_size = 0xFFFFFFFFu;
    EXPECT_EQ(check_patch_entry(entry, 100), entry_check::chunk_outside_file);
    entry.chunk_size = 4;
    entry.source_offset = -4;
    EXPECT_EQ(check_patch_entry(entry, 100), entry_check::negative_source_offset);
    // An empty chunk reads and writes nothing, wherever it points.
    entry.chunk_size = 0;
    entry.chunk_offset = -2147483647 - 1;
    EXPECT_EQ(check_patch_entry(entry, 100), entry_check::ok);
    entry.source_name = "..";
    EXPECT_EQ(check_patch_entry(entry, 100), entry_check::unsafe_source_name);
}

TEST(is_safe_source_name, only_plain_file_names_pass) {
    for (const char* good : {"Level.qmw", "a", "..qmw", "Level 2.qmw", "CONSOLE.qmw", "COM10.qmw", "\xC4rger.qmw"})
        EXPECT_TRUE(is_safe_source_name(good)) << good;
    for (const char* bad : {"", ".", "..", "...", "a\\b.qmw", "../x.qmw", "C:x.qmw", "x.qmw:stream", "trailing ",
                            "CON", "con.qmw", "Nul", "aux.x.y", "COM1.qmw", "lpt9", "CON .qmw"})
        EXPECT_FALSE(is_safe_source_name(bad)) << bad;
}
