// The outcomes of a mapmend run: the number is the exit status, and each has one message.
#pragma once

#include <string>

enum class result_code : int {
    all_ok = 0,
    maps_path_not_found = 1,
    patch_not_found = 2,
    wrong_options = 3,
    invalid_md5 = 4,
    maps_path_missing = 5,
    patch_path_missing = 6,
    stock_check_failed = 7,
    rebuilt_check_failed = 8,
    rebuild_failed = 9,
    delete_failed = 10,
};

constexpr int first_result_code = 0;
constexpr int last_result_code = 10;

// "Unknown error." for every number outside 0-10.
std::string result_message(int code);
inline std::string result_message(result_code code) { return result_message(static_cast<int>(code)); }

// Codes whose line carries the help hint behind the message.
bool shows_help_hint(result_code code);
