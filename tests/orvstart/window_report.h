// One line describing a window as another process sees it; shared by the test programs.
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>

inline std::string monitor_device(HWND window) {
    MONITORINFOEXA info{};
    info.cbSize = sizeof info;
    const HMONITOR monitor = MonitorFromWindow(window, MONITOR_DEFAULTTONULL);
    if (!monitor || !GetMonitorInfoA(monitor, &info)) return "none";
    return info.szDevice;
}

// "rect=<l>,<t>,<r>,<b> visible=<0|1> topmost=<0|1> monitor=<device>"
inline std::string window_report(HWND window) {
    RECT rect{};
    GetWindowRect(window, &rect);
    const LONG style = GetWindowLongA(window, GWL_STYLE);
    const LONG ex_style = GetWindowLongA(window, GWL_EXSTYLE);
    char line[256];
    std::snprintf(line, sizeof line, "rect=%ld,%ld,%ld,%ld visible=%d topmost=%d popup=%d",
                  rect.left, rect.top, rect.right, rect.bottom, (style & WS_VISIBLE) ? 1 : 0,
                  (ex_style & WS_EX_TOPMOST) ? 1 : 0, (style & WS_POPUP) ? 1 : 0);
    return std::string(line) + " monitor=" + monitor_device(window);
}
