// Independent jobs on several threads: one per processor core, the calling thread among them.
#pragma once

#include <cstddef>
#include <functional>

#include "diff/progress.h"

// Runs job(i) for every i below `count`, each thread taking the next i; the calling thread
// reports the jobs done to `meter`. After a job fails (returns false, or runs out of memory) no
// further job starts. False when a job failed.
bool run_side_by_side(std::size_t count, const std::function<bool(std::size_t)>& job, progress& meter);
