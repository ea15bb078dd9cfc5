#include "tests/support/deadline.h"

#include <cstdio>
#include <cstdlib>

deadline::deadline(std::chrono::seconds limit) {
    watcher = std::thread([this, limit] {
        std::unique_lock<std::mutex> lock(mutex);
        if (!finished.wait_for(lock, limit, [this] { return done; })) {
            std::fprintf(stderr, "test exceeded its bound of %lld s\n", static_cast<long long>(limit.count()));
            std::fflush(stderr);
            std::_Exit(124);
        }
    });
}

deadline::~deadline() {
    {
        std::lock_guard<std::mutex> lock(mutex);
        done = true;
    }
    finished.notify_one();
    watcher.join();
}
