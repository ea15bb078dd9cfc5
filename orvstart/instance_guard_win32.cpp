#include "orvstart/instance_guard.h"

#include "orvstart/command_line.h"

instance_guard::instance_guard(const std::string& exe_name) {
    handle = CreateSemaphoreA(nullptr, 0, 1, instance_name(exe_name).c_str());
    already_running = GetLastError() == ERROR_ALREADY_EXISTS;
}

instance_guard::~instance_guard() {
    if (handle) CloseHandle(handle);
}
