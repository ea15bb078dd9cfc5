#include "tests/support/sample_set.h"

#include <stdexcept>

#include "tests/support/map_builder.h"

namespace {

const char* const stock_names[] = {
    "Abbey.qmw",      "BlackMarsh.qmw",  "bridgeHead.qmw",  "Canyon.qmw",     "Cathedral.qmw", "coldHarbour.qmw",
    "Crossroads.qmw", "DeepMine.qmw",    "Dunes.qmw",       "eastGate.qmw",   "Foundry.qmw",   "Glacier.qmw",
    "HarborDocks.qmw","highlands.qmw",   "IronWorks.qmw",   "Junction.qmw",   "KingsRoad.qmw", "lakeside.qmw",
    "MARKET.qmw",     "Monastery.qmw",   "NorthPass.qmw",   "Oasis.qmw",      "Quarry.qmw",    "RailYard.qmw",
    "saltFlats.qmw",  "Sawmill.qmw",     "TideWater.qmw",   "Underpass.qmw",  "Valley.qmw",    "WestFort.qmw",
    "Zenith.qmw",
};

const bytes& stock_named(const sample_set& set, const std::string& name) {
    for (const named_file& file : set.stock)
        if (file.name == name) return file.content;
    throw std::invalid_argument("no stock map " + name);
}

}  // namespace

sample_set make_sample_set() {
    sample_set set;
    const std::size_t count = sizeof stock_names / sizeof stock_names[0];
    for (std::size_t i = 0; i < count; ++i) {
        // Sizes from 4 KiB to 3 MiB, spread over the names rather than rising with them.
        // Integer steps of about 1.247, so that every platform makes the same sizes.
        const std::size_t rank = (i * 17) % count;
        std::size_t size = 4096;
        for (std::size_t step = 0; step < rank; ++step) size = size * 1247 / 1000;
        size += i;
        set.stock.push_back({stock_names[i], synthetic_map(1000 + i, size, 2 + i % 7)});
    }

    const bytes outpost = synthetic_map(2001, 300000, 4);
    const bytes& docks = stock_named(set, "HarborDocks.qmw");
    const bytes& iron = stock_named(set, "IronWorks.qmw");
    set.patches.push_back({"Outpost.qmp", make_patch(outpost, {{0, 64, "HarborDocks.qmw", 0, &docks},
                                                               {2, 1000, "IronWorks.qmw", 0, &iron},
                                                               {3, 333, "HarborDocks.qmw", 0, &docks}})});
    set.rebuilt.push_back({"Outpost.qmw", outpost});

    const bytes riverside = synthetic_map(2002, 1500000, 8);
    const bytes& canyon = stock_named(set, "Canyon.qmw");
    const bytes& market = stock_named(set, "MARKET.qmw");
    const bytes& mine = stock_named(set, "DeepMine.qmw");
    const bytes& harbour = stock_named(set, "coldHarbour.qmw");
    set.patches.push_back({"Riverside.qmp", make_patch(riverside, {{0, 4096, "Canyon.qmw", 0, &canyon},
                                                                   {1, 17, "MARKET.qmw", 0, &market},
                                                                   {2, 9000, "Outpost.qmw", 1, &outpost},
                                                                   {4, 100, "DeepMine.qmw", 0, &mine},
                                                                   {5, 5000, "Canyon.qmw", 0, &canyon},
                                                                   {6, 1, "coldHarbour.qmw", 0, &harbour}})});
    set.rebuilt.push_back({"Riverside.qmw", riverside});
    return set;
}

const bytes& stock_map_named(const sample_set& set, const std::string& name) {
    for (const named_file& file : set.stock)
        if (file.name == name) return file.content;
    throw std::invalid_argument(name);
}

void write_stock_maps(const sample_set& set, const std::string& folder) {
    for (const named_file& file : set.stock) write_file(folder + "/" + file.name, file.content);
}

void write_sample_set(const sample_set& set, const std::string& folder) {
    for (const char* sub : {"/Maps", "/Mods", "/Expected"}) make_folder(folder + sub);
    write_stock_maps(set, folder + "/Maps");
    for (const named_file& file : set.patches) write_file(folder + "/Mods/" + file.name, file.content);
    for (const named_file& file : set.rebuilt) write_file(folder + "/Expected/" + file.name, file.content);
}
