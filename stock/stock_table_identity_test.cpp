#include "stock/stock_table_identity.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "digest/md5.h"

// The digest a build reports is the md5sum of the table file it was built from, so that an author
// can compare it with `md5sum` of the game's table.
TEST(stock_table_identity, digest_is_the_table_files_md5sum) {
    std::ifstream file(MAPMEND_STOCK_TABLE_FILE, std::ios::binary);
    ASSERT_TRUE(file) << MAPMEND_STOCK_TABLE_FILE;
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::string unix_text;
    for (char c : text)
        if (c != '\r') unix_text += c;
    if (!unix_text.empty() && unix_text.back() != '\n') unix_text += '\n';

    const stock_table_identity table = built_in_stock_table();
    EXPECT_EQ(table.maps, 31u);
    EXPECT_EQ(table.digest, md5_text_of(unix_text.data(), unix_text.size()));
}

TEST(stock_table_identity, description_names_count_digest_and_label) {
    const std::string digest(32, 'a');
    EXPECT_EQ(stock_table_description({31, digest, "game 1.2"}), "31 stock maps, table md5 " + digest + " (game 1.2)");
    EXPECT_EQ(stock_table_description({31, digest, ""}), "31 stock maps, table md5 " + digest);
}
