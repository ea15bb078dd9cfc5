// The project's own sample stock set: 31 synthetic map files made from fixed seeds, and mods
// rebuilt from them. Everything is a pure function of the code, so the digests of the stock
// files are the default stock table.
#pragma once

#include <string>
#include <vector>

#include "tests/support/test_files.h"

struct named_file {
    std::string name;
    bytes content;
};

struct sample_set {
    std::vector<named_file> stock;    // the maps folder, sorted by name ignoring case
    std::vector<named_file> patches;  // the mods folder
    std::vector<named_file> rebuilt;  // what each patch rebuilds to
};

// Riverside.qmp draws on four stock maps and on Outpost.qmw, which is missing and is rebuilt
// first from Outpost.qmp.
sample_set make_sample_set();

// Writes <folder>/Maps, <folder>/Mods and <folder>/Expected.
void write_sample_set(const sample_set& set, const std::string& folder);

// The stock map of that name; std::invalid_argument for a name that is none.
const bytes& stock_map_named(const sample_set& set, const std::string& name);

// Writes the stock maps into `folder`, which must be there.
void write_stock_maps(const sample_set& set, const std::string& folder);
