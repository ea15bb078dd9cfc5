#include "orvstart/blanking_window.h"

#include <cstring>
#include <system_error>
#include <utility>

namespace {

// The object behind the window, set on WM_CREATE; only the window thread touches it, and a
// process has at most one blanking window.
blanking_window* current_window = nullptr;

struct monitor_search {
    std::string device_name;
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

BOOL CALLBACK match_monitor(HMONITOR monitor, HDC, LPRECT rect, LPARAM data) {
    auto& search = *reinterpret_cast<monitor_search*>(data);
    MONITORINFOEXA info;
    std::memset(&info, 0, sizeof info);
    info.cbSize = sizeof info;
    GetMonitorInfoA(monitor, &info);  // on failure the name stays empty
    if (search.device_name != info.szDevice) return TRUE;
    search.x = rect->left;
    search.y = rect->top;
    search.width = rect->right - rect->left;
    search.height = rect->bottom - rect->top;
    return FALSE;
}

LRESULT CALLBACK window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_CREATE:
        current_window = static_cast<blanking_window*>(
            reinterpret_cast<CREATESTRUCTA*>(lparam)->lpCreateParams);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_CLOSE:
        DestroyWindow(window);
        return 0;
    case WM_USER:
        if (current_window) current_window->reply.store(lparam);
        return 0;
    default:
        return DefWindowProcA(window, message, wparam, lparam);
    }
}

void show_error(const char* text) {
    MessageBoxA(nullptr, text, "Error!", MB_OK | MB_ICONEXCLAMATION);
}

}  // namespace

blanking_window::blanking_window(std::string device, bool fullscreen_flag,
                                 std::string window_class, std::string window_title)
    : device_name(std::move(device)),
      fullscreen(fullscreen_flag ? 1 : 0),
      class_name(std::move(window_class)),
      title(std::move(window_title)) {
    brush = CreateSolidBrush(RGB(0, 0, 0));
    try {
        thread = std::thread(run, std::ref(*this), fullscreen);
    } catch (const std::system_error&) {
        // Left not joinable; the launch sequence ends the run.
    }
}

blanking_window::~blanking_window() {
    // Only the owning thread may destroy the window: SendMessage waits until its WM_CLOSE
    // has been handled there.
    const HWND existing = window.load();
    if (existing && IsWindow(existing)) SendMessageA(existing, WM_CLOSE, 0, 0);
    if (brush) DeleteObject(brush);
    if (thread.joinable()) thread.detach();
}

bool window_thread_started(const blanking_window& blanking) { return blanking.thread.joinable(); }

void run(blanking_window& blanking, int fullscreen_flag) {
    WNDCLASSEXA window_class;
    std::memset(&window_class, 0, sizeof window_class);
    window_class.cbSize = sizeof window_class;
    window_class.style = CS_HREDRAW | CS_VREDRAW;
    window_class.lpfnWndProc = window_procedure;
    window_class.hInstance = GetModuleHandleA(nullptr);
    window_class.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
    window_class.hbrBackground = blanking.brush;
    window_class.lpszClassName = blanking.class_name.c_str();
    window_class.hIconSm = LoadIconA(nullptr, IDI_APPLICATION);
    if (!RegisterClassExA(&window_class)) {
        show_error("Window Registration Failed!");
        return;
    }

    monitor_search search;
    search.device_name = blanking.device_name;
    EnumDisplayMonitors(nullptr, nullptr, match_monitor, reinterpret_cast<LPARAM>(&search));

    const DWORD style = fullscreen_flag == 1 ? WS_POPUP | WS_VISIBLE : WS_POPUP;
    const HWND window = CreateWindowExA(WS_EX_TOPMOST, blanking.class_name.c_str(),
                                        blanking.title.c_str(), style, search.x, search.y,
                                        search.width, search.height, nullptr, nullptr, nullptr,
                                        &blanking);
    blanking.window.store(window);
    if (!window) {
        show_error("Window Creation Failed!");
        return;
    }

    ShowCursor(FALSE);

    MSG message;
    for (;;) {
        const BOOL got = GetMessageA(&message, nullptr, 0, 0);
        if (got == 0 || got == -1) break;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}
