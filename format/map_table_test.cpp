#include "format/map_table.h"

#include <gtest/gtest.h>

#include "tests/support/map_builder.h"

TEST(read_map_table, finds_chunks_names_and_where_references_go) {
    bytes map = empty_map(4000, 3);
    set_entry(map, 0, 1500, 10, "abc");
    set_entry(map, 1, 1510, 0, "");
    set_entry(map, 2, 1600, 7, std::string(263, 'x'));
    std::vector<table_entry> table;
    ASSERT_EQ(read_map_table(map.data(), map.size(), table), table_reading::ok);
    ASSERT_EQ(table.size(), 3u);
    EXPECT_EQ(table[0].name, "abc");
    EXPECT_EQ(table[0].reference_at, 97u);
    EXPECT_EQ(table[1].reference_at, 93u + 308 + 1);
    EXPECT_EQ(table[2].reference_at, 93u + 616 + 263);
    EXPECT_EQ(table[2].chunk_offset, 1600u);
    EXPECT_EQ(table[2].chunk_size, 7u);
    EXPECT_FALSE(table[0].reference_found);

    set_source_reference(map, 1, 5, "S.qmw", 0);
    ASSERT_EQ(read_map_table(map.data(), map.size(), table), table_reading::ok);
    EXPECT_TRUE(table[1].reference_found);
}

TEST(read_map_table, refuses_files_without_magic_or_with_a_table_past_their_end) {
    bytes map = empty_map(2000, 2);
    set_entry(map, 0, 1000, 10, "a");
    set_entry(map, 1, 1010, 10, "b");
    std::vector<table_entry> table;
    for (std::size_t cut : {0, 3, 20, 27, 52 + 308 + 7, 52 + 308 + 41 + 1, 52 + 308 + 41 + 2 + 3}) {
        EXPECT_NE(read_map_table(map.data(), cut, table), table_reading::ok) << cut;
    }
    EXPECT_EQ(read_map_table(map.data(), 52 + 308 + 41 + 2 + 4, table), table_reading::ok);
    put_u32(map, 24, 0x7FFFFFFF);
    EXPECT_EQ(read_map_table(map.data(), map.size(), table), table_reading::damaged);
    put_u32(map, 24, 0xFFFFFFFF);
    EXPECT_EQ(read_map_table(map.data(), map.size(), table), table_reading::ok);
    EXPECT_TRUE(table.empty());
    map[0] = 2;
    EXPECT_EQ(read_map_table(map.data(), map.size(), table), table_reading::no_magic);
}
