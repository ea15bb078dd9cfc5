// The texts the launcher shows a player when it cannot do its job.
#pragma once

#include <string>

// Why the shell could not start a file, from ShellExecute's result (a value of 32 or less).
std::string shell_start_reason(long shell_result);

// The message for a game that could not be started: the file tried, the reason, and what to
// check.
std::string game_start_failure(const std::string& game_file, long shell_result);

// The message for a command line that cannot be used, with the form the launcher (file name
// `program`) expects.
std::string command_line_failure(const std::string& error, const std::string& program);
