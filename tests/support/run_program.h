// Runs a built program with arguments and collects what it wrote and its exit status.
#pragma once

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

// The newline a console program of this platform writes in text mode.
#ifdef _WIN32
inline const char* const console_newline = "\r\n";
#else
inline const char* const console_newline = "\n";
#endif
