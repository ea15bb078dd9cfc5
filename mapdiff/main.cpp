// mapdiff: makes patch files for mapmend, one map or a whole mod at a time, checks them and the
// stock maps, and writes the stock table. Errors are
// one line on standard error and a non-zero exit status.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/file_system.h"
#include "diff/progress.h"
#include "diff/side_by_side.h"
#include "mapdiff/arguments.h"
#include "mapdiff/check_stock_report.h"
#include "mapdiff/inspect_patch.h"
#include "mapdiff/make_patch.h"
#include "mapdiff/pack.h"
#include "mapdiff/stock_table.h"
#include "stock/stock_check.h"

namespace {

void put(std::FILE* stream, const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream);
}

int fail(const std::string& line, int status) {
    put(stderr, line + "\n");
    return status;
}

// `written` names the file the run wrote, if any, for the line of a failed standard output.
int run(const std::vector<std::string>& words, std::string& written) {
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
            arguments.make.workers = worker_count(std::getenv("MAPDIFF_WORKERS"));
            const make_outcome outcome = make_patch(arguments.make, meter);
            end_progress(meter);
            if (!outcome.error.empty()) return fail(outcome.error, status_failed);
            written = arguments.make.patch_path;
            put(stdout, outcome.summary);
            return status_ok;
        }
        case mapdiff_command::inspect: {
            const inspect_outcome outcome = inspect_patch(arguments.inspect.maps_path, arguments.inspect.patch_path);
            put(stdout, outcome.text);
            return outcome.would_rebuild ? status_ok : status_failed;
        }
        case mapdiff_command::pack: {
            progress meter;
            meter.shown = standard_error_is_terminal();
            arguments.pack.workers = worker_count(std::getenv("MAPDIFF_WORKERS"));
            const pack_outcome outcome = pack_mod(arguments.pack, meter);
            end_progress(meter);
            if (!outcome.error.empty()) return fail(outcome.error, status_failed);
            written = arguments.pack.out_folder;
            put(stdout, outcome.summary);
            return status_ok;
        }
        case mapdiff_command::check_stock: {
            const stock_report report = check_stock_report(arguments.check_stock.maps_path);
            if (!report.error.empty()) return fail(report.error, status_failed);
            put(stdout, report.text);
            return report.all_match ? status_ok : status_failed;
        }
        case mapdiff_command::stock_table: {
            const std::string& file = arguments.stock_table.table_file;
            const bool replace = arguments.stock_table.force;
            // Before the maps are read, as make refuses; the file may be one of them.
            if (!file.empty() && !replace && path_exists(file))
                return fail(already_exists_error(file), status_failed);
            const stock_table_outcome outcome = make_stock_table(arguments.stock_table.maps_path);
            if (!outcome.error.empty()) return fail(outcome.error, status_failed);
            if (file.empty()) {
                put(stdout, outcome.table);
            } else {
                if (!write_file_in_place(file, outcome.table, replace))
                    return fail("Error: Cannot write " + file + ".", status_failed);
                written = file;
                put(stdout, "wrote " + std::to_string(stock_map_count) + " rows to " + file + "\n");
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
    std::string written;
    int status = status_failed;
    try {
        status = run(words, written);
    } catch (...) {
        // Only exhausted memory can get here.
        status = fail("Error: Not enough memory.", status_failed);
    }
    // A full disk behind standard output loses what the run printed: the run has failed. (A
    // closed pipe ends a POSIX run by SIGPIPE first, as usual.) The stream keeps the error of any
    // earlier write; this flush catches the last.
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        const std::string also = written.empty() ? "" : "; " + written + " was written";
        return fail("Error: Cannot write to standard output" + also + ".", status_failed);
    }
    return status;
}
