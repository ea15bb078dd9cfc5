#include "diff/side_by_side.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <new>
#include <set>
#include <thread>
#include <vector>

TEST(side_by_side, one_worker_runs_both_jobs_on_the_calling_thread_in_order) {
    const std::thread::id caller = std::this_thread::get_id();
    std::vector<std::thread::id> ran_on;
    run_pair(1, [&] { ran_on.push_back(std::this_thread::get_id()); }, [&] { ran_on.push_back(std::this_thread::get_id()); });
    EXPECT_EQ(ran_on, (std::vector<std::thread::id>{caller, caller}));
}

TEST(side_by_side, two_workers_run_the_second_job_on_another_thread) {
    const std::thread::id caller = std::this_thread::get_id();
    std::thread::id first, second;
    run_pair(2, [&] { first = std::this_thread::get_id(); }, [&] { second = std::this_thread::get_id(); });
    EXPECT_EQ(first, caller);
    EXPECT_NE(second, caller);
    EXPECT_NE(second, std::thread::id{});
}

TEST(side_by_side, every_worker_runs_once_and_the_count_is_read_from_the_setting) {
    std::vector<std::atomic<int>> runs(5);
    run_workers(runs.size(), [&](std::size_t w) { ++runs[w]; });
    for (const auto& r : runs) EXPECT_EQ(r.load(), 1);

    const std::size_t cores = std::max(1u, std::thread::hardware_concurrency());
    EXPECT_EQ(worker_count("3"), 3u);
    EXPECT_EQ(worker_count("64"), 64u);
    for (const char* unusable : {"0", "65", "2x", "-1", ""}) EXPECT_EQ(worker_count(unusable), cores) << unusable;
    EXPECT_EQ(worker_count(nullptr), cores);
}

TEST(side_by_side, jobs_run_on_no_more_threads_than_workers_and_all_run) {
    for (const std::size_t workers : {std::size_t{1}, std::size_t{3}}) {
        std::mutex guard;
        std::set<std::thread::id> threads;
        std::vector<std::atomic<int>> runs(40);
        progress quiet;
        EXPECT_TRUE(run_side_by_side(runs.size(), workers, [&](std::size_t i) {
            {
                const std::lock_guard<std::mutex> lock(guard);
                threads.insert(std::this_thread::get_id());
            }
            ++runs[i];
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            return true;
        }, quiet));
        for (const auto& r : runs) EXPECT_EQ(r.load(), 1);
        EXPECT_LE(threads.size(), workers);
        if (workers == 1) {
            EXPECT_EQ(*threads.begin(), std::this_thread::get_id());
        }
    }
}

TEST(side_by_side, memory_running_out_on_any_thread_reaches_the_caller_after_every_job_ended) {
    for (const std::size_t failing : {std::size_t{0}, std::size_t{2}}) {
        std::vector<std::atomic<int>> runs(3);
        EXPECT_THROW(run_workers(runs.size(),
                                 [&](std::size_t w) {
                                     if (w == failing) throw std::bad_alloc();
                                     std::this_thread::sleep_for(std::chrono::milliseconds(20));
                                     ++runs[w];
                                 }),
                     std::bad_alloc);
        for (std::size_t w = 0; w < runs.size(); ++w) EXPECT_EQ(runs[w].load(), w == failing ? 0 : 1) << w;
    }
    EXPECT_THROW(run_pair(2, [] {}, [] { throw std::bad_alloc(); }), std::bad_alloc);
}
