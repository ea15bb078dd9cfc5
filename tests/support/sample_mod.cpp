#include "tests/support/sample_mod.h"

#include <algorithm>
#include <stdexcept>

#include "tests/support/map_builder.h"

namespace {

// Entry `i`'s chunk of `map` becomes `from`'s bytes at `offset`.
void fill_chunk(bytes& map, std::size_t i, const bytes& from, std::size_t offset) {
    const entry_chunk chunk = chunk_of(map, i);
    if (offset + chunk.size > from.size()) throw std::invalid_argument("the chunk runs past its source");
    std::copy(from.begin() + static_cast<std::ptrdiff_t>(offset), from.begin() + static_cast<std::ptrdiff_t>(offset + chunk.size),
              map.begin() + chunk.offset);
}

}  // namespace

std::vector<named_file> make_sample_mod(const sample_set& set) {
    bytes cove = synthetic_map(401, 200000, 4);
    fill_chunk(cove, 0, stock_map_named(set, "MARKET.qmw"), 300001);
    fill_chunk(cove, 1, stock_map_named(set, "DeepMine.qmw"), 70003);
    bytes bastion = synthetic_map(402, 240000, 4);
    fill_chunk(bastion, 0, cove, chunk_of(cove, 2).offset + 25001);
    fill_chunk(bastion, 1, stock_map_named(set, "NorthPass.qmw"), 900005);
    bytes aqueduct = synthetic_map(403, 180000, 4);
    fill_chunk(aqueduct, 0, bastion, chunk_of(bastion, 2).offset + 30001);
    fill_chunk(aqueduct, 1, stock_map_named(set, "Canyon.qmw"), 5003);
    bytes estuary = synthetic_map(405, 150000, 3);
    fill_chunk(estuary, 0, stock_map_named(set, "eastGate.qmw"), 123457);
    fill_chunk(estuary, 2, stock_map_named(set, "WestFort.qmw"), 654321);
    return {{"Aqueduct.qmw", aqueduct}, {"Bastion.qmw", bastion}, {"Cove.qmw", cove}, {"Estuary.qmw", estuary}};
}
