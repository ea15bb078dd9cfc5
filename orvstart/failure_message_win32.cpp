#include "orvstart/failure_message.h"

#include <cstdio>

#include <windows.h>

#include "common/path_text.h"

std::string own_file_name() {
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    return file_name(std::string(path, length < MAX_PATH ? length : 0));
}

void show_failure(const std::string& caption, const std::string& text) {
    std::fprintf(stderr, "%s\n", text.c_str());
    std::fflush(stderr);
    MessageBoxA(nullptr, text.c_str(), caption.c_str(),
                MB_OK | MB_ICONERROR | MB_SETFOREGROUND | MB_TOPMOST);
}
