// Shows a failure to the player. A launcher started from a shortcut has no console, so the
// message goes to a message box; it is written to standard error as well, for scripts.
#pragma once

#include <string>

// The launcher's own file name, from the module: known even when its command line is not.
std::string own_file_name();

// Writes the text to standard error and shows it in a message box captioned `caption`, until
// the player closes it.
void show_failure(const std::string& caption, const std::string& text);
