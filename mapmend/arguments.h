// Reading mapmend's command line, left to right; the first bad argument decides the outcome.
#pragma once

#include <string>
#include <vector>

#include "mapmend/result_code.h"

struct run_settings {
    std::string maps_path;  // ends in '\' once accepted; empty when absent
    std::string patch_path;
    std::string expected_digest;  // 32 lowercase hexadecimal characters, or empty
    bool check_stock = false;
    bool delete_patch = false;
};

enum class argument_outcome {
    run,         // go on with `settings`
    show_usage,  // "--help" was met
    stop,        // an argument error: end with `code`
};

struct argument_reading {
    argument_outcome outcome = argument_outcome::run;
    result_code code = result_code::all_ok;
    run_settings settings;
};

// `arguments` excludes the program's own path. Tests the maps path and the patch path on
// disk as soon as each is met.
argument_reading read_arguments(const std::vector<std::string>& arguments);
