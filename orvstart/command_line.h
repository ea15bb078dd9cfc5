// The launcher's command line: tokens, the launcher's own name and folder, and what is derived
// from them (stem, fullscreen decision, the game's file path and parameters).
#pragma once

#include <optional>
#include <string>
#include <vector>

struct command_line {
    std::string exe_name;            // the launcher's file name; the game token once the game starts
    std::string exe_folder;          // token 0 up to and including its last separator
    std::vector<std::string> tokens; // every token in order, empty ones included
};

// Takes the first token off `rest`, together with everything before it. Empty when `rest` holds
// only separators. No value when a quoted token lacks its closing quote.
std::optional<std::string> next_token(std::string& rest);

// Splits a whole command-line text. On failure returns false and sets `error` to the message.
bool parse_command_line(const std::string& text, command_line& result, std::string& error);

// Parses the launcher's own command line and checks that it names a game. A missing display
// token is filled in as "window", so that two tokens start the game without a display change.
bool read_launcher_command_line(const std::string& text, command_line& result,
                                std::string& error);

// The game's parameters: tokens 1 to the last, those holding a separator wrapped in quotes.
std::string join_arguments(const std::vector<std::string>& tokens);

// The single-instance name: "$$s$$" followed by the launcher's file name with only A-Z
// lower-cased, so that copies differing in letter case meet the same name.
std::string instance_name(const std::string& exe_name);

// The launcher's file name without its extension: the window class name and title.
std::string stem(const std::string& exe_name);

// True when a display token other than exactly "window" is given.
bool fullscreen(const command_line& line);

// The display token; empty when the command line has none.
std::string display_token(const command_line& line);

struct game_start {
    std::string file;        // the launcher's folder followed by the game token
    std::string parameters;  // "-display", the display token, then the further arguments
};

// Rewrites the tokens for the game start (token 0 the game's path, token 1 "-display") and
// returns what the shell is given. Needs at least two tokens.
game_start prepare_game_start(command_line& line);
