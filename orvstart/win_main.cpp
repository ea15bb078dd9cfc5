// Entry point of the windowed launcher: the whole run works from GetCommandLineA.
#include <windows.h>

#include "orvstart/launch_sequence.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return run_launcher(GetCommandLineA()); }
