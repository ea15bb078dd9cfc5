// Starts a program with an exact command-line text, which a shell or Wine's own quoting could
// not produce (an unclosed quote, an empty text), and ends with the program's exit code.
// The program inherits this process's standard handles.
//
//   raw_launch <program path> <command-line text>
#include <windows.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: raw_launch <program path> <command-line text>\n");
        return 100;
    }
    std::string text = argv[2];  // CreateProcessA may write into its command-line buffer
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(argv[1], text.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &process)) {
        std::fprintf(stderr, "raw_launch: cannot start %s (%lu)\n", argv[1], GetLastError());
        return 101;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 102;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(code);
}
