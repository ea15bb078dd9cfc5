// The files a patch may draw on: the stock maps of the maps folder that the compiled stock table
// vouches for, and with --beside the map files of that folder, which will lie beside the patch.
#pragma once

#include <string>
#include <vector>

#include "diff/patch_writer.h"

struct skipped_source {
    std::string name;
    std::string reason;
};

struct source_set {
    std::vector<patch_source> sources;
    std::vector<skipped_source> skipped;
    std::size_t stock_missing = 0;    // not in the maps folder, or not readable
    std::size_t stock_differing = 0;  // another MD5 than the table's
};

// `excluded` are files that are never sources (the map file, the patch's own map file path).
// The error text is empty on success. With one worker the stock maps are hashed on the calling
// thread alone.
std::string gather_sources(const std::string& maps_path, const std::string& beside,
                           const std::vector<std::string>& excluded, source_set& set, progress& meter,
                           std::size_t workers = 0);

// A line "skipped <name>: <reason>" for each file that could not be a source.
std::string skipped_lines(const source_set& set);

// The refusal of a maps folder whose stock maps are not all there as the table has them, or ""
// when they are: a patch would carry their bytes itself, and an installer would fail its stock
// check on the player's game.
std::string stock_gap_error(const source_set& set, const std::string& maps_path);

// The summary line of a run that went on without them (--allow-stock-gaps), or "".
std::string stock_gap_line(const source_set& set);
