// The progress line of a long command on standard error, drawn only when standard error is a
// terminal, so that scripts and logs see nothing but the result.
#pragma once

#include "diff/progress.h"

bool standard_error_is_terminal();

// A meter that draws the line on a terminal, and nothing elsewhere.
progress progress_line();

// Clears the line before the command's own output.
void clear_progress_line(const progress& meter);
