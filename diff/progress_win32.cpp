#include "diff/progress.h"

#include <windows.h>

// A console answers GetConsoleMode; a file or a pipe does not.
bool standard_error_is_terminal() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}
