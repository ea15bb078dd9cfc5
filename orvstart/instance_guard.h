// The single-instance guard: a named semaphore whose existence says that a launcher of the
// same file name runs.
#pragma once

#include <string>

#include <windows.h>

struct instance_guard {
    HANDLE handle = nullptr;
    bool already_running = false;

    explicit instance_guard(const std::string& exe_name);
    ~instance_guard();
    instance_guard(const instance_guard&) = delete;
    instance_guard& operator=(const instance_guard&) = delete;
};
