#include "orvstart/launch_sequence.h"

#include <cstdio>

#include <windows.h>

#include "orvstart/blanking_window.h"
#include "orvstart/command_line.h"
#include "orvstart/display_mode_guard.h"
#include "orvstart/elapsed_time.h"
#include "orvstart/exit_code.h"
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

}  // namespace

int run_launcher(const std::string& command_line_text) {
    command_line line;
    std::string error;
    if (!read_launcher_command_line(command_line_text, line, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return exit_bad_command_line;
    }

    // The objects below are released in reverse order of their creation on every way out.
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
    ShellExecuteA(nullptr, nullptr, game.file.c_str(), game.parameters.c_str(), nullptr,
                  SW_SHOWNORMAL);
    SetEvent(starter_event.handle);

    // Without a game event there is nothing to wait on.
    if (game_event_cleared) wait_for_game_signal(game_event);
    ResetEvent(starter_event.handle);

    Sleep(pause_after_game_ms);
    return exit_ok;
}
