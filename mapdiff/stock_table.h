// mapdiff stock-table: the stock table of a folder of the game's stock map files, in the format
// the build compiles in (md5sum lines, sorted by name ignoring case).
#pragma once

#include <string>

struct stock_table_outcome {
    std::string error;  // one line; empty on success
    std::string table;  // the table's text
};

stock_table_outcome make_stock_table(const std::string& maps_path);
