// Reads and sets what the end-to-end tests need from Windows.
//
//   probe modes <device>          "current=<mode> stored=<mode>", a mode being WxHxBPP@HZ
//   probe list-modes <device>     every mode the device offers, one per line
//   probe store <device> <W> <H> <BPP> <HZ>   stores a mode without applying it
//   probe monitors                "<device> <l>,<t>,<r>,<b>" per monitor
//   probe window <class>          the window report of a window of that class, or "none"
//   probe hold <ms>               keeps a hidden window of its own for that long, so that
//                                 Wine's desktop, and with it the stored mode, stays up
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tests/orvstart/window_report.h"

namespace {

std::string mode_text(const DEVMODEA& mode) {
    char text[64];
    std::snprintf(text, sizeof text, "%lux%lux%lu@%lu", mode.dmPelsWidth, mode.dmPelsHeight,
                  mode.dmBitsPerPel, mode.dmDisplayFrequency);
    return text;
}

std::string read_mode(const char* device, DWORD which) {
    DEVMODEA mode;
    std::memset(&mode, 0, sizeof mode);
    mode.dmSize = sizeof mode;
    if (!EnumDisplaySettingsA(device, which, &mode)) return "unreadable";
    return mode_text(mode);
}

BOOL CALLBACK print_monitor(HMONITOR monitor, HDC, LPRECT rect, LPARAM) {
    MONITORINFOEXA info{};
    info.cbSize = sizeof info;
    GetMonitorInfoA(monitor, &info);
    std::printf("%s %ld,%ld,%ld,%ld\n", info.szDevice, rect->left, rect->top, rect->right,
                rect->bottom);
    return TRUE;
}

int hold(DWORD ms) {
    const HWND window = CreateWindowExA(0, "STATIC", "orvstart test holder", WS_POPUP, 0, 0, 1,
                                        1, nullptr, nullptr, nullptr, nullptr);
    if (!window) return 1;
    std::printf("holding\n");
    std::fflush(stdout);
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < ms) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
        Sleep(50);
    }
    DestroyWindow(window);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "modes" && argc == 3) {
        std::printf("current=%s stored=%s\n", read_mode(argv[2], ENUM_CURRENT_SETTINGS).c_str(),
                    read_mode(argv[2], ENUM_REGISTRY_SETTINGS).c_str());
        return 0;
    }
    if (command == "list-modes" && argc == 3) {
        DEVMODEA mode;
        std::memset(&mode, 0, sizeof mode);
        mode.dmSize = sizeof mode;
        for (DWORD i = 0; EnumDisplaySettingsA(argv[2], i, &mode); ++i) {
            std::printf("%s\n", mode_text(mode).c_str());
        }
        return 0;
    }
    if (command == "store" && argc == 7) {
        DEVMODEA mode;
        std::memset(&mode, 0, sizeof mode);
        mode.dmSize = sizeof mode;
        mode.dmPelsWidth = std::strtoul(argv[3], nullptr, 10);
        mode.dmPelsHeight = std::strtoul(argv[4], nullptr, 10);
        mode.dmBitsPerPel = std::strtoul(argv[5], nullptr, 10);
        mode.dmDisplayFrequency = std::strtoul(argv[6], nullptr, 10);
        mode.dmFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT | DM_DISPLAYFREQUENCY;
        const LONG result = ChangeDisplaySettingsExA(argv[2], &mode, nullptr,
                                                     CDS_UPDATEREGISTRY | CDS_NORESET, nullptr);
        std::printf("store=%ld\n", result);
        return result == DISP_CHANGE_SUCCESSFUL ? 0 : 1;
    }
    if (command == "monitors" && argc == 2) {
        EnumDisplayMonitors(nullptr, nullptr, print_monitor, 0);
        return 0;
    }
    if (command == "window" && argc == 3) {
        const HWND window = FindWindowA(argv[2], nullptr);
        std::printf("%s\n", window ? window_report(window).c_str() : "none");
        return 0;
    }
    if (command == "hold" && argc == 3) return hold(std::strtoul(argv[2], nullptr, 10));
    std::fprintf(stderr, "usage: probe modes|list-modes|store|monitors|window|hold ...\n");
    return 2;
}
