// The two files that describe a packed mod beside its patches: the manifest <mod>.md5, the
// rebuilt maps' digests in install order in md5sum's format, and the installer settings
// <mod>.nsh, an NSIS include that installer/mod_installer.nsi reads.
#pragma once

#include <string>
#include <vector>

struct manifest_line {
    std::string digest;  // 32 lowercase hexadecimal characters
    std::string name;    // the rebuilt map's file name, <stem>.qmw
};

// One line per map: the digest, two blanks, the name, "\n".
std::string manifest_text(const std::vector<manifest_line>& lines);

// False unless every line is a manifest line and the text ends with its last line's "\n".
bool read_manifest(const std::string& text, std::vector<manifest_line>& lines);

// Defines MOD_NAME, MOD_FOLDER (unless already defined: Mods\<mod>), MOD_MANIFEST and
// MOD_MAP_COUNT, and the macro MOD_MAPS, which inserts a given macro once per map in install
// order with the patch's name without ".qmp" and the rebuilt map's digest.
std::string installer_settings_text(const std::string& mod_name, const std::vector<manifest_line>& lines);
