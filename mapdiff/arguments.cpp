#include "mapdiff/arguments.h"

namespace {

bool is_option(const std::string& word) { return word.size() >= 2 && word[0] == '-' && word[1] == '-'; }

std::string wrong(const std::string& what) { return "Error: " + what + " Try \"mapdiff --help\"."; }

}  // namespace

std::string mapdiff_usage() {
    return "mapdiff: make, check and describe patch files for mapmend.\n"
           "Usage:\n"
           "  mapdiff make [--beside <folder>] [--force] <maps path> <map file> <patch path>\n"
           "      Writes a patch from which mapmend rebuilds <map file>, drawing on the stock maps\n"
           "      of <maps path> that the stock table vouches for and, with --beside, on the .qmw\n"
           "      files of <folder>, which must then lie beside the patch. An existing file at\n"
           "      <patch path> is kept unless --force.\n"
           "  mapdiff inspect <maps path> <patch path>\n"
           "      Lists the patch's sources and says whether mapmend would rebuild it; writes nothing.\n"
           "  mapdiff stock-table <maps path> [<table file>] [--force]\n"
           "      Writes the stock table of the 31 stock maps in <maps path> (standard output\n"
           "      without a table file). An existing <table file> is kept unless --force.\n"
           "  mapdiff pack [--force] <maps path> <mod folder> <out folder>\n"
           "      Writes a patch for each .qmw of <mod folder> into <out folder>, each drawing on the\n"
           "      stock maps and on the mod's maps installed before it, checks that the set rebuilds\n"
           "      in install order, and writes <mod>.md5 (the maps in install order with their MD5)\n"
           "      and <mod>.nsh (settings for installer/mod_installer.nsi). An out folder holding\n"
           "      other files is refused unless --force.\n"
           "  mapdiff check-stock <maps path>\n"
           "      Lists each stock map as ok, missing or differs, with the MD5 expected and found.\n"
           "  mapdiff --help\n"
           "Exit status: 0 done (inspect: the rebuild would succeed; check-stock: every stock map\n"
           "matches), 1 failed (inspect: the rebuild would fail; check-stock: a stock map is missing\n"
           "or differs; any command: standard output cannot be written), 2 wrong command line.\n";
}

std::string read_mapdiff_arguments(const std::vector<std::string>& words, mapdiff_arguments& arguments) {
    arguments = mapdiff_arguments{};
    for (const std::string& word : words)
        if (word == "--help") return {};
    if (words.empty()) return wrong("No command.");

    const std::string& command = words[0];
    std::vector<std::string> paths;
    bool force = false;
    std::string beside;
    for (std::size_t i = 1; i < words.size(); ++i) {
        const std::string& word = words[i];
        if ((command == "make" || command == "stock-table" || command == "pack") && word == "--force") {
            force = true;
        } else if (command == "make" && word == "--beside") {
            if (i + 1 == words.size() || words[i + 1].empty()) return wrong("--beside needs a folder.");
            beside = words[++i];
        } else if (is_option(word)) {
            return wrong("Unknown option " + word + ".");
        } else if (word.empty() && command != "check-stock") {
            // check-stock answers an empty maps path as mapmend --check-stock does: not found.
            return wrong("An empty path.");
        } else {
            paths.push_back(word);
        }
    }
    if (command == "make") {
        if (paths.size() != 3) return wrong("make takes <maps path> <map file> <patch path>.");
        arguments.command = mapdiff_command::make;
        arguments.make = {paths[0], paths[1], paths[2], beside, force};
    } else if (command == "inspect") {
        if (paths.size() != 2) return wrong("inspect takes <maps path> <patch path>.");
        arguments.command = mapdiff_command::inspect;
        arguments.inspect = {paths[0], paths[1]};
    } else if (command == "stock-table") {
        if (paths.empty() || paths.size() > 2) return wrong("stock-table takes <maps path> [<table file>].");
        arguments.command = mapdiff_command::stock_table;
        arguments.stock_table = {paths[0], paths.size() == 2 ? paths[1] : std::string{}, force};
    } else if (command == "pack") {
        if (paths.size() != 3) return wrong("pack takes <maps path> <mod folder> <out folder>.");
        arguments.command = mapdiff_command::pack;
        arguments.pack = {paths[0], paths[1], paths[2], force};
    } else if (command == "check-stock") {
        if (paths.size() != 1) return wrong("check-stock takes <maps path>.");
        arguments.command = mapdiff_command::check_stock;
        arguments.check_stock = {paths[0]};
    } else {
        return wrong("Unknown command " + command + ".");
    }
    return {};
}
