#include "diff/side_by_side.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

bool run_side_by_side(std::size_t count, std::size_t workers, const std::function<bool(std::size_t)>& job,
                      progress& meter) {
    std::atomic<std::size_t> next{0}, done{0};
    std::atomic<bool> failed{false};
    auto work = [&](bool reports) {
        while (!failed.load()) {
            const std::size_t i = next.fetch_add(1);
            if (i >= count) return;
            bool ok = false;
            try {
                ok = job(i);
            } catch (const std::bad_alloc&) {
                ok = false;
            }
            if (!ok) failed.store(true);
            const std::size_t finished = done.fetch_add(1) + 1;
            if (reports) report_progress(meter, finished);
        }
    };
    std::vector<std::thread> helpers;
    for (std::size_t t = 1; t < std::min(workers, count); ++t) {
        // A thread the system refuses leaves its share to the others.
        try {
            helpers.emplace_back(work, false);
        } catch (const std::system_error&) {
            break;
        }
    }
    work(true);
    for (std::thread& helper : helpers) helper.join();
    return !failed.load();
}

std::size_t worker_count(const char* setting) {
    if (setting && *setting) {
        char* end = nullptr;
        const unsigned long count = std::strtoul(setting, &end, 10);
        if (*end == '\0' && count >= 1 && count <= 64) return count;
    }
    return std::max(1u, std::thread::hardware_concurrency());
}

void run_workers(std::size_t workers, const std::function<void(std::size_t)>& job) {
    std::atomic<bool> short_of_memory{false};
    auto guarded = [&](std::size_t w) {
        try {
            job(w);
        } catch (const std::bad_alloc&) {
            short_of_memory.store(true);
        }
    };
    std::vector<std::thread> helpers;
    helpers.reserve(workers);
    std::size_t started = 1;
    for (; started < workers; ++started) {
        try {
            helpers.emplace_back(guarded, started);
        } catch (const std::system_error&) {
            break;
        }
    }
    guarded(0);
    for (std::thread& helper : helpers) helper.join();
    for (std::size_t w = started; w < workers; ++w) guarded(w);
    if (short_of_memory.load()) throw std::bad_alloc();
}

void run_pair(std::size_t workers, const std::function<void()>& first, const std::function<void()>& second) {
    if (workers < 2) {
        first();
        second();
        return;
    }
    run_workers(2, [&](std::size_t w) { w == 0 ? first() : second(); });
}
