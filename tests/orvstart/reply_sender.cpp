// Plays the other end of the launcher's handshake. Started before the launcher, it waits for
// the starter event, finds the blanking window by class name, reports what it sees and posts
// WM_USER with each given value.
//
//   reply_sender <class> <value>... [--timeout-ms=<n>] [--stale-game-signal] [--close]
//     prints "window <report>" and "cursor=<shown|hidden>", exit 0; exit 1 on a time-out.
//     --stale-game-signal sets the game event just before the reply, which the launcher must
//     clear before it starts the game; --close sends WM_CLOSE after the reply.
//   reply_sender <class> --watch-ms=<n>
//     watches for n ms without replying and prints "starter=<signalled|quiet> window=<seen|none>".
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/orvstart/window_report.h"

namespace {

HWND wait_for_window(const std::string& class_name, DWORD timeout_ms) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (const HWND window = FindWindowA(class_name.c_str(), nullptr)) return window;
        if (GetTickCount() - start >= timeout_ms) return nullptr;
        Sleep(5);
    }
}

// The launcher hides the cursor right after creating its window; seen from here only while
// that window is in front. The bound is wide for emulated 32-bit runs; a pass ends the wait.
bool cursor_hidden_soon() {
    const DWORD start = GetTickCount();
    do {
        CURSORINFO cursor{};
        cursor.cbSize = sizeof cursor;
        if (GetCursorInfo(&cursor) && !(cursor.flags & CURSOR_SHOWING)) return true;
        Sleep(10);
    } while (GetTickCount() - start < 5000);
    return false;
}

int watch(HANDLE starter, const std::string& class_name, DWORD watch_ms) {
    bool signalled = false;
    bool seen = false;
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < watch_ms) {
        if (!signalled && WaitForSingleObject(starter, 10) == WAIT_OBJECT_0) signalled = true;
        if (FindWindowA(class_name.c_str(), nullptr)) seen = true;
        if (signalled) Sleep(10);
    }
    std::printf("starter=%s window=%s\n", signalled ? "signalled" : "quiet", seen ? "seen" : "none");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: reply_sender <class> <value>... | --watch-ms=<n>\n");
        return 2;
    }
    const std::string class_name = argv[1];
    DWORD timeout_ms = 20000;
    long watch_ms = -1;
    bool stale_game_signal = false;
    bool close = false;
    std::vector<LPARAM> values;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--timeout-ms=", 0) == 0) {
            timeout_ms = std::strtoul(arg.c_str() + 13, nullptr, 10);
        } else if (arg == "--stale-game-signal") {
            stale_game_signal = true;
        } else if (arg == "--close") {
            close = true;
        } else if (arg.rfind("--watch-ms=", 0) == 0) {
            watch_ms = std::strtol(arg.c_str() + 11, nullptr, 10);
        } else {
            values.push_back(static_cast<LPARAM>(std::strtol(arg.c_str(), nullptr, 10)));
        }
    }

    // Created here, so the launcher opens this very event and its first signal releases us.
    const HANDLE starter = CreateEventA(nullptr, FALSE, FALSE, "Orv Starter Mutex");
    if (!starter) return 1;
    std::printf("ready\n");
    std::fflush(stdout);
    if (watch_ms >= 0) return watch(starter, class_name, static_cast<DWORD>(watch_ms));

    if (WaitForSingleObject(starter, timeout_ms) != WAIT_OBJECT_0) {
        std::printf("starter event not signalled\n");
        return 1;
    }
    const HWND window = wait_for_window(class_name, 15000);
    if (!window) {
        std::printf("window not found\n");
        return 1;
    }
    // The window's styles are complete once the cursor is hidden, after its creation.
    const bool hidden = cursor_hidden_soon();
    std::printf("window %s\n", window_report(window).c_str());
    std::printf("cursor=%s\n", hidden ? "hidden" : "shown");
    if (stale_game_signal) {
        const HANDLE game_event = OpenEventA(EVENT_MODIFY_STATE, FALSE, "Orv Game Mutex");
        if (!game_event || !SetEvent(game_event)) {
            std::printf("cannot set the game event\n");
            return 1;
        }
        CloseHandle(game_event);
    }
    for (const LPARAM value : values) PostMessageA(window, WM_USER, 0, value);
    if (close) PostMessageA(window, WM_CLOSE, 0, 0);
    std::fflush(stdout);
    CloseHandle(starter);
    return 0;
}
