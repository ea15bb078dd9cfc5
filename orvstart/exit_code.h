// The launcher's exit codes.
#pragma once

enum exit_code : int {
    exit_ok = 0,               // the run went through and the game was started
    exit_already_running = 1,  // another launcher of the same file name holds the guard
    exit_bad_command_line = 2, // the command line could not be read or names no game
    exit_no_window_thread = 3, // the blanking window's thread could not be started
    exit_game_not_started = 4, // the shell could not start the game file
};
