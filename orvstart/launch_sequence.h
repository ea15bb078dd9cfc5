// The launcher's whole run, from its command line to its exit code.
#pragma once

#include <string>

int run_launcher(const std::string& command_line_text);
