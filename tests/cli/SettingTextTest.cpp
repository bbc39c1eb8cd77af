// The command line's names for settings and values, and text made safe for a console.
#include "SettingText.h"

#include "ConsoleText.h"

#include <gtest/gtest.h>

namespace {

struct Parse {
    const char* text;
    int address; // -1: refused
    int value;
};

TEST(SettingText, KeysAndValuesGiveTheWindowsAddressesAndCodes) {
    const std::vector<Parse> cases{
        {"b1-b2=off", 0x20, 0},
        {"b31-b32=1:4", 0x3E, 8},
        {"enc16=1:1", 0x3E, 2},
        {"B5-B6=1:2", 0x24, 4},
        {"pulse-width=8 ms", 0x40, 1},
        {"pulse-width=200", 0x40, 25},
        {"pulse-width=48ms", 0x40, 6},
        {"rotary-start=Auto", 0x4E, 0xFF},
        {"rotary-start=auto", 0x4E, 0xFF},
        {"rotary-start=2", 0x4E, 1},
        {"rotary-start=33", 0x4E, 32},
        {"b2-b3=off", -1, 0},
        {"b33-b34=off", -1, 0},
        {"enc0=off", -1, 0},
        {"enc17=off", -1, 0},
        {"b1-b2=1:3", -1, 0},
        {"b1-b2=", -1, 0},
        {"pulse-width=0", -1, 0},
        {"pulse-width=12", -1, 0},
        {"pulse-width=208", -1, 0},
        {"pulse-width=-8", -1, 0},
        {"pulse-width=48  ms", -1, 0},
        {"rotary-start=1", -1, 0},
        {"rotary-start=34", -1, 0},
        {"rotary-start", -1, 0},
    };
    for (const Parse& c : cases) {
        std::string error;
        const auto assignment = cli::parseAssignment(c.text, error);
        if (c.address < 0) {
            EXPECT_FALSE(assignment) << c.text;
            EXPECT_FALSE(error.empty()) << c.text;
            continue;
        }
        ASSERT_TRUE(assignment) << c.text << ": " << error;
        EXPECT_EQ(assignment->setting.address(), c.address) << c.text;
        EXPECT_EQ(assignment->setting.valueOf(assignment->index), c.value) << c.text;
    }
}

TEST(ConsoleText, ControlBytesAndNonAsciiAreEscaped) {
    EXPECT_EQ(cli::printable("Tessary-32 \\ ok"), "Tessary-32 \\\\ ok");
    EXPECT_EQ(cli::printable("\x1b[2J\a\n\x7f\x9b\xe9"), "\\x1B[2J\\x07\\x0A\\x7F\\x9B\\xE9");
    EXPECT_EQ(cli::latin1ToUtf8("caf\xe9"), "caf\xc3\xa9");
}

} // namespace
