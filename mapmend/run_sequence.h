// The fixed order of mapmend's jobs once its arguments are read.
#pragma once

#include "mapmend/arguments.h"
#include "mapmend/result_code.h"

// Stock check, backup of an earlier map file, rebuild, digest check of the rebuilt file and
// deletion of the patch, each on request; the first failure ends the run.
result_code run_jobs(const run_settings& settings);
