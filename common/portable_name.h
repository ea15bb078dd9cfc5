// The file names that a mod may carry into a patch, into an installer's script or onto a
// player's disk: a name that opens on every player's Windows, whatever its code page, and that
// no installer script reads as code. Printable ASCII only (a name in the author's code page is
// another name, or none, in a player's), none of the characters Windows refuses, no device name,
// no trailing blank or dot (Windows drops them), and short enough for the longest name a
// program makes from it.
#pragma once

#include <cstddef>
#include <string>

// Empty when `name` may be used; else why not, as the end of a sentence that names the file
// ("holds ':', which Windows does not allow in a file name"). `longest` is the length the name
// may have at most.
std::string portable_name_problem(const std::string& name, std::size_t longest);
