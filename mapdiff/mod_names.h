// The names a mod carries to a player's Windows: its maps' (in the patches that draw on them, the
// manifest and the installer settings) and its own (the settings, the mod's folder). One policy
// for make, pack and the installer script (common/portable_name.h), with the lengths here.
#pragma once

#include <cstddef>
#include <string>

// A map's name "X.qmw" has the longest names made from it 11 characters longer: mapmend's marker
// "X.qmw.rebuilding" and its backups up to "X.qmw (9999).old" (pack's "X.qmp.partial" is 8
// longer). Installed as <game folder>\Mods\<mod>\<map>, those must stay within the 259
// characters of a Windows path (mapmend's file calls take no longer ones), which leaves a game
// folder of up to 100 characters with the longest map and mod names. (The 255 bytes of a file
// name alone would allow 244.)
constexpr std::size_t longest_map_name = 100;
constexpr std::size_t longest_mod_name = 40;

// "Error: <path> <why>." when the file name of `path`, a map's, cannot be carried to a player;
// else "".
std::string map_name_error(const std::string& path);

// The same for the mod's name, which the mod folder `path` gives.
std::string mod_name_error(const std::string& path, const std::string& mod);
