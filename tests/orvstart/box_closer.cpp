// Plays the player in front of the launcher's message box: waits for a message box with the
// given caption, reports its text and whether the blanking window (class <caption>) is still
// there, and presses its OK button.
//
//   box_closer <caption> <timeout ms> [<hold ms>]
//     prints "box up" as soon as the box is there and leaves it up for <hold ms> (500 unless
//     given: time for a screenshot from outside); then "box caption=<caption>
//     blanking=<gone|present>", the box's text line by line and "closed"; exit 0. On a
//     time-out prints "no box" and exits 1.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr const char* dialog_class = "#32770";

BOOL CALLBACK print_static_text(HWND child, LPARAM) {
    char class_name[32] = {};
    GetClassNameA(child, class_name, sizeof class_name);
    if (lstrcmpiA(class_name, "Static") != 0) return TRUE;
    char text[4096] = {};
    GetWindowTextA(child, text, sizeof text);
    if (text[0] != '\0') std::printf("%s\n", text);
    return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: box_closer <caption> <timeout ms> [<hold ms>]\n");
        return 2;
    }
    const char* caption = argv[1];
    const DWORD timeout_ms = static_cast<DWORD>(std::strtoul(argv[2], nullptr, 10));
    const DWORD hold_ms = argc == 4 ? static_cast<DWORD>(std::strtoul(argv[3], nullptr, 10)) : 500;
    std::printf("ready\n");
    std::fflush(stdout);
    const DWORD start = GetTickCount();
    HWND box = nullptr;
    while (!(box = FindWindowA(dialog_class, caption))) {
        if (GetTickCount() - start >= timeout_ms) {
            std::printf("no box\n");
            return 1;
        }
        Sleep(20);
    }
    std::printf("box up\n");
    std::fflush(stdout);
    Sleep(hold_ms);
    std::printf("box caption=%s blanking=%s\n", caption,
                FindWindowA(caption, nullptr) ? "present" : "gone");
    EnumChildWindows(box, print_static_text, 0);
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    std::printf("closed\n");
    return 0;
}
