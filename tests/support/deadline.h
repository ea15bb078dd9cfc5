// A bound on the time a test may take: when it runs out, the test program says so on standard
// error and ends at once, so that a hanging case fails instead of stalling the whole run.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

struct deadline {
    explicit deadline(std::chrono::seconds limit);
    deadline(const deadline&) = delete;
    deadline& operator=(const deadline&) = delete;
    ~deadline();

    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    std::thread watcher;
};
