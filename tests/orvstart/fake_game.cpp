// Stands in for the game: records the command line and current folder it was given to
// "<its own path>.txt". When "<its own path>.signal" holds a number n, it sets the game event
// after n milliseconds and then creates "<its own path>.signalled"; without that file the event
// is never set. Its command line stays exactly what the launcher gave it.
#include <windows.h>

#include <fstream>
#include <string>

namespace {

std::string own_path() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    return path;
}

std::string current_folder() {
    char folder[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, folder);
    return folder;
}

// Written under a temporary name and renamed, so that a reader never sees half a file.
void write_file(const std::string& path, const std::string& text) {
    const std::string partial = path + ".part";
    {
        std::ofstream out(partial, std::ios::binary);
        out << text;
    }
    MoveFileExA(partial.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    const std::string self = own_path();
    write_file(self + ".txt", std::string(GetCommandLineA()) + "\n" + current_folder() + "\n");

    std::ifstream signal(self + ".signal");
    long delay_ms = -1;
    if (!(signal >> delay_ms) || delay_ms < 0) return 0;
    Sleep(static_cast<DWORD>(delay_ms));
    const HANDLE game_event = OpenEventA(EVENT_MODIFY_STATE, FALSE, "Orv Game Mutex");
    if (!game_event) return 1;
    SetEvent(game_event);
    CloseHandle(game_event);
    write_file(self + ".signalled", "");
    return 0;
}
