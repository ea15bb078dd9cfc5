#include "mapmend/usage_text.h"

#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "mapmend/arguments.h"
#include "mapmend/result_code.h"

namespace {

// The lines of the usage text between two heading lines.
std::vector<std::string> lines_between(const std::string& first, const std::string& last) {
    std::istringstream lines(usage_text());
    std::vector<std::string> found;
    std::string line;
    bool inside = false;
    while (std::getline(lines, line)) {
        if (line == last) break;
        if (inside) found.push_back(line);
        if (line == first) inside = true;
    }
    return found;
}

}  // namespace

// Each option the text names is one that mapmend reads, and --help is the one that shows the
// text; an option it does not name is a wrong one.
TEST(usage_text, names_the_options_mapmend_reads) {
    const std::vector<std::string> options = lines_between("Options:", "Arguments:");
    ASSERT_EQ(options.size(), 4u);
    for (const std::string& line : options) {
        std::string option = line.substr(2, line.find(' ', 2) - 2);
        const std::size_t value = option.find("=<md5>");
        if (value != std::string::npos) option = option.substr(0, value + 1) + "0123456789abcdef0123456789abcdef";
        const argument_reading reading = read_arguments({option});
        EXPECT_NE(reading.code, result_code::wrong_options) << option;
        EXPECT_EQ(reading.outcome == argument_outcome::show_usage, option == "--help") << option;
    }
    EXPECT_EQ(read_arguments({"--check-stocks"}).code, result_code::wrong_options);
}

// The return codes are listed in order, each with the very message mapmend prints for it.
TEST(usage_text, lists_every_result_code_with_its_message) {
    const std::vector<std::string> codes = lines_between("Return codes:", "");
    ASSERT_EQ(codes.size(), static_cast<std::size_t>(last_result_code - first_result_code + 1));
    for (int code = first_result_code; code <= last_result_code; ++code) {
        const std::string& line = codes[static_cast<std::size_t>(code - first_result_code)];
        EXPECT_EQ(std::stoi(line.substr(0, 4)), code) << line;
        EXPECT_EQ(line.substr(7), result_message(code)) << line;
    }
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
