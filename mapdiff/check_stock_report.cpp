#include "mapdiff/check_stock_report.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "common/file_system.h"
#include "mapdiff/inspect_patch.h"
#include "mapmend/arguments.h"
#include "mapmend/run_sequence.h"
#include "stock/stock_check.h"

namespace {

std::string padded(const std::string& text, std::size_t width) {
    return text + std::string(width > text.size() ? width - text.size() : 0, ' ');
}

}  // namespace

stock_report check_stock_report(const std::string& maps_path) {
    stock_report report;
    // The maps path as mapmend takes it: the same test of the folder and the same file paths.
    const argument_reading reading = read_arguments({"--check-stock", maps_path});
    if (reading.outcome != argument_outcome::run) {
        report.error = "Error: Maps path not found: " + maps_path + ".";
        return report;
    }
    const std::string& folder = reading.settings.maps_path;

    std::vector<std::string> paths;
    std::size_t width = 0;
    for (const stock_map& row : stock_maps()) {
        paths.push_back(folder + row.name);
        width = std::max(width, std::strlen(row.name));
    }
    const std::vector<file_digest> found = file_md5_lanes(paths);

    std::size_t matching = 0, differing = 0, missing = 0;
    for (std::size_t i = 0; i < stock_map_count; ++i) {
        const stock_map& row = stock_maps()[i];
        const file_digest& file = found[i];
        if (file.opened && file.digest == row.digest) {
            ++matching;
            report.text += "ok       " + std::string(row.name) + "\n";
        } else if (file.opened) {
            ++differing;
            report.text += "differs  " + padded(row.name, width) + "  expected " + row.digest + ", found " + file.digest +
                           ", " + std::to_string(file.size) + " bytes\n";
        } else {
            ++missing;
            report.text += "missing  " + padded(row.name, width) + "  expected " + row.digest +
                           (path_exists(paths[i]) ? ", cannot be opened\n" : "\n");
        }
    }
    // The verdict is mapmend's own run of --check-stock, over memory so that nothing is written.
    memory_files over_disk = memory_over_the_disk();
    run_record record;
    const result_code verdict = run_jobs(storage{&over_disk}, reading.settings, record);
    report.all_match = verdict == result_code::all_ok;
    report.text += std::to_string(matching) + " of " + std::to_string(stock_map_count) + " stock maps match the stock table";
    if (report.all_match) {
        report.text += ": mapmend --check-stock passes.\n";
    } else {
        report.text += " (" + std::to_string(differing) + (differing == 1 ? " differs, " : " differ, ") + std::to_string(missing) +
                       " missing): mapmend --check-stock fails with status " + std::to_string(static_cast<int>(verdict)) + ".\n";
    }
    return report;
}
