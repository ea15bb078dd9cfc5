// The command line of mapdiff: a command word, then its options and paths.
#pragma once

#include <string>
#include <vector>

#include "mapdiff/make_patch.h"
#include "mapdiff/pack.h"

enum class mapdiff_command { help, version, make, inspect, stock_table, pack, check_stock };

struct inspect_settings {
    std::string maps_path;
    std::string patch_path;
};

struct stock_table_settings {
    std::string maps_path;
    std::string table_file;  // empty for standard output
    bool force = false;      // replace an existing table file
};

struct check_stock_settings {
    std::string maps_path;
};

// Only the settings of the command given are filled.
struct mapdiff_arguments {
    mapdiff_command command = mapdiff_command::help;
    make_settings make;
    inspect_settings inspect;
    stock_table_settings stock_table;
    pack_settings pack;
    check_stock_settings check_stock;
};

// Exit statuses: 0 success, 1 a failed job (or a rebuild that would fail), 2 a wrong command line.
enum mapdiff_status : int { status_ok = 0, status_failed = 1, status_wrong_command_line = 2 };

// The error line for a wrong command line, or "" with `arguments` filled.
std::string read_mapdiff_arguments(const std::vector<std::string>& words, mapdiff_arguments& arguments);

std::string mapdiff_usage();
