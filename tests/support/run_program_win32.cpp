#include "tests/support/run_program.h"

#include <windows.h>

#include <stdexcept>
#include <thread>

namespace {

// Quotes one argument the way the C runtime splits a command line again.
std::string quoted(const std::string& argument) {
    if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string::npos) return argument;
    std::string out = "\"";
    std::size_t backslashes = 0;
    for (const char c : argument) {
        if (c == '\\') {
            ++backslashes;
        } else if (c == '"') {
            out.append(backslashes * 2 + 1, '\\');
            out += '"';
            backslashes = 0;
            continue;
        } else {
            backslashes = 0;
        }
        out += c;
    }
    out.append(backslashes, '\\');
    return out + "\"";
}

// A Unix path handed over by the build reaches Windows through Wine's Z: drive.
std::string windows_path(std::string path) {
    if (!path.empty() && path[0] == '/') path = "Z:" + path;
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

void drain(HANDLE pipe, std::string* sink) {
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) && got > 0) sink->append(buffer, got);
}

std::string command_line_of(const std::string& executable, const std::vector<std::string>& arguments) {
    std::string command_line = quoted(executable);
    for (const std::string& argument : arguments) command_line += " " + quoted(argument);
    return command_line;
}

// An exit status mapmend never gives (its own are 0 to 10), so that a killed run is told from one
// that ended by itself.
constexpr UINT killed_status = 0xDEAD;

// Starts the program with the given output handles, which it inherits.
BOOL create_process(const std::string& executable, std::string command_line, const std::string& working_folder,
                    HANDLE out, HANDLE err, PROCESS_INFORMATION& process) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = out;
    startup.hStdError = err;
    return CreateProcessA(executable.c_str(), command_line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                          working_folder.empty() ? nullptr : working_folder.c_str(), &startup, &process);
}

}  // namespace

started_program start_program(const std::string& program, const std::vector<std::string>& arguments,
                              const std::string& working_folder) {
    const std::string executable = windows_path(program);
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    const HANDLE null = CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);
    PROCESS_INFORMATION process{};
    const BOOL started =
        create_process(executable, command_line_of(executable, arguments), working_folder, null, null, process);
    if (null != INVALID_HANDLE_VALUE) CloseHandle(null);
    if (!started) throw std::runtime_error("CreateProcess failed for " + executable);
    CloseHandle(process.hThread);
    return started_program{reinterpret_cast<std::intptr_t>(process.hProcess)};
}

int wait_for_program(started_program& program) {
    const HANDLE process = reinterpret_cast<HANDLE>(program.native);
    WaitForSingleObject(process, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    CloseHandle(process);
    program.native = -1;
    return static_cast<int>(code);
}

bool program_ended(started_program& program, int& status) {
    if (WaitForSingleObject(reinterpret_cast<HANDLE>(program.native), 0) != WAIT_OBJECT_0) return false;
    status = wait_for_program(program);
    return true;
}

bool kill_program(started_program& program) {
    TerminateProcess(reinterpret_cast<HANDLE>(program.native), killed_status);
    return wait_for_program(program) == static_cast<int>(killed_status);
}

program_result run_program(const std::string& program, const std::vector<std::string>& arguments,
                           const std::string& working_folder) {
    const std::string executable = windows_path(program);
    const std::string command_line = command_line_of(executable, arguments);

    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE out_read, out_write, err_read, err_write;
    if (!CreatePipe(&out_read, &out_write, &inherit, 0) || !CreatePipe(&err_read, &err_write, &inherit, 0))
        throw std::runtime_error("CreatePipe failed");
    SetHandleInformation(out_read, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(err_read, HANDLE_FLAG_INHERIT, 0);

    PROCESS_INFORMATION process{};
    const BOOL started = create_process(executable, command_line, working_folder, out_write, err_write, process);
    CloseHandle(out_write);
    CloseHandle(err_write);
    if (!started) {
        CloseHandle(out_read);
        CloseHandle(err_read);
        throw std::runtime_error("CreateProcess failed for " + executable);
    }

    program_result result;
    std::thread err_reader(drain, err_read, &result.err);
    drain(out_read, &result.out);
    err_reader.join();
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    result.exit_code = static_cast<int>(code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    CloseHandle(out_read);
    CloseHandle(err_read);
    return result;
}
