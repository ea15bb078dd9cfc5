// Fuzzes the launcher's tokenizer and the joining of the game's parameters. Besides "no
// crash", joining the tokens and splitting the result again must give the same tokens back
// whenever none of them is empty (an empty token joins to nothing).
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_folder.h"
#include "orvstart/command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    command_line line;
    std::string error;
    if (!parse_command_line(text, line, error)) {
        if (error != "Missing terminating quote." && error != "Empty command line string." && error != "Empty exe name.)")
            invariant_broken("unknown failure: " + error);
        return 0;
    }
    if (line.tokens.empty()) invariant_broken("an accepted command line without tokens");
    if (line.exe_folder + line.exe_name != line.tokens[0]) invariant_broken("token 0 is not folder plus name");

    bool any_empty = false;
    for (std::size_t i = 1; i < line.tokens.size(); ++i) any_empty = any_empty || line.tokens[i].empty();
    std::string rest = join_arguments(line.tokens);
    if (!any_empty) {
        std::vector<std::string> again{line.tokens[0]};
        while (!rest.empty()) {
            auto token = next_token(rest);
            if (!token) invariant_broken("joined parameters do not split");
            again.push_back(*token);
        }
        if (again != line.tokens) invariant_broken("joined parameters split into other tokens");
    }

    (void)stem(line.exe_name);
    (void)fullscreen(line);
    (void)display_token(line);
    command_line launcher;
    if (read_launcher_command_line(text, launcher, error)) {
        if (launcher.tokens.size() < 3) invariant_broken("a launcher command line without a display token");
        const game_start start = prepare_game_start(launcher);
        if (start.parameters.compare(0, 9, "-display ") != 0) invariant_broken("parameters must begin with -display");
    }
    return 0;
}
