#include "mapdiff/mod_manifest.h"

#include <gtest/gtest.h>

// The manifest reads back as written; a line that md5sum would not read as one of its own, or
// a last line without its newline, is not a manifest.
TEST(mod_manifest, reads_back_what_it_writes_and_nothing_else) {
    const std::vector<manifest_line> lines = {{"0123456789abcdef0123456789abcdef", "Cove.qmw"},
                                              {"fedcba9876543210fedcba9876543210", "Two words.qmw"}};
    const std::string text = manifest_text(lines);
    EXPECT_EQ(text, "0123456789abcdef0123456789abcdef  Cove.qmw\nfedcba9876543210fedcba9876543210  Two words.qmw\n");
    std::vector<manifest_line> read;
    ASSERT_TRUE(read_manifest(text, read));
    ASSERT_EQ(read.size(), 2u);
    EXPECT_EQ(read[1].name, "Two words.qmw");
    for (const std::string& wrong : std::vector<std::string>{text.substr(0, text.size() - 1), "0123456789ABCDEF0123456789abcdef  Cove.qmw\n",
                                     "0123456789abcdef0123456789abcdef Cove.qmw\n", "0123456789abcdef0123456789abcdef  \n"})
        EXPECT_FALSE(read_manifest(wrong, read)) << wrong;
}

// The settings name each map in order with its digest, escaping NSIS's quote characters so that
// any of its strings reads the name as it is.
TEST(mod_manifest, settings_quote_names_for_nsis) {
    const std::string settings = installer_settings_text(
        "Mod's", {{"0123456789abcdef0123456789abcdef", "A.qmw"}, {"fedcba9876543210fedcba9876543210", "Hunter's `Lodge`.qmw"}});
    EXPECT_NE(settings.find("!define MOD_NAME \"Mod$\\'s\"\n"), std::string::npos) << settings;
    EXPECT_NE(settings.find("!define MOD_FOLDER \"Mods\\Mod$\\'s\"\n"), std::string::npos) << settings;
    EXPECT_NE(settings.find("!define MOD_MAP_COUNT 2\n"), std::string::npos) << settings;
    const std::size_t first = settings.find("!insertmacro ${action} \"A\" \"0123456789abcdef0123456789abcdef\"\n");
    const std::size_t second =
        settings.find("!insertmacro ${action} \"Hunter$\\'s $\\`Lodge$\\`\" \"fedcba9876543210fedcba9876543210\"\n");
    EXPECT_NE(first, std::string::npos) << settings;
    EXPECT_NE(second, std::string::npos) << settings;
    EXPECT_LT(first, second);
}
