#include "mapmend/result_code.h"

std::string result_message(int code) {
    static const char* const messages[] = {
        "All OK.",
        "Error: Maps path not found.",
        "Error: QMP not found.",
        "Error: Wrong options.",
        "Error: Invalid MD5 string.",
        "Error: Maps path arg missing.",
        "Error: QMP path arg missing.",
        "Error: Stock QMW verification failed.",
        "Error: Rebuilt QMW verification failed.",
        "Error: QMW rebuild failed.",
        "Error: Could not delete the QMP.",
    };
    if (code < first_result_code || code > last_result_code) return "Unknown error.";
    return messages[code];
}

bool shows_help_hint(result_code code) {
    return code == result_code::wrong_options || code == result_code::maps_path_missing ||
           code == result_code::patch_path_missing;
}
