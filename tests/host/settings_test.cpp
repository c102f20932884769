#include "startup/settings.h"
#include "test_support.h"

namespace {

const INT32 Default = 0x7D000000; // marks "the default" in the table below

struct CommandLineCase {
    const char *commandLine;
    INT32 ctrl, font, gap;
    const char *fontName;
    bool usage;
};

// Each row: the whole command line as the platform hands it out.
const CommandLineCase Cases[] = {
    {"Vantoriel", 22, 16, 6, "", false},
    {"Vantoriel ", 22, 16, 6, "", false},
    {"Vantoriel    ", 22, 16, 6, "", false},
    {"\"C:\\Program Files\\Vantoriel.exe\"", 22, 16, 6, "", false},
    {"\"C:\\V.exe\"   ", 22, 16, 6, "", false},
    {"Vantoriel 30", 30, 24, 6, "", false},
    {"Vantoriel 30 20", 30, 20, 6, "", false},
    {"Vantoriel 3", 3, -3, 6, "", false},
    {"Vantoriel 0x1E", 30, 24, 6, "", false},
    {"Vantoriel   22   16    6   ", 22, 16, 6, "", false},
    {"Vantoriel 22 16 6 MS Gothic", 22, 16, 6, "MS Gothic", false},
    {"Vantoriel 22 16 6   MS  Gothic  ", 22, 16, 6, "MS  Gothic  ", false},
    {"Vantoriel 22 0", 22, 0, 6, "", false},
    {"Vantoriel 22 16 0", 22, 16, 0, "", false},
    {"Vantoriel 22 4294967295 4294967295 z", 22, -1, -1, "z", false},
    {"Vantoriel 22 2147483648", 22, (INT32)0x80000000u, 6, "", false},
    {"Vantoriel 22 16 6 \"Courier New\"", 22, 16, 6, "\"Courier New\"", false},
    {"Vantoriel 22 16 6 a\tb", 22, 16, 6, "a\tb", false},
    {"Vantoriel 2147483647", 2147483647, 2147483641, 6, "", false},
    {"\"C:\\V.exe\"22", 22, 16, 6, "", false},
    {"\"C:\\V.exe\"22 18", 22, 18, 6, "", false},
    {"\"C:\\V.exe 22 16", 22, 16, 6, "", false},
    {"\"", 22, 16, 6, "", false},
    {"Vantoriel\t30", 22, 16, 6, "", false},
    {" 30", 30, 24, 6, "", false},
    {"Vantoriel 0", Default, Default, Default, "", true},
    {"Vantoriel -5", Default, Default, Default, "", true},
    {"Vantoriel abc", Default, Default, Default, "", true},
    {"Vantoriel 2147483648", Default, Default, Default, "", true},
    {"Vantoriel 4294967295", Default, Default, Default, "", true},
    {"Vantoriel 4294967296", Default, Default, Default, "", true},
    {"Vantoriel 99999999999", Default, Default, Default, "", true},
    {"Vantoriel 22x", Default, Default, Default, "", true},
    {"Vantoriel 22,16", Default, Default, Default, "", true},
    {"Vantoriel 22\t16", Default, Default, Default, "", true},
    {"Vantoriel 22 abc", Default, Default, Default, "", true},
    {"Vantoriel 22 16 x", Default, Default, Default, "", true},
    {"Vantoriel 22 16 6x", Default, Default, Default, "", true},
    {"Vantoriel 22 4294967296", Default, Default, Default, "", true},
    {"Vantoriel 22 16 4294967296 Arial", Default, Default, Default, "", true},
    {" Vantoriel", Default, Default, Default, "", true},
    {"\"C:\\V.exe\"x", Default, Default, Default, "", true},
};

class ReadCommandLineTest : public HostTest {};

TEST_F(ReadCommandLineTest, RulesOfTheCommandLine)
{
    for (const CommandLineCase &c : Cases) {
        ResetProgram();
        Settings.CtrlSize = Settings.FontSize = Settings.GapSize = 12345; // stale values from nowhere
        Text line = T(c.commandLine);
        fake::SetCommandLine(line.c_str());
        const TCHAR *commandLine = fake::world.commandLine.data();

        ReadCommandLine();

        INT32 ctrl = c.ctrl == Default ? 22 : c.ctrl;
        INT32 font = c.font == Default ? 16 : c.font;
        INT32 gap = c.gap == Default ? 6 : c.gap;
        EXPECT_EQ(Settings.CtrlSize, ctrl) << "command line [" << c.commandLine << "]";
        EXPECT_EQ(Settings.FontSize, font) << "command line [" << c.commandLine << "]";
        EXPECT_EQ(Settings.GapSize, gap) << "command line [" << c.commandLine << "]";
        ASSERT_NE(Settings.FontName, nullptr) << "command line [" << c.commandLine << "]";
        EXPECT_EQ(Show(Settings.FontName), Show(T(c.fontName))) << "command line [" << c.commandLine << "]";
        if (*c.fontName != 0) {
            // The name is a position inside the command line, never a copy.
            size_t length = line.size();
            EXPECT_GE(Settings.FontName, commandLine) << c.commandLine;
            EXPECT_LT(Settings.FontName, commandLine + length) << c.commandLine;
        }
        EXPECT_EQ(fake::world.messageBoxes.size(), c.usage ? 1u : 0u) << "command line [" << c.commandLine << "]";
        EXPECT_EQ(fake::CallsNamed("GetCommandLine").size(), 1u) << c.commandLine;
    }
}

#ifdef UNICODE
const char16_t ExpectedUsage[] =
    u"Vantoriel64  ver.20111127\n\nusage:\n  Vantoriel64 [CtrlSize [FontSize [GapSize [FontName]]]]\n\n"
    u"command line examples:\n  Vantoriel64\n  Vantoriel64 22\n  Vantoriel64 22 16\n  Vantoriel64 22 16 6\n"
    u"  Vantoriel64 22 16 6 MS Gothic\n  Vantoriel64 22 16 6 \xFF2D\xFF33 \x30B4\x30B7\x30C3\x30AF";
#else
const char ExpectedUsage[] =
    "Vantoriel32  ver.20111127\n\nusage:\n  Vantoriel32 [CtrlSize [FontSize [GapSize [FontName]]]]\n\n"
    "command line examples:\n  Vantoriel32\n  Vantoriel32 22\n  Vantoriel32 22 16\n  Vantoriel32 22 16 6\n"
    "  Vantoriel32 22 16 6 MS Gothic\n  Vantoriel32 22 16 6 \x82\x6C\x82\x72\x20\x83\x53\x83\x56\x83\x62\x83\x4E";
#endif

TEST_F(ReadCommandLineTest, UsageMessageBoxTextOwnerCaptionAndType)
{
    fake::SetCommandLine(T("Vantoriel 22 16 x").c_str());
    ReadCommandLine();

    ASSERT_EQ(fake::world.messageBoxes.size(), 1u);
    const fake::MessageBoxCall &box = fake::world.messageBoxes[0];
    EXPECT_EQ(box.owner, nullptr);
    EXPECT_TRUE(box.captionIsNull);
    EXPECT_EQ(box.type, 0u);
    Text expected(ExpectedUsage);
    EXPECT_EQ(box.text.size(), expected.size());
    EXPECT_EQ(Show(box.text), Show(expected));
    EXPECT_EQ(box.text, expected); // byte for byte, not only as shown
    EXPECT_EQ(box.text.size(), sizeof(ExpectedUsage) / sizeof(TCHAR) - 1);
    // The font name at the end: 7 units in UTF-16, 13 bytes in code page 932.
    EXPECT_EQ(box.text.substr(box.text.rfind(T("6 ")) + 2).size(), sizeof(TCHAR) == 2 ? 7u : 13u);
}

} // namespace
