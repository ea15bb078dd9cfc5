#include "mapdiff/mod_manifest.h"

#include "common/path_text.h"
#include "digest/md5.h"

namespace {

// An NSIS string between double quotes, whose text the installer script also puts between
// single quotes and backquotes (its command lines) and into compile-time paths (File): each of
// NSIS's three quote characters is escaped, as "$\'", "$\`" and "$\"", which all three kinds of
// string and a path read alike. The names pack writes hold no '$' (see mod_names.h); one is
// written "$$" all the same.
std::string nsis_quoted(const std::string& text) {
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '$')
            quoted += "$$";
        else if (c == '"' || c == '\'' || c == '`')
            quoted += std::string("$\\") + c;
        else
            quoted += c;
    }
    return quoted + "\"";
}

}  // namespace

std::string manifest_text(const std::vector<manifest_line>& lines) {
    std::string text;
    for (const manifest_line& line : lines) text += line.digest + "  " + line.name + "\n";
    return text;
}

bool read_manifest(const std::string& text, std::vector<manifest_line>& lines) {
    lines.clear();
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find('\n', at);
        if (end == std::string::npos || end < at + 35 || text.compare(at + 32, 2, "  ") != 0) return false;
        manifest_line line{text.substr(at, 32), text.substr(at + 34, end - at - 34)};
        if (!is_digest_text(line.digest)) return false;
        lines.push_back(std::move(line));
        at = end + 1;
    }
    return true;
}

std::string installer_settings_text(const std::string& mod_name, const std::vector<manifest_line>& lines) {
    std::string text =
        "; The settings of the mod " + mod_name + " for installer/mod_installer.nsi, written by mapdiff pack\n"
        "; beside the mod's patches and " + mod_name + ".md5. Each patch draws on the stock maps and on the\n"
        "; maps installed before it.\n"
        "!define MOD_NAME " + nsis_quoted(mod_name) + "\n"
        "!ifndef MOD_FOLDER\n"
        "  !define MOD_FOLDER " + nsis_quoted("Mods\\" + mod_name) + "\n"
        "!endif\n"
        "!define MOD_MANIFEST " + nsis_quoted(mod_name + ".md5") + "\n"
        "!define MOD_MAP_COUNT " + std::to_string(lines.size()) + "\n"
        "\n"
        "; One line per map, in install order: !insertmacro ${action} \"<patch name without .qmp>\" \"<md5 of the map>\"\n"
        "!macro MOD_MAPS action\n";
    for (const manifest_line& line : lines)
        text += "  !insertmacro ${action} " + nsis_quoted(strip_extension(line.name)) + " " + nsis_quoted(line.digest) + "\n";
    return text + "!macroend\n";
}
