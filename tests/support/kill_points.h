// The points at which a test kills a run of a built program: drawn at random within the span that
// a whole run takes, from a seed the system gives (the test shows it on a failure, to replay it).
// A run that ended before its point shows the span to be shorter: later points fall before it.
#pragma once

#include <random>
#include <string>

struct kill_points {
    unsigned seed = std::random_device{}();
    std::mt19937 random{seed};
    long long span_us;  // microseconds from the moment the run is seen to start

    explicit kill_points(long long whole_run_us) : span_us(whole_run_us) {}

    std::string seed_trace() const { return "seed " + std::to_string(seed); }
    long long next() { return std::uniform_int_distribution<long long>(0, span_us)(random); }
    void ended_before(long long at_us) { span_us = at_us; }
};
