#include "mapmend/result_code.h"

#include <gtest/gtest.h>

#include <sstream>

#include "mapmend/usage_text.h"

TEST(result_code, every_code_has_its_message_and_others_are_unknown) {
    EXPECT_EQ(result_message(0), "All OK.");
    EXPECT_EQ(result_message(result_code::patch_path_missing), "Error: QMP path arg missing.");
    EXPECT_EQ(result_message(10), "Error: Could not delete the QMP.");
    EXPECT_EQ(result_message(11), "Unknown error.");
    EXPECT_EQ(result_message(-1), "Unknown error.");
    EXPECT_EQ(result_message(-2147483647 - 1), "Unknown error.");
}

TEST(result_code, only_the_usage_errors_carry_the_help_hint) {
    for (int code = 0; code <= 10; ++code) {
        const bool expected = code == 3 || code == 5 || code == 6;
        EXPECT_EQ(shows_help_hint(static_cast<result_code>(code)), expected) << code;
    }
}

TEST(usage_text, is_exact_to_the_byte) {
    const std::string expected =
        "mapmend: Rebuild a Q5 QMW file from a QMP.\n"
        "Usage:\n"
        "  mapmend [options] <maps path> [<qmp path>]\n"
        "Options:\n"
        "  --help                - This text\n"
        "  --check-stock         - Verify the stock QMW files using MD5 checksums\n"
        "  --check-rebuilt=<md5> - Verify the rebuilt QMW file against the supplied MD5 checksum\n"
        "  --delete-qmp          - Delete the QMP after a successful rebuild\n"
        "Arguments:\n"
        "  maps path - The path to the stock QMW files (in Content\\Q5\\Maps)\n"
        "  qmp path  - Full path to the QMP file to be rebuilt. Optional with --check-stock alone\n"
        "Return codes:\n"
        "   0 - All OK.\n"
        "   1 - Error: Maps path not found.\n"
        "   2 - Error: QMP not found.\n"
        "   3 - Error: Wrong options.\n"
        "   4 - Error: Invalid MD5 string.\n"
        "   5 - Error: Maps path arg missing.\n"
        "   6 - Error: QMP path arg missing.\n"
        "   7 - Error: Stock QMW verification failed.\n"
        "   8 - Error: Rebuilt QMW verification failed.\n"
        "   9 - Error: QMW rebuild failed.\n"
        "  10 - Error: Could not delete the QMP.\n";
    EXPECT_EQ(usage_text(), expected);
}

TEST(usage_text, columns_line_up) {
    std::istringstream lines(usage_text());
    std::string line;
    int number = 0;
    while (std::getline(lines, line)) {
        ++number;
        if (number >= 5 && number <= 8) {
            EXPECT_EQ(line.substr(24, 2), "- ") << line;  // dash in column 25
        } else if (number == 10 || number == 11) {
            EXPECT_EQ(line.substr(12, 2), "- ") << line;  // dash in column 13
        } else if (number >= 13) {
            EXPECT_EQ(line.substr(4, 3), " - ") << line;  // messages begin in column 8
        }
    }
    EXPECT_EQ(number, 23);
}

TEST(usage_text, help_hint_names_the_program_without_folder_or_extension) {
    EXPECT_EQ(help_hint("mapmend"), "Try \"mapmend --help\"");
    EXPECT_EQ(help_hint("C:\\x\\my.tool.exe"), "Try \"my.tool --help\"");
    EXPECT_EQ(help_hint("/usr/local/bin/mapmend"), "Try \"mapmend --help\"");
    EXPECT_EQ(help_hint(""), "Try \" --help\"");
}
