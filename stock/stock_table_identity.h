// Which stock table a build carries, so that an author can tell whether the programs they ship
// were built for the game version their players have: the table's own digest is the md5sum of
// the table file as `mapdiff stock-table` writes it, and the label is what the build called it.
#pragma once

#include <cstddef>
#include <string>

struct stock_table_identity {
    std::size_t maps = 0;
    std::string digest;  // MD5 of the rows as "<digest>  <name>\n", in table order
    std::string label;   // empty when the build gave none
};

stock_table_identity built_in_stock_table();

// "31 stock maps, table md5 <digest>" and " (<label>)" when there is one.
std::string stock_table_description(const stock_table_identity& table);
