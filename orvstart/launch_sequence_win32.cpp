#include "orvstart/launch_sequence.h"

#include <windows.h>

#include "orvstart/blanking_window.h"
#include "orvstart/command_line.h"
#include "orvstart/display_mode_guard.h"
#include "orvstart/elapsed_time.h"
#include "orvstart/exit_code.h"
#include "orvstart/failure_message.h"
#include "orvstart/failure_text.h"
#include "orvstart/instance_guard.h"
#include "orvstart/named_event.h"

namespace {

constexpr DWORD reply_limit_ms = 30000;
constexpr DWORD game_signal_limit_ms = 30000;
constexpr DWORD game_signal_slice_ms = 100;
constexpr DWORD pause_after_game_ms = 2000;

// Polls without pausing, so that the game starts the moment the reply arrives.
void wait_for_reply(const blanking_window& blanking) {
    const DWORD start = timeGetTime();
    while (elapsed_ms(start, timeGetTime()) < reply_limit_ms) {
        if (blanking.reply.load() != -1) return;
    }
}

void wait_for_game_signal(const named_event& game_event) {
    const DWORD start = timeGetTime();
    while (elapsed_ms(start, timeGetTime()) < game_signal_limit_ms) {
        if (WaitForSingleObject(game_event.handle, game_signal_slice_ms) == WAIT_OBJECT_0) return;
    }
}

// Steps from the guard to the tear-down. The objects are released in reverse order of their
// creation on every way out; a game that could not be started is named in `failure`, which
// the caller shows once everything is put back.
int run_with_guards(command_line& line, std::string& failure) {
    instance_guard guard(line.exe_name);
    if (guard.already_running) return exit_already_running;

    named_event starter_event(starter_event_name);
    named_event game_event(game_event_name);

    const std::string display = display_token(line);
    const bool full_screen = fullscreen(line);
    display_mode_guard display_mode(display);

    const std::string window_name = stem(line.exe_name);
    blanking_window blanking(display, full_screen, window_name, window_name);
    // Without its thread the run cannot go on; the guards above still write the stored mode
    // back and close the events and the semaphore on the way out.
    if (!window_thread_started(blanking)) return exit_no_window_thread;

    SetEvent(starter_event.handle);
    wait_for_reply(blanking);

    const bool game_event_cleared = ResetEvent(game_event.handle) != 0;
    ResetEvent(starter_event.handle);

    const game_start game = prepare_game_start(line);
    const auto shell_result = reinterpret_cast<INT_PTR>(ShellExecuteA(
        nullptr, nullptr, game.file.c_str(), game.parameters.c_str(), nullptr, SW_SHOWNORMAL));
    // A game that never started never signals: waiting for it would only leave the player
    // before a black screen.
    if (shell_result <= 32) {
        failure = game_start_failure(game.file, static_cast<long>(shell_result));
        return exit_game_not_started;
    }
    SetEvent(starter_event.handle);

    // Without a game event there is nothing to wait on.
    if (game_event_cleared) wait_for_game_signal(game_event);
    ResetEvent(starter_event.handle);

    Sleep(pause_after_game_ms);
    return exit_ok;
}

}  // namespace

int run_launcher(const std::string& command_line_text) {
    command_line line;
    std::string error;
    if (!read_launcher_command_line(command_line_text, line, error)) {
        const std::string program = own_file_name();
        show_failure(stem(program), command_line_failure(error, program));
        return exit_bad_command_line;
    }
    const std::string caption = stem(line.exe_name);
    std::string failure;
    const int code = run_with_guards(line, failure);
    if (!failure.empty()) show_failure(caption, failure);
    return code;
}
