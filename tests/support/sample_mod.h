// A mod author's folder of maps, drawn from the sample stock set, for `mapdiff pack` and the
// example installer.
#pragma once

#include <vector>

#include "tests/support/sample_set.h"

// Four maps: Aqueduct copies from Bastion, Bastion from Cove, and both of those and Cove from
// stock maps too; Estuary copies from stock maps alone. Each copy spans the halves of two
// chunks of the map copied from.
std::vector<named_file> make_sample_mod(const sample_set& set);
