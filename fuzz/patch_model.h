// A second, plain account of the rebuild for the fuzz target to compare with: the whole file in
// memory, each chunk applied at once, written straight from the patch format's description.
// It covers patches whose sources all lie where the fuzz target puts them without nesting.
#pragma once

#include <optional>
#include <string>

enum class model_outcome {
    rebuilt,      // `result` holds the rebuilt map
    failed,       // the patch is damaged or a source too short: the rebuild must fail
    not_covered,  // a source that needs a nested rebuild or names no prepared file
};

struct model_rebuild {
    model_outcome outcome = model_outcome::not_covered;
    std::string result;
};

// `stock` is the content of both "Stock.qmw" in the maps folder and "Near.qmw" beside the patch.
model_rebuild rebuild_in_memory(const std::string& patch, const std::string& stock);
