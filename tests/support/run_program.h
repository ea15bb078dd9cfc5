// Runs a built program with arguments and collects what it wrote and its exit status.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct program_result {
    int exit_code = -1;
    std::string out;
    std::string err;
};

// `working_folder` empty: the caller's current folder.
program_result run_program(const std::string& program, const std::vector<std::string>& arguments,
                           const std::string& working_folder = std::string());

// A program started and left running, for tests that end it from outside. Its output is
// discarded.
struct started_program {
    std::intptr_t native = -1;  // the process id, or the process handle on Windows
};

started_program start_program(const std::string& program, const std::vector<std::string>& arguments,
                              const std::string& working_folder = std::string());

// Waits for the end of a started program; its exit status.
int wait_for_program(started_program& program);

// True, with its exit status, when the started program has ended; false while it runs.
bool program_ended(started_program& program, int& status);

// Ends a started program at once, as a crash or a power cut would (SIGKILL, TerminateProcess:
// nothing of its own runs any more), and waits for its end. True when it was still running,
// false when it had ended by itself first.
bool kill_program(started_program& program);

// The newline a console program of this platform writes in text mode.
#ifdef _WIN32
inline const char* const console_newline = "\r\n";
#else
inline const char* const console_newline = "\n";
#endif
