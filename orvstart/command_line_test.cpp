#include "orvstart/command_line.h"

#include <gtest/gtest.h>

namespace {

std::vector<std::string> tokens_of(const std::string& text) {
    command_line line;
    std::string error;
    EXPECT_TRUE(parse_command_line(text, line, error)) << error;
    return line.tokens;
}

std::string error_of(const std::string& text) {
    command_line line;
    std::string error;
    EXPECT_FALSE(parse_command_line(text, line, error));
    return error;
}

using texts = std::vector<std::string>;

TEST(next_token, takes_tokens_one_by_one_and_leaves_the_rest) {
    std::string rest = " \t first  second\r\n";
    EXPECT_EQ(next_token(rest), "first");
    EXPECT_EQ(rest, "  second");  // trailing separators are trimmed, leading ones stay
    EXPECT_EQ(next_token(rest), "second");
    EXPECT_EQ(rest, "");
    EXPECT_EQ(next_token(rest), "");
}

TEST(next_token, quoted_token_is_verbatim_and_ends_at_the_next_quote) {
    std::string rest = "\"a b\\\"tail next";
    EXPECT_EQ(next_token(rest), "a b\\");
    EXPECT_EQ(rest, "tail next");
}

TEST(next_token, fails_on_an_unclosed_quote) {
    for (std::string rest : {"\"", "  \"  ", "\"abc", "\"abc def"}) {
        EXPECT_FALSE(next_token(rest).has_value()) << rest;
    }
    std::string rest = "x \"abc";
    EXPECT_EQ(next_token(rest), "x");
    EXPECT_FALSE(next_token(rest).has_value());
}

TEST(next_token, only_the_four_separators_split) {
    std::string rest = "a\vb\fc d";
    EXPECT_EQ(next_token(rest), "a\vb\fc");
}

TEST(parse_command_line, splits_runs_of_separators_once_and_keeps_empty_quoted_tokens) {
    EXPECT_EQ(tokens_of("  a \t\t b\r\n c  "), (texts{"a", "b", "c"}));
    EXPECT_EQ(tokens_of("a \"\" b"), (texts{"a", "", "b"}));
    EXPECT_EQ(tokens_of("a \"x\"yz"), (texts{"a", "x", "yz"}));
    EXPECT_EQ(tokens_of("a b\"c d\""), (texts{"a", "b\"c", "d\""}));
    EXPECT_EQ(tokens_of("a \"\"\"\""), (texts{"a", "", ""}));
}

TEST(parse_command_line, separators_only_give_one_empty_token) {
    command_line line;
    std::string error;
    ASSERT_TRUE(parse_command_line(" \t\r\n ", line, error));
    EXPECT_EQ(line.tokens, texts{""});
    EXPECT_EQ(line.exe_name, "");
    EXPECT_EQ(line.exe_folder, "");
}

TEST(parse_command_line, splits_token_0_into_folder_and_name) {
    command_line line;
    std::string error;
    ASSERT_TRUE(parse_command_line("\"C:\\Program Files\\Orv\\orvstart.exe\" game.exe", line,
                                   error));
    EXPECT_EQ(line.exe_folder, "C:\\Program Files\\Orv\\");
    EXPECT_EQ(line.exe_name, "orvstart.exe");

    ASSERT_TRUE(parse_command_line("/opt/orv/start.exe", line, error));
    EXPECT_EQ(line.exe_folder, "/opt/orv/");
    EXPECT_EQ(line.exe_name, "start.exe");

    ASSERT_TRUE(parse_command_line("d:/a\\b/orv.exe", line, error));
    EXPECT_EQ(line.exe_folder, "d:/a\\b/");

    ASSERT_TRUE(parse_command_line("orvstart.exe x", line, error));
    EXPECT_EQ(line.exe_folder, "");
    EXPECT_EQ(line.exe_name, "orvstart.exe");
}

TEST(parse_command_line, reports_each_failure_with_its_message) {
    EXPECT_EQ(error_of(""), "Empty command line string.");
    EXPECT_EQ(error_of("C:\\games\\ game.exe"), "Empty exe name.)");
    EXPECT_EQ(error_of("/games/ game.exe"), "Empty exe name.)");
    EXPECT_EQ(error_of("orvstart.exe game.exe \"window"), "Missing terminating quote.");
    EXPECT_EQ(error_of("\""), "Missing terminating quote.");
}

TEST(read_launcher_command_line, needs_a_game_and_fills_in_a_missing_display) {
    command_line line;
    std::string error;
    EXPECT_FALSE(read_launcher_command_line("orvstart.exe", line, error));
    EXPECT_EQ(error, "Missing game executable.");
    EXPECT_FALSE(read_launcher_command_line("   ", line, error));
    EXPECT_EQ(error, "Missing game executable.");
    EXPECT_FALSE(read_launcher_command_line("orvstart.exe \"game", line, error));
    EXPECT_EQ(error, "Missing terminating quote.");

    ASSERT_TRUE(read_launcher_command_line("orvstart.exe game.exe", line, error));
    EXPECT_EQ(line.tokens, (texts{"orvstart.exe", "game.exe", "window"}));
    EXPECT_FALSE(fullscreen(line));

    ASSERT_TRUE(read_launcher_command_line("orvstart.exe game.exe \"\"", line, error));
    EXPECT_EQ(display_token(line), "");
    EXPECT_TRUE(fullscreen(line));
}

TEST(join_arguments, quotes_only_tokens_holding_a_separator) {
    EXPECT_EQ(join_arguments({"game", "-display", "window"}), "-display window");
    EXPECT_EQ(join_arguments({"game", "-display", "\\\\.\\DISPLAY1", "a b", "c\td", "e\"f"}),
              "-display \\\\.\\DISPLAY1 \"a b\" \"c\td\" e\"f");
    EXPECT_EQ(join_arguments({"game", "-display", "", "x"}), "-display  x");
    EXPECT_EQ(join_arguments({"game", "a\nb", "c\r"}), "\"a\nb\" \"c\r\"");
    EXPECT_EQ(join_arguments({"game"}), "");
    EXPECT_EQ(join_arguments({}), "");
}

TEST(instance_name, lower_cases_only_ascii_capitals) {
    EXPECT_EQ(instance_name("OrvStart.EXE"), "$$s$$orvstart.exe");
    // Bytes above 127 stay as they are, whatever the code page.
    EXPECT_EQ(instance_name("\xC4\xC9Z-1.exe"), "$$s$$\xC4\xC9z-1.exe");
}

TEST(stem, drops_only_the_last_extension) {
    EXPECT_EQ(stem("orvstart.exe"), "orvstart");
    EXPECT_EQ(stem("orv.start.exe"), "orv.start");
    EXPECT_EQ(stem("orvstart"), "orvstart");
}

TEST(fullscreen, is_false_only_for_the_exact_word_window_or_no_display) {
    command_line line;
    line.tokens = {"l", "g"};
    EXPECT_FALSE(fullscreen(line));
    line.tokens = {"l", "g", "window"};
    EXPECT_FALSE(fullscreen(line));
    for (const char* display : {"Window", "WINDOW", "window ", "\\\\.\\DISPLAY1", ""}) {
        line.tokens = {"l", "g", display};
        EXPECT_TRUE(fullscreen(line)) << display;
    }
}

TEST(prepare_game_start, takes_the_game_relative_to_the_launcher_folder) {
    command_line line;
    std::string error;
    ASSERT_TRUE(read_launcher_command_line(
        "\"C:\\Orv Games\\orvstart.exe\" bin\\game.exe \\\\.\\DISPLAY2 -map \"Level One\"", line,
        error));
    const game_start game = prepare_game_start(line);
    EXPECT_EQ(game.file, "C:\\Orv Games\\bin\\game.exe");
    EXPECT_EQ(game.parameters, "-display \\\\.\\DISPLAY2 -map \"Level One\"");
    EXPECT_EQ(line.exe_name, "bin\\game.exe");
    EXPECT_EQ(line.tokens[0], game.file);
    EXPECT_EQ(line.tokens[1], "-display");

    // No folder in token 0: the game token is used as it is, absolute or not.
    ASSERT_TRUE(read_launcher_command_line("orvstart.exe C:\\game.exe", line, error));
    EXPECT_EQ(prepare_game_start(line).file, "C:\\game.exe");
    ASSERT_TRUE(read_launcher_command_line("C:\\orv\\orvstart.exe C:\\game.exe", line, error));
    EXPECT_EQ(prepare_game_start(line).file, "C:\\orv\\C:\\game.exe");
}

}  // namespace
