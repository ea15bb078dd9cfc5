// Progress of a long job: the engine names its stages and reports how far each has come; the
// program that runs it draws that, or not. The engine itself never prints.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

struct progress {
    // Called with the stage and its percentage whenever the percentage changes; empty: nothing
    // is drawn.
    std::function<void(const std::string& stage, int percent)> draw;
    std::string stage;
    std::uint64_t total = 0;
    int last_percent = -1;
};

void start_stage(progress& meter, const std::string& stage, std::uint64_t total);
void report_progress(progress& meter, std::uint64_t done);
