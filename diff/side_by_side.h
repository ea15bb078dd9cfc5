// Independent jobs on several threads, the calling thread among them: by default one per
// processor core.
#pragma once

#include <cstddef>
#include <functional>

#include "diff/progress.h"

// Runs job(i) for every i below `count` on at most `workers` threads, the calling thread among
// them, each taking the next i; the calling thread reports the jobs done to `meter`. After a job
// fails (returns false, or runs out of memory) no further job starts. False when a job failed.
bool run_side_by_side(std::size_t count, std::size_t workers, const std::function<bool(std::size_t)>& job,
                      progress& meter);

// How many workers to start: `setting` (MAPDIFF_WORKERS, may be null) when it is a number from
// 1 to 64, else one per processor core.
std::size_t worker_count(const char* setting);

// Runs job(w) for every w below `workers`, each on a thread of its own, the calling thread
// running the first; a job whose thread the system refuses runs on the calling thread after.
// A job that runs out of memory ends early, and once every job has ended std::bad_alloc is thrown
// on the calling thread, as if the jobs had run there; the jobs must throw nothing else.
void run_workers(std::size_t workers, const std::function<void(std::size_t)>& job);

// Runs `first` and `second`: side by side when `workers` is above one, else one after the other,
// so that one worker is one thread. Exhausted memory as for run_workers.
void run_pair(std::size_t workers, const std::function<void()>& first, const std::function<void()>& second);
