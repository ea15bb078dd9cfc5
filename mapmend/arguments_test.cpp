#include "mapmend/arguments.h"

#include <gtest/gtest.h>

#include "tests/support/test_files.h"

namespace {

struct arguments_fixture : ::testing::Test {
    temp_folder folder;
    std::string maps = folder / "Maps";
    std::string patch = folder / "Level.qmp";

    void SetUp() override {
        make_folder(maps);
        write_file(patch, std::string("patch"));
    }
};

result_code stops_with(const std::vector<std::string>& arguments) {
    const argument_reading reading = read_arguments(arguments);
    EXPECT_EQ(reading.outcome, argument_outcome::stop);
    return reading.code;
}

}  // namespace

TEST_F(arguments_fixture, options_and_positional_arguments_in_any_order) {
    const argument_reading reading = read_arguments(
        {"--delete-qmp", maps, "--check-rebuilt=0123456789ABCDEF0123456789abcdef", patch, "--check-stock", "--check-stock"});
    ASSERT_EQ(reading.outcome, argument_outcome::run);
    EXPECT_EQ(reading.settings.maps_path, maps + "\\");
    EXPECT_EQ(reading.settings.patch_path, patch);
    EXPECT_EQ(reading.settings.expected_digest, "0123456789abcdef0123456789abcdef");
    EXPECT_TRUE(reading.settings.check_stock);
    EXPECT_TRUE(reading.settings.delete_patch);
}

TEST_F(arguments_fixture, maps_path_ends_in_exactly_one_backslash) {
    EXPECT_EQ(read_arguments({maps}).settings.maps_path, maps + "\\");
    EXPECT_EQ(read_arguments({maps + "\\"}).settings.maps_path, maps + "\\");
    EXPECT_EQ(read_arguments({maps + "/"}).settings.maps_path, maps + "/\\");
}

TEST_F(arguments_fixture, help_ends_reading_but_earlier_errors_win) {
    EXPECT_EQ(read_arguments({"--help", "--bogus"}).outcome, argument_outcome::show_usage);
    EXPECT_EQ(read_arguments({maps, patch, "--help", "nothing-here"}).outcome, argument_outcome::show_usage);
    EXPECT_EQ(stops_with({"--bogus", "--help"}), result_code::wrong_options);
    EXPECT_EQ(stops_with({folder / "missing", "--help"}), result_code::maps_path_not_found);
    EXPECT_EQ(stops_with({"--check-rebuilt=12", "--help"}), result_code::invalid_md5);
}

TEST_F(arguments_fixture, wrong_options) {
    EXPECT_EQ(stops_with({"--check-rebuilt"}), result_code::wrong_options);
    EXPECT_EQ(stops_with({"--"}), result_code::wrong_options);
    EXPECT_EQ(stops_with({"--Check-Stock"}), result_code::wrong_options);
    EXPECT_EQ(stops_with({maps, "--check-stock=yes"}), result_code::wrong_options);
    // A single dash, or a "--" later in the argument, makes a positional argument.
    EXPECT_EQ(stops_with({"-x"}), result_code::maps_path_not_found);
    EXPECT_EQ(stops_with({"-"}), result_code::maps_path_not_found);
    EXPECT_EQ(stops_with({maps, "a--b"}), result_code::patch_not_found);
}

TEST_F(arguments_fixture, digest_must_be_32_hexadecimal_digits) {
    const std::string digits = "0123456789abcdef0123456789abcdef";
    EXPECT_EQ(stops_with({"--check-rebuilt="}), result_code::invalid_md5);
    EXPECT_EQ(stops_with({"--check-rebuilt=" + digits.substr(1)}), result_code::invalid_md5);
    EXPECT_EQ(stops_with({"--check-rebuilt=" + digits + "0"}), result_code::invalid_md5);
    EXPECT_EQ(stops_with({"--check-rebuilt=" + digits.substr(1) + "g"}), result_code::invalid_md5);
    EXPECT_EQ(stops_with({"--check-rebuilt=" + digits.substr(1) + "\xC4"}), result_code::invalid_md5);
    EXPECT_EQ(stops_with({"--check-rebuilt=" + digits.substr(1) + " "}), result_code::invalid_md5);
    // The last valid value wins; the option name is lower-cased along with the value.
    const argument_reading reading =
        read_arguments({maps, "--check-rebuilt=" + std::string(32, 'A'), "--check-rebuilt=" + digits});
    EXPECT_EQ(reading.settings.expected_digest, digits);
    EXPECT_EQ(stops_with({"--CHECK-REBUILT=" + digits}), result_code::wrong_options);
}

TEST_F(arguments_fixture, positional_arguments_are_tested_as_soon_as_met) {
    write_file(folder / "file.txt", std::string("x"));
    EXPECT_EQ(stops_with({folder / "file.txt"}), result_code::maps_path_not_found);
    EXPECT_EQ(stops_with({""}), result_code::maps_path_not_found);
    // A missing patch stops the reading before a later bad option is looked at.
    EXPECT_EQ(stops_with({maps, folder / "missing.qmp", "--bogus"}), result_code::patch_not_found);
    EXPECT_EQ(stops_with({maps, maps}), result_code::patch_not_found);  // a folder is no patch file
    // A third positional argument is ignored even when it names nothing.
    const argument_reading reading = read_arguments({maps, patch, folder / "nothing", "--check-stock"});
    EXPECT_EQ(reading.outcome, argument_outcome::run);
    EXPECT_TRUE(reading.settings.check_stock);
}

TEST_F(arguments_fixture, no_arguments_leave_every_setting_empty) {
    const argument_reading reading = read_arguments({});
    EXPECT_EQ(reading.outcome, argument_outcome::run);
    EXPECT_TRUE(reading.settings.maps_path.empty());
    EXPECT_TRUE(reading.settings.patch_path.empty());
}
