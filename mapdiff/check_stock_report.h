// mapdiff check-stock: every stock map of the compiled table with what the maps folder holds
// for it, so that a player whose stock check fails learns which file is wrong and what it
// should be. Its verdict is mapmend --check-stock's, from the same table and the same paths.
#pragma once

#include <string>

struct stock_report {
    std::string error;       // one line when the maps path is not a folder; empty otherwise
    bool all_match = false;  // mapmend --check-stock would pass
    std::string text;        // a line per stock map and a verdict line
};

// Reads every stock map to its end, also after one that differs.
stock_report check_stock_report(const std::string& maps_path);
