// An auto-reset event shared by name with the game; an existing one is opened as it is.
#pragma once

#include <string>

#include <windows.h>

struct named_event {
    std::string name;
    HANDLE handle = nullptr;

    explicit named_event(std::string event_name);
    ~named_event();
    named_event(const named_event&) = delete;
    named_event& operator=(const named_event&) = delete;
};

inline const char* const starter_event_name = "Orv Starter Mutex";
inline const char* const game_event_name = "Orv Game Mutex";
