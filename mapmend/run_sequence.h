// The fixed order of mapmend's jobs once its arguments are read.
#pragma once

#include <string>

#include "common/storage.h"
#include "mapmend/arguments.h"
#include "mapmend/result_code.h"

// What a run met on its way, for a caller that tells more than the result (mapdiff inspect).
struct run_record {
    bool map_file_is_the_patch = false;
    std::string moved_from;  // an earlier map file that was in the way of the rebuild, or ""
    std::string moved_to;    // the ".old" name it was moved to, or tried
    bool moved = false;
    bool rebuild_ran = false;
    int rebuild = 0;  // the rebuild's own result, once it ran
};

// Stock check, backup of an earlier map file, rebuild, digest check of the rebuilt file and
// deletion of the patch, each on request; the first failure ends the run.
result_code run_jobs(const run_settings& settings);

// The same run through `where`: on the disk, or in memory over the disk, where mapdiff inspect
// and check-stock run it. The stock check reads the disk.
result_code run_jobs(const storage& where, const run_settings& settings, run_record& record);
