#include "common/portable_name.h"

#include <gtest/gtest.h>

TEST(portable_name, every_printable_ascii_character_but_windows_own) {
    for (int c = 0x20; c < 0x7f; ++c) {
        const std::string name = std::string("Map") + static_cast<char>(c) + "1.qmw";
        const bool forbidden = std::string("<>:\"/\\|?*").find(static_cast<char>(c)) != std::string::npos;
        EXPECT_EQ(portable_name_problem(name, 255).empty(), !forbidden) << name;
    }
}

TEST(portable_name, refuses_what_a_players_windows_cannot_open) {
    EXPECT_NE(portable_name_problem("Caf\xc3\xa9.qmw", 255), "");  // UTF-8
    EXPECT_NE(portable_name_problem("Caf\xe9.qmw", 255), "");      // a code page's byte
    EXPECT_NE(portable_name_problem("Tab\t.qmw", 255), "");
    EXPECT_NE(portable_name_problem("", 255), "");
    EXPECT_NE(portable_name_problem("Mod.", 255), "");
    EXPECT_NE(portable_name_problem("Mod ", 255), "");
    EXPECT_NE(portable_name_problem(" Mod", 255), "");
    EXPECT_EQ(portable_name_problem("Mod:colon", 255), "holds ':', which Windows does not allow in a file name");
}

TEST(portable_name, device_names_with_any_extension_and_case) {
    for (const char* name : {"CON", "con.qmw", "Nul.qmw", "aux", "PRN.x.qmw", "COM1.qmw", "lpt9", "CONIN$"})
        EXPECT_EQ(portable_name_problem(name, 255), "is the name of a device on Windows") << name;
    for (const char* name : {"CONSOLE.qmw", "com.qmw", "COM10.qmw", "Econ.qmw", "nul_map.qmw"})
        EXPECT_EQ(portable_name_problem(name, 255), "") << name;
}

TEST(portable_name, length_limit_is_inclusive) {
    EXPECT_EQ(portable_name_problem(std::string(240, 'a'), 240), "");
    EXPECT_EQ(portable_name_problem(std::string(241, 'a'), 240), "is 241 characters long; at most 240 fit");
}
