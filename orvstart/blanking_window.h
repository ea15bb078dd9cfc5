// A black, borderless, topmost window over one monitor, on a thread of its own. It hides the
// cursor and is the receiving end of the WM_USER reply.
#pragma once

#include <atomic>
#include <string>
#include <thread>

#include <windows.h>

struct blanking_window {
    std::string device_name;
    int fullscreen = 0;
    std::string class_name;
    std::string title;
    std::atomic<HWND> window{nullptr};
    HBRUSH brush = nullptr;
    std::thread thread;
    std::atomic<LONG_PTR> reply{-1};  // -1 until a WM_USER message arrives

    // Starts the window thread last; check window_thread_started afterwards.
    blanking_window(std::string device, bool fullscreen_flag, std::string window_class,
                    std::string window_title);
    // Closes the window on its own thread, deletes the brush and detaches the thread.
    ~blanking_window();
    blanking_window(const blanking_window&) = delete;
    blanking_window& operator=(const blanking_window&) = delete;
};

bool window_thread_started(const blanking_window& blanking);

// The window thread's body.
void run(blanking_window& blanking, int fullscreen_flag);
