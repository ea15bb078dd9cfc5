#include "diff/progress.h"

#include <cstdio>

void start_stage(progress& meter, const std::string& stage, std::uint64_t total) {
    meter.stage = stage;
    meter.total = total;
    meter.last_percent = -1;
    report_progress(meter, 0);
}

void report_progress(progress& meter, std::uint64_t done) {
    if (!meter.shown) return;
    const int percent = meter.total == 0 ? 100 : static_cast<int>(done * 100 / meter.total);
    if (percent == meter.last_percent) return;
    meter.last_percent = percent;
    std::fprintf(stderr, "\r%-40s %3d%%", meter.stage.c_str(), percent);
    std::fflush(stderr);
}

void end_progress(const progress& meter) {
    if (!meter.shown) return;
    std::fprintf(stderr, "\r%-46s\r", "");
    std::fflush(stderr);
}
