#include "orvstart/failure_text.h"

#include <gtest/gtest.h>

namespace {

TEST(failure_text, names_the_game_file_and_the_reason) {
    const std::string text = game_start_failure("C:\\Games\\Q5\\Binaries\\gaem.exe", 2);
    EXPECT_EQ(text.rfind("The game could not be started:\r\nC:\\Games\\Q5\\Binaries\\gaem.exe\r\n"
                         "The file was not found.\r\n",
                         0),
              0u)
        << text;
}

TEST(failure_text, every_shell_result_has_a_reason) {
    EXPECT_EQ(shell_start_reason(3), "The folder was not found.");
    EXPECT_EQ(shell_start_reason(31), "No program is associated with this kind of file.");
    EXPECT_EQ(shell_start_reason(30), "Windows could not start it (code 30).");
}

TEST(failure_text, command_line_failure_keeps_the_error_and_shows_the_usage) {
    const std::string text = command_line_failure("Missing terminating quote.", "Q5 launcher.exe");
    EXPECT_EQ(text.rfind("The command line cannot be used: Missing terminating quote.\r\n", 0), 0u);
    EXPECT_NE(text.find("Usage: Q5 launcher.exe <game exe>"), std::string::npos);
}

}  // namespace
