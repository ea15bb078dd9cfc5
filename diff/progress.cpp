#include "diff/progress.h"

void start_stage(progress& meter, const std::string& stage, std::uint64_t total) {
    meter.stage = stage;
    meter.total = total;
    meter.last_percent = -1;
    report_progress(meter, 0);
}

void report_progress(progress& meter, std::uint64_t done) {
    if (!meter.draw) return;
    const int percent = meter.total == 0 ? 100 : static_cast<int>(done * 100 / meter.total);
    if (percent == meter.last_percent) return;
    meter.last_percent = percent;
    meter.draw(meter.stage, percent);
}
