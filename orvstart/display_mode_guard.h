// Stores a display's current mode as its stored (registry) mode for the time of the run and
// writes the previous stored mode back at the end. The live mode is never switched.
#pragma once

#include <string>

#include <windows.h>

struct display_mode_guard {
    std::string device_name;
    DEVMODEA modes[2];  // [0] the stored mode found at the start, [1] the current mode

    explicit display_mode_guard(std::string device);
    ~display_mode_guard();
    display_mode_guard(const display_mode_guard&) = delete;
    display_mode_guard& operator=(const display_mode_guard&) = delete;
};
