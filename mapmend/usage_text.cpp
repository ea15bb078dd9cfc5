#include "mapmend/usage_text.h"

#include <cstdio>

#include "common/path_text.h"
#include "mapmend/result_code.h"

std::string usage_text() {
    std::string text =
        "mapmend: Rebuild a Q5 QMW file from a QMP.\n"
        "Usage:\n"
        "  mapmend [options] <maps path> [<qmp path>]\n"
        "Options:\n"
        "  --help                - This text\n"
        "  --check-stock         - Verify the stock QMW files using MD5 checksums\n"
        "  --check-rebuilt=<md5> - Verify the rebuilt QMW file against the supplied MD5 checksum\n"
        "  --delete-qmp          - Delete the QMP after a successful rebuild\n"
        "Arguments:\n"
        "  maps path - The path to the stock QMW files (in Content\\Q5\\Maps)\n"
        "  qmp path  - Full path to the QMP file to be rebuilt. Optional with --check-stock alone\n"
        "Return codes:\n";
    for (int code = first_result_code; code <= last_result_code; ++code) {
        char number[8];
        std::snprintf(number, sizeof number, "%2d", code);
        text += "  " + std::string(number) + " - " + result_message(code) + "\n";
    }
    return text;
}

std::string help_hint(const std::string& program_path) {
    return "Try \"" + strip_extension(file_name(program_path)) + " --help\"";
}
