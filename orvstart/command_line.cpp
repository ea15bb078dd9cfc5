#include "orvstart/command_line.h"

#include "common/path_text.h"

namespace {

const char* const separators = " \t\n\r";

bool holds_separator(const std::string& text) {
    return text.find_first_of(separators) != std::string::npos;
}

void trim(std::string& text) {
    const auto first = text.find_first_not_of(separators);
    if (first == std::string::npos) {
        text.clear();
        return;
    }
    const auto last = text.find_last_not_of(separators);
    text = text.substr(first, last - first + 1);
}

}  // namespace

std::optional<std::string> next_token(std::string& rest) {
    trim(rest);
    if (rest.empty()) return std::string();

    if (rest[0] == '"') {
        const auto closing = rest.find('"', 1);
        if (closing == std::string::npos) return std::nullopt;
        std::string token = rest.substr(1, closing - 1);
        rest.erase(0, closing + 1);
        return token;
    }

    const auto end = rest.find_first_of(separators);
    std::string token = rest.substr(0, end);
    rest.erase(0, token.size());
    return token;
}

bool parse_command_line(const std::string& text, command_line& result, std::string& error) {
    result = command_line{};
    std::string rest = text;
    while (!rest.empty()) {
        auto token = next_token(rest);
        if (!token) {
            error = "Missing terminating quote.";
            return false;
        }
        result.tokens.push_back(std::move(*token));
    }
    if (result.tokens.empty()) {
        error = "Empty command line string.";
        return false;
    }

    const std::string& launcher = result.tokens[0];
    result.exe_name = launcher;
    const auto separator = launcher.find_last_of("\\/");
    if (separator != std::string::npos) {
        result.exe_name.erase(0, separator + 1);
        if (result.exe_name.empty()) {
            error = "Empty exe name.)";
            return false;
        }
        result.exe_folder = launcher.substr(0, separator + 1);
    }
    return true;
}

bool read_launcher_command_line(const std::string& text, command_line& result,
                                std::string& error) {
    if (!parse_command_line(text, result, error)) return false;
    if (result.tokens.size() < 2) {
        error = "Missing game executable.";
        return false;
    }
    if (result.tokens.size() == 2) result.tokens.push_back("window");
    return true;
}

std::string join_arguments(const std::vector<std::string>& tokens) {
    std::string joined;
    const std::size_t count = tokens.size();
    for (std::size_t i = 1; i < count; ++i) {
        if (i > 1) joined += ' ';
        if (holds_separator(tokens[i])) {
            joined += '"' + tokens[i] + '"';
        } else {
            joined += tokens[i];
        }
    }
    return joined;
}

std::string instance_name(const std::string& exe_name) { return "$$s$$" + to_lower(exe_name); }

std::string stem(const std::string& exe_name) { return strip_extension(exe_name); }

bool fullscreen(const command_line& line) {
    return line.tokens.size() >= 3 && line.tokens[2] != "window";
}

std::string display_token(const command_line& line) {
    return line.tokens.size() >= 3 ? line.tokens[2] : std::string();
}

game_start prepare_game_start(command_line& line) {
    line.exe_name = line.tokens.at(1);
    line.tokens[0] = line.exe_folder + line.exe_name;
    line.tokens[1] = "-display";
    return game_start{line.tokens[0], join_arguments(line.tokens)};
}
