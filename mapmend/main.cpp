// mapmend: verifies the stock map files, rebuilds one map file from its patch, verifies it and
// deletes the patch, each on request; reports one line and an exit status.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "mapmend/arguments.h"
#include "mapmend/result_code.h"
#include "mapmend/run_sequence.h"
#include "mapmend/usage_text.h"

namespace {

[[noreturn]] void exit_with_result(result_code code, const std::string& detail) {
    const std::string line = result_message(code) + " " + detail + "\n";
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fflush(stdout);
    std::exit(static_cast<int>(code));
}

int run(int argc, char** argv) {
    const std::string hint = help_hint(argc > 0 && argv[0] ? argv[0] : "");
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) arguments.emplace_back(argv[i]);

    const argument_reading reading = read_arguments(arguments);
    if (reading.outcome == argument_outcome::show_usage) {
        const std::string text = usage_text() + "\n";
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fflush(stdout);
        return 0;
    }
    const result_code code = reading.outcome == argument_outcome::stop ? reading.code : run_jobs(reading.settings);
    exit_with_result(code, shows_help_hint(code) ? hint : std::string());
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (...) {
        // Only exhausted memory can get here; it is a failure, and it is reported on the one line.
        exit_with_result(result_code::rebuild_failed, std::string());
    }
}
