#include "orvstart/failure_text.h"

std::string shell_start_reason(long shell_result) {
    // ShellExecute's small results: the Windows error codes for file, path, access, memory and
    // format, and its own codes from 26 on.
    switch (shell_result) {
    case 0:
    case 8: return "Windows ran out of memory.";
    case 2: return "The file was not found.";
    case 3: return "The folder was not found.";
    case 5: return "Access was denied.";
    case 11: return "The file is not a program that Windows can run.";
    case 26: return "The file is in use (sharing violation).";
    case 27:
    case 31: return "No program is associated with this kind of file.";
    case 32: return "A library the program needs was not found.";
    default: return "Windows could not start it (code " + std::to_string(shell_result) + ").";
    }
}

std::string game_start_failure(const std::string& game_file, long shell_result) {
    return "The game could not be started:\r\n" + game_file + "\r\n" +
           shell_start_reason(shell_result) +
           "\r\n\r\nCheck the game file named in the shortcut or command line; it is taken "
           "relative to the launcher's folder.";
}

std::string command_line_failure(const std::string& error, const std::string& program) {
    return "The command line cannot be used: " + error + "\r\n\r\nUsage: " + program +
           " <game exe> <display device | window> [game arguments...]";
}
