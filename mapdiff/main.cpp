// mapdiff: makes patch files for mapmend, one map or a whole mod at a time, checks them and the
// stock maps, and writes the stock table. Errors are one line on standard error and a non-zero
// exit status.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "diff/side_by_side.h"
#include "mapdiff/arguments.h"
#include "mapdiff/check_stock_report.h"
#include "mapdiff/inspect_patch.h"
#include "mapdiff/make_patch.h"
#include "mapdiff/output_file.h"
#include "mapdiff/pack.h"
#include "mapdiff/progress_line.h"
#include "mapdiff/stock_table.h"
#include "stock/stock_check.h"
#include "stock/stock_table_identity.h"

namespace {

void put(std::FILE* stream, const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream);
}

int fail(const std::string& line, int status) {
    put(stderr, line + "\n");
    return status;
}

// make and pack: a long run with a progress line on a terminal, then its summary. `output`
// names what the run wrote (the patch, the out folder).
template <typename Run>
int run_with_progress(Run run, const std::string& target, std::string& output) {
    progress meter = progress_line();
    const auto outcome = run(meter);
    clear_progress_line(meter);
    if (!outcome.error.empty()) return fail(outcome.error, status_failed);
    output = target;
    put(stdout, outcome.summary);
    return status_ok;
}

int run_inspect(const inspect_settings& settings) {
    const inspect_outcome outcome = inspect_patch(settings.maps_path, settings.patch_path);
    put(stdout, outcome.text);
    return outcome.would_rebuild ? status_ok : status_failed;
}

int run_check_stock(const check_stock_settings& settings) {
    const stock_report report = check_stock_report(settings.maps_path);
    if (!report.error.empty()) return fail(report.error, status_failed);
    put(stdout, report.text);
    return report.all_match ? status_ok : status_failed;
}

int run_stock_table(const stock_table_settings& settings, std::string& output) {
    const std::string& file = settings.table_file;
    // Before the maps are read, as make refuses; the file may be one of them.
    if (const std::string error = file.empty() ? "" : refuse_existing(file, settings.force); !error.empty())
        return fail(error, status_failed);
    const stock_table_outcome outcome = make_stock_table(settings.maps_path);
    if (!outcome.error.empty()) return fail(outcome.error, status_failed);
    if (file.empty()) {
        put(stdout, outcome.table);
        return status_ok;
    }
    if (!write_file_in_place(file, outcome.table, settings.force)) return fail("Error: Cannot write " + file + ".", status_failed);
    output = file;
    put(stdout, "wrote " + std::to_string(stock_map_count) + " rows to " + file + "\n");
    return status_ok;
}

// `output` names the file or folder that the run wrote, if any, for the error line of a failed
// standard output.
int run(const std::vector<std::string>& words, std::string& output) {
    mapdiff_arguments arguments;
    if (const std::string error = read_mapdiff_arguments(words, arguments); !error.empty())
        return fail(error, status_wrong_command_line);
    // Any number writes the same files; the setting is for measurements and busy machines.
    arguments.make.workers = arguments.pack.workers = worker_count(std::getenv("MAPDIFF_WORKERS"));

    switch (arguments.command) {
        case mapdiff_command::help:
            put(stdout, mapdiff_usage());
            return status_ok;
        case mapdiff_command::version:
            // mapmend of the same build carries the same table; its own command line has no room
            // for this.
            put(stdout, "mapdiff " MAPDIFF_VERSION "\n" + stock_table_description(built_in_stock_table()) + "\n");
            return status_ok;
        case mapdiff_command::make:
            return run_with_progress([&](progress& meter) { return make_patch(arguments.make, meter); },
                                     arguments.make.patch_path, output);
        case mapdiff_command::pack:
            return run_with_progress([&](progress& meter) { return pack_mod(arguments.pack, meter); },
                                     arguments.pack.out_folder, output);
        case mapdiff_command::inspect:
            return run_inspect(arguments.inspect);
        case mapdiff_command::check_stock:
            return run_check_stock(arguments.check_stock);
        case mapdiff_command::stock_table:
            return run_stock_table(arguments.stock_table, output);
    }
    return status_failed;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> words;
    for (int i = 1; i < argc; ++i) words.emplace_back(argv[i]);
    std::string output;
    int status = status_failed;
    try {
        status = run(words, output);
    } catch (...) {
        // Only exhausted memory can get here.
        status = fail("Error: Not enough memory.", status_failed);
    }
    // A full disk behind standard output loses what the run printed: the run has failed. (A
    // closed pipe ends a POSIX run by SIGPIPE first, as usual.) The stream keeps the error of any
    // earlier write; this flush catches the last.
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        const std::string also = output.empty() ? "" : "; " + output + " was written";
        return fail("Error: Cannot write to standard output" + also + ".", status_failed);
    }
    return status;
}
