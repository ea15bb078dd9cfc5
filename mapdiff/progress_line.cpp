#include "mapdiff/progress_line.h"

#include <cstdio>

progress progress_line() {
    progress meter;
    if (standard_error_is_terminal()) {
        meter.draw = [](const std::string& stage, int percent) {
            std::fprintf(stderr, "\r%-40s %3d%%", stage.c_str(), percent);
            std::fflush(stderr);
        };
    }
    return meter;
}

void clear_progress_line(const progress& meter) {
    if (!meter.draw) return;
    std::fprintf(stderr, "\r%-46s\r", "");
    std::fflush(stderr);
}
