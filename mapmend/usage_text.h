// What mapmend prints for "--help", and the hint that points there.
#pragma once

#include <string>

// Every line ends in a newline; the caller adds one more.
std::string usage_text();

// Try "<program name without folder and extension> --help"
std::string help_hint(const std::string& program_path);
