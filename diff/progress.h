// Progress of a long job on standard error, shown only when standard error is a terminal, so
// that scripts and logs see nothing but the result.
#pragma once

#include <cstdint>
#include <string>

struct progress {
    bool shown = false;
    std::string stage;
    std::uint64_t total = 0;
    int last_percent = -1;
};

bool standard_error_is_terminal();

void start_stage(progress& meter, const std::string& stage, std::uint64_t total);
void report_progress(progress& meter, std::uint64_t done);
// Clears the progress line before the summary.
void end_progress(const progress& meter);
