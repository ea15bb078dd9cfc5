// mapdiff: makes patch files for mapmend, checks them, and writes the stock table. Errors are
// one line on standard error and a non-zero exit status.
#include <cstdio>
#include <string>
#include <vector>

#include "mapdiff/arguments.h"
#include "mapdiff/check_stock_report.h"
#include "mapdiff/inspect_patch.h"
#include "mapdiff/make_patch.h"
#include "mapdiff/pack.h"
#include "mapdiff/progress.h"
#include "mapdiff/stock_table.h"

namespace {

void put(std::FILE* stream, const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream);
}

int fail(const std::string& line, int status) {
    put(stderr, line + "\n");
    return status;
}

int run(const std::vector<std::string>& words) {
    mapdiff_arguments arguments;
    if (const std::string error = read_mapdiff_arguments(words, arguments); !error.empty())
        return fail(error, status_wrong_command_line);

    switch (arguments.command) {
        case mapdiff_command::help:
            put(stdout, mapdiff_usage());
            return status_ok;
        case mapdiff_command::make: {
            progress meter;
            meter.shown = standard_error_is_terminal();
            const make_outcome outcome = make_patch(arguments.make, meter);
            end_progress(meter);
            if (!outcome.error.empty()) return fail(outcome.error, status_failed);
            put(stdout, outcome.summary);
            return status_ok;
        }
        case mapdiff_command::inspect: {
            const inspect_outcome outcome = inspect_patch(arguments.make.maps_path, arguments.make.patch_path);
            put(stdout, outcome.text);
            return outcome.would_rebuild ? status_ok : status_failed;
        }
        case mapdiff_command::pack: {
            progress meter;
            meter.shown = standard_error_is_terminal();
            const pack_outcome outcome = pack_mod(arguments.pack, meter);
            end_progress(meter);
            if (!outcome.error.empty()) return fail(outcome.error, status_failed);
            put(stdout, outcome.summary);
            return status_ok;
        }
        case mapdiff_command::check_stock: {
            const stock_report report = check_stock_report(arguments.make.maps_path);
            if (!report.error.empty()) return fail(report.error, status_failed);
            put(stdout, report.text);
            return report.all_match ? status_ok : status_failed;
        }
        case mapdiff_command::stock_table: {
            const stock_table_outcome outcome = make_stock_table(arguments.make.maps_path);
            if (!outcome.error.empty()) return fail(outcome.error, status_failed);
            if (arguments.table_file.empty()) {
                put(stdout, outcome.table);
            } else {
                if (!write_file_in_place(arguments.table_file, outcome.table))
                    return fail("Error: Cannot write " + arguments.table_file + ".", status_failed);
                put(stdout, "wrote 31 rows to " + arguments.table_file + "\n");
            }
            return status_ok;
        }
    }
    return status_failed;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> words;
    for (int i = 1; i < argc; ++i) words.emplace_back(argv[i]);
    try {
        return run(words);
    } catch (...) {
        // Only exhausted memory can get here.
        return fail("Error: Not enough memory.", status_failed);
    }
}
