// The companion's own logic: the address on a line of a scanner's output,
// the findings, the score, the command line and what it prints.
#include "ctl/findings.h"
#include "ctl/output.h"
#include "ctl/request.h"
#include "ctl/score.h"
#include "ctl/sheet.h"
#include "ctl_standin.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using Wide = std::u16string;

Wide W(const std::string &ascii) { return Wide(ascii.begin(), ascii.end()); }

class CtlTest : public ::testing::Test {
protected:
    void SetUp() override { ctlfake::Reset(); }
    void TearDown() override { Flush(); }
    // What was printed, once written out.
    std::string Printed()
    {
        Flush();
        return ctlfake::Out;
    }
};

// ---------------------------------------------------------------- one line

struct LineCase {
    const char *line;
    UINT32 result; // LineAddress
    UINT64 address;
};

// The program's image as a process has it, loaded at a base of its own.
const Module Image = {"Vantoriel64.exe", 0x7ff612340000, 0x20000};
const UINT32 No = NoAddress, Yes = AddressFound, Other = OtherModule, Beyond = BeyondModule;

// Written from the rule the README states: the leftmost candidate (NAME+OFFSET,
// 0x number, WinDbg's form, five or more hexadecimal digits, each a whole
// word), a bracketed decimal index skipped when another candidate follows.
const LineCase LineCases[] = {
    // scanmem's list: a bracketed index, then the address.
    {"[ 0]     7f0012340080,  1 +       3a0080,  heap, 1592594996, [I32 ]", Yes, 0x7f0012340080},
    {"[10080] 7f0012340080,  1 +       3a0080,  heap, 1592594996, [I32 ]", Yes, 0x7f0012340080},
    {"[123456]   1dc00c0, 21 +       1dc00c0,  misc, 7, [I32 ]", Yes, 0x1dc00c0},
    {"[ 10080 ] 0X7F0012340080", Yes, 0x7f0012340080},
    // An index with nothing after it is the address; so is the last of two.
    {"[10080]", Yes, 0x10080},
    {"[10080] [20000]", Yes, 0x20000},
    // Leftmost wins: an "address: value" list of a 32-bit tool, an address
    // before its value, a decimal before a colon.
    {"00300000: 1592594996", Yes, 0x300000},
    {"7f0012340080 value 0x5EED1234", Yes, 0x7f0012340080},
    {"10080: 7f0012340080", Yes, 0x10080},
    {"1592594996 at 0x1dc00c0", Yes, 0x1592594996},
    {"0000000001DC00C0  1592594996  34 12 ED 5E", Yes, 0x1dc00c0},
    {"address 7f0012340080 value 4242", Yes, 0x7f0012340080},
    {"\t1dc00c0\t", Yes, 0x1dc00c0},
    {"[7f0012340080]", Yes, 0x7f0012340080},
    // 0x numbers of any length, 64 bits at most.
    {"0x10", Yes, 0x10},
    {"0x00000000000000001dc00c0", Yes, 0x1dc00c0},
    {"0x 7f0012340080", Yes, 0x7f0012340080},
    {"0x", No, 0},
    {"0xg123456", No, 0},
    {"0x12345678901234567", No, 0},
    {"12345678901234567", No, 0},
    // gdb's find and YARA's -s.
    {"0x555555558010 <buf+16>", Yes, 0x555555558010},
    {"0x1dc00c0:$a: 34 12 ED 5E", Yes, 0x1dc00c0},
    // WinDbg: the two halves are one address, a whole word.
    {"00000000`01dc00c0  5eed1234 00000000", Yes, 0x1dc00c0},
    {"00007ff6`12340080", Yes, 0x7ff612340080},
    {"0x00007ff6`12340080", Yes, 0x7ff612340080},
    {"00000000`01dc00c0x", No, 0},
    {"00000000`01dc00c", No, 0},
    // Words that are not numbers.
    {"abcd 1234 ffff", No, 0},
    {"info: we currently have 54 matches.", No, 0},
    {"x7f0012340080 7f00123400z0", No, 0},
    {"\xC3\xA4" "12345", No, 0},
    // Relative to the program's module, resolved against its real base, inside the image.
    {"Vantoriel64.exe+3010", Yes, 0x7ff612343010},
    {"vantoriel64.EXE+0x3010 holds 1592594996", Yes, 0x7ff612343010},
    {"Vantoriel64+13010", Yes, 0x7ff612353010},
    {"\"Vantoriel64.exe\"+3010", Yes, 0x7ff612343010},
    {"C:\\x\\Vantoriel64.exe+10", Yes, 0x7ff612340010},
    {"\"C:\\x\\Vantoriel64.exe\"+10", Yes, 0x7ff612340010},
    {"[10080] Vantoriel64.exe+3010", Yes, 0x7ff612343010},
    {"[3] 7f0012340080 Vantoriel64.exe+3010", Yes, 0x7f0012340080},
    {"Vantoriel64.exe+1FFFF", Yes, 0x7ff61235FFFF},
    {"Vantoriel64.exe+20000", Beyond, 0},
    {"Vantoriel64.exe+FFFFFFFF", Beyond, 0},
    {"Vantoriel64.exe+FFFFFFFFFFF00000", Beyond, 0},
    // Another module's: no address of the program's.
    {"kernel32.dll+1A2B0 7f0012340080", Other, 0},
    {"kernel32+1A2B0", Other, 0},
    {"total+123456", Other, 0},
    {"\"other game.exe\"+3010", Other, 0},
    // A colon only as a drive's: the leftmost word is the address.
    {"0x1dc00c0:Vantoriel64.exe+10", Yes, 0x1dc00c0},
    {"1dc00c0:Vantoriel64.exe+10", Yes, 0x1dc00c0},
    {"D:/Vantoriel64.exe+10", Yes, 0x7ff612340010},
    {"xD:\\Vantoriel64.exe+10", Yes, 0x7ff612340010},
    // Arithmetic and stray pluses are no module; a quoted name is one, whatever it is.
    {"\"12345\"+10", Other, 0},
    {"1dc00c0+4", Yes, 0x1dc00c0},
    {"[ 0] 7f0012340080,  1 +       3a0080", Yes, 0x7f0012340080},
    {"Vantoriel64.exe+ 3010", No, 0},
    {"Vantoriel64.exe+30g0", No, 0},
    {"abc\"+3010", No, 0},
};

TEST(CtlFindings, AddressOfLine)
{
    for (const LineCase &c : LineCases) {
        std::string line = c.line;
        UINT64 address = 0;
        UINT32 result = AddressOfLine(line.data(), line.data() + line.size(), &Image, &address);
        EXPECT_EQ(result, c.result) << c.line;
        if (c.result == Yes) {
            EXPECT_EQ(address, c.address) << c.line;
        }
    }
}

TEST(CtlFindings, FieldOfLine)
{
    const struct {
        const char *line;
        UINT32 field;
        const char *text; // null: no such field
    } cases[] = {
        {"  1592594996 at 0x1dc00c0", 3, "0x1dc00c0"},
        {"a,b", 2, "b"},
        {"a , b", 2, "b"},
        {"a,,b", 2, ""},
        {"a,,b", 3, "b"},
        {"a\t\tb", 2, "b"},
        {"a,", 2, ""},
        {"a  ", 2, nullptr},
        {"static,,\"\"\"Vantoriel64 (1).exe\"\"+3010\",7", 3, "\"Vantoriel64 (1).exe\"+3010"},
        {"\"a, b\" c", 1, "a, b"},
        {"\"a, b\" c", 2, "c"},
        {"", 1, ""},
        {"x", 2, nullptr},
    };
    for (const auto &c : cases) {
        std::string line = c.line;
        char *end = nullptr;
        char *field = FieldOfLine(&line[0], &line[0] + line.size(), c.field, &end);
        if (!c.text) {
            EXPECT_EQ(field, nullptr) << c.line << " field " << c.field;
            continue;
        }
        ASSERT_NE(field, nullptr) << c.line << " field " << c.field;
        EXPECT_EQ(std::string(field, end), c.text) << c.line << " field " << c.field;
    }
}

// ---------------------------------------------------------------- whole findings

struct FindingsCase {
    const char *name;
    std::string text;
    UINT32 field;
    std::vector<UINT64> addresses;
    SIZE_T lines, withoutAddress;
    std::vector<std::pair<SIZE_T, std::string>> unread; // the first of the lines without an address
};

std::string Utf16(const std::string &ascii, bool bigEndian)
{
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char c : ascii) {
        bytes += bigEndian ? '\0' : c;
        bytes += bigEndian ? c : '\0';
    }
    return bytes;
}

// UTF-16 LE of text given as its units.
std::string Utf16Units(const std::u16string &units)
{
    std::string bytes = "\xFF\xFE";
    for (char16_t u : units) bytes += (char)(u & 0xFF), bytes += (char)(u >> 8);
    return bytes;
}

const std::string Three = "[ 0] 7f0012340080\n[ 1] 1dc00c0\nnothing here\n";
const std::vector<std::pair<SIZE_T, std::string>> ThirdUnread = {{3, "nothing here"}};

TEST(CtlFindings, ReadFindings)
{
    std::string many;
    for (int k = 1; k <= 10; ++k) many += "no " + std::to_string(k) + "\n";
    const FindingsCase cases[] = {
        {"LF", Three, 0, {0x1dc00c0, 0x7f0012340080}, 2, 1, ThirdUnread},
        {"CR LF", "[ 0] 7f0012340080\r\n[ 1] 1dc00c0\r\nnothing here\r\n", 0, {0x1dc00c0, 0x7f0012340080}, 2, 1, ThirdUnread},
        {"CR only", "[ 0] 7f0012340080\r[ 1] 1dc00c0\rnothing here", 0, {0x1dc00c0, 0x7f0012340080}, 2, 1, ThirdUnread},
        {"UTF-8 mark", "\xEF\xBB\xBF" + Three, 0, {0x1dc00c0, 0x7f0012340080}, 2, 1, ThirdUnread},
        {"UTF-16 LE", Utf16(Three, false), 0, {0x1dc00c0, 0x7f0012340080}, 2, 1, ThirdUnread},
        {"UTF-16 BE", Utf16(Three, true), 0, {0x1dc00c0, 0x7f0012340080}, 2, 1, ThirdUnread},
        {"UTF-16 other characters", Utf16Units(u"\u00e4 1dc00c0\n\u20ac\n"), 0, {0x1dc00c0}, 1, 1, {{2, "\xE2\x82\xAC"}}},
        {"UTF-16 module name that is not ASCII", Utf16Units(u"\"V\u00e4ntoriel.exe\"+10\n"), 0, {0x7ff612340010}, 1, 0, {}},
        {"duplicates once, rising", "300000\n100000\n300000\n200000\n100000\n", 0, {0x100000, 0x200000, 0x300000}, 5, 0, {}},
        {"blank lines count for nothing", "\n \t\n\r\n100000\n\n", 0, {0x100000}, 1, 0, {}},
        {"comments count for nothing", "# scanmem list\n  # more\n100000\n#100000\n", 0, {0x100000}, 1, 0, {}},
        {"unread lines by number, blank ones counted", "\ntotal: 55 matches\n100000\r\n\r\nkernel32.dll+1A2B0\n", 0,
         {0x100000}, 1, 2, {{2, "total: 55 matches"}, {5, "kernel32.dll+1A2B0"}}},
        {"the first eight unread lines kept", many, 0, {}, 0, 10,
         {{1, "no 1"}, {2, "no 2"}, {3, "no 3"}, {4, "no 4"}, {5, "no 5"}, {6, "no 6"}, {7, "no 7"}, {8, "no 8"}}},
        {"an unread line cut, controls shown as ?", std::string(200, 'z') + "\n\x01x\xFFy\n", 0, {}, 0, 2,
         {{1, std::string(120, 'z') + "..."}, {2, "?x?y"}}},
        {"a field alone", "1592594996 at 0x1dc00c0\n7 at 100000\nshort\n", 3, {0x100000, 0x1dc00c0}, 2, 1, {{3, "short"}}},
        {"a quoted CSV field, kept as written among the unread", "static,\"\"\"x y.exe\"\"+10\"\n", 2, {}, 0, 1,
         {{1, "static,\"\"\"x y.exe\"\"+10\""}}},
        {"nothing", "", 0, {}, 0, 0, {}},
    };
    const Module umlaut = {"V\xC3\xA4ntoriel.exe", 0x7ff612340000, 0x20000};
    for (const FindingsCase &c : cases) {
        std::string text = c.text;
        Findings f;
        const Module *module = std::string(c.name).find("not ASCII") != std::string::npos ? &umlaut : &Image;
        ASSERT_EQ(ReadFindings((unsigned char *)text.data(), text.size(), module, c.field, &f), (UINT32)FindingsRead) << c.name;
        EXPECT_EQ(std::vector<UINT64>(f.addresses, f.addresses + f.count), c.addresses) << c.name;
        EXPECT_EQ(f.lines, c.lines) << c.name;
        EXPECT_EQ(f.withoutAddress, c.withoutAddress) << c.name;
        std::vector<std::pair<SIZE_T, std::string>> unread;
        for (SIZE_T k = 0; k < f.withoutAddress && k < UnreadShown; ++k) unread.push_back({f.unread[k].number, f.unread[k].text});
        EXPECT_EQ(unread, c.unread) << c.name;
        FreeFindings(&f);
    }
    EXPECT_EQ(ctlfake::LiveBlocks, 0);
}

TEST(CtlFindings, ManyAddressesKeptWhole)
{
    // More than any fixed table would hold, in falling order, each twice.
    std::string text;
    const UINT64 count = 300000;
    for (int pass = 0; pass < 2; ++pass)
        for (UINT64 k = count; k > 0; --k) text += "[" + std::to_string(k) + "] " + std::to_string(0x7f0000000000 + 16 * k) + "\n";
    Findings f;
    ASSERT_EQ(ReadFindings((unsigned char *)text.data(), text.size(), &Image, 0, &f), (UINT32)FindingsRead);
    EXPECT_EQ(f.lines, 2 * count);
    ASSERT_EQ(f.count, count);
    bool rising = true;
    for (SIZE_T k = 1; k < f.count; ++k) rising = rising && f.addresses[k - 1] < f.addresses[k];
    EXPECT_TRUE(rising);
    FreeFindings(&f);
}

TEST(CtlFindings, RefusedNotCut)
{
    std::string text = Three;
    Findings f;
    ctlfake::GrowsLeft = 0;
    EXPECT_EQ(ReadFindings((unsigned char *)text.data(), text.size(), &Image, 0, &f), (UINT32)FindingsNoMemory);
    EXPECT_EQ(f.addresses, nullptr);
    ctlfake::GrowsLeft = -1;
    // Refused before a byte is read.
    EXPECT_EQ(ReadFindings((unsigned char *)text.data(), FindingsLimit + 1, &Image, 0, &f), (UINT32)FindingsTooLarge);
    // UTF-16 cut short by a byte: refused, not read without it.
    std::string odd = Utf16("100000\n1", false);
    odd.pop_back();
    EXPECT_EQ(ReadFindings((unsigned char *)odd.data(), odd.size(), &Image, 0, &f), (UINT32)FindingsOddUtf16);
    EXPECT_EQ(ctlfake::LiveBlocks, 0);
}

// ---------------------------------------------------------------- the score

// Two mapped, one static, two heap targets; memory holds 7 but in the last.
const Target Targets[] = {
    {KindMapped, 32, 0x200000, 7, 7, TRUE},  {KindMapped, 33, 0x300000, 7, 7, TRUE},
    {KindStatic, 0, 0x403010, 7, 7, TRUE},   {KindHeap, 0, 0x1dc00c0, 7, 7, TRUE},
    {KindHeap, 3, 0x1dc1000, 7, 9, TRUE},
};
const UINT32 TargetCount = sizeof Targets / sizeof Targets[0];

struct ScoreCase {
    const char *name;
    const char *findings;
    bool haveValue, exact;
    UINT32 value, format, exitCode;
    std::vector<std::string> printed; // each somewhere in standard output
    const char *error;                // the error line, or none
};

const ScoreCase ScoreCases[] = {
    {"all found", "200000\n300000\n403010\n1dc00c0\n1dc1000\n", false, false, 0, FormatText, ExitOk,
     {"found 5 of 5 targets\n  mapped  2 of 2\n  static  1 of 1\n  heap    2 of 2\n",
      "0 found addresses are no target\n0 lines hold no address of Vantoriel's\n"}, nullptr},
    {"one missed", "200000\n403010\n1dc00c0\n1dc1000\n", false, false, 0, FormatText, ExitMissed,
     {"found 4 of 5 targets", "missed 00300000 mapped slot 33\n"}, nullptr},
    {"with a value, the target that holds another is not expected",
     "200000\n300000\n403010\n1dc00c0\n", true, false, 7, FormatText, ExitOk, {"found 4 of 4 targets holding 7\n"}, nullptr},
    {"a target found that does not hold the value is shown apart",
     "200000\n300000\n403010\n1dc00c0\n1dc1000\n", true, false, 7, FormatText, ExitOk,
     {"found 4 of 4 targets holding 7\n", "1 found address is a target that does not hold 7: 01DC1000\n",
      "0 found addresses are no target\n"}, nullptr},
    {"addresses that are no target, and lines without one",
     "200000\n300000\n403010\n1dc00c0\n1dc1000\n999990\n999990\n111110\nnot a number\n", false, false, 0, FormatText, ExitOk,
     {"2 found addresses are no target: 00111110 00999990\n",
      "1 line holds no address of Vantoriel's:\n  line 9: not a number\n"}, nullptr},
    {"JSON", "200000\n403010\n1dc1000\n999990\nnothing\n", true, false, 7, FormatJson, ExitMissed,
     {"{\"value\":7,\"expected\":4,\"found\":2,\"mapped\":{\"expected\":2,\"found\":1},"
      "\"static\":{\"expected\":1,\"found\":1},\"heap\":{\"expected\":1,\"found\":0},"
      "\"missed\":[\"00300000\",\"01DC00C0\"],\"not_holding\":[\"01DC1000\"],\"not_targets\":[\"00999990\"],"
      "\"lines\":4,\"lines_without_address\":1,\"unread_lines\":[{\"line\":5,\"text\":\"nothing\"}]}\n"}, nullptr},
    {"CSV", "200000\n1dc1000\n999990\n", true, false, 7, FormatCsv, ExitMissed,
     {"result,kind,slot,name,size,address,type\nfound,mapped,32,,,00200000,u32\nmissed,mapped,33,,,00300000,u32\n"
      "missed,static,,StaticWordA,,00403010,u32\nmissed,heap,,process,4,01DC00C0,u32\n"
      "not-holding,heap,,process,4100,01DC1000,u32\nnot-target,,,,,00999990,\n"}, nullptr},
    {"exact: only expected targets", "200000\n300000\n403010\n1dc00c0\n", true, true, 7, FormatText, ExitOk,
     {"found 4 of 4 targets holding 7\n", "exact: nothing was found but expected targets\n"}, nullptr},
    {"exact: an address that is no target fails, named", "200000\n300000\n403010\n1dc00c0\n999990\n", true, true, 7,
     FormatText, ExitMissed, {"1 found address is no target: 00999990\n", "not exact"}, nullptr},
    {"exact: a target that does not hold the value fails, named", "200000\n300000\n403010\n1dc00c0\n1dc1000\n", true,
     true, 7, FormatJson, ExitMissed, {"\"not_holding\":[\"01DC1000\"],\"not_targets\":[],\"exact\":false"}, nullptr},
    {"exact without a value: every target expected", "200000\n300000\n403010\n1dc00c0\n1dc1000\n", false, true, 0,
     FormatJson, ExitOk, {"\"exact\":true"}, nullptr},
    {"exact: a line without an address fails, named", "200000\n300000\n403010\n1dc00c0\ntotal: 55 matches\n", true,
     true, 7, FormatText, ExitMissed,
     {"1 line holds no address of Vantoriel's:\n  line 5: total: 55 matches\n", "not exact: "}, nullptr},
    {"exact: another module's address fails, named in JSON", "200000\n300000\n403010\n1dc00c0\n\"k 2.dll\"+1A2B0\n",
     true, true, 7, FormatJson, ExitMissed,
     {"\"exact\":false,", "\"lines_without_address\":1,\"unread_lines\":[{\"line\":5,\"text\":\"\\\"k 2.dll\\\"+1A2B0\"}]}"},
     nullptr},
    {"the ninth unread line and later only counted", "200000\nA\nB\nC\nD\nE\nF\nG\nH\nI\nJ\n", false, false, 0,
     FormatText, ExitMissed, {"  line 9: H\n  ... and 2 more\n"}, nullptr},
    {"no target holds the value", "200000\n", true, false, 999, FormatText, ExitError, {}, "no target holds 999"},
    {"no address at all", "nothing\nhere\n", false, false, 0, FormatJson, ExitError, {}, "no address in the findings"},
};

TEST_F(CtlTest, Score)
{
    for (const ScoreCase &c : ScoreCases) {
        ctlfake::Reset();
        std::string text = c.findings;
        Findings f;
        ASSERT_EQ(ReadFindings((unsigned char *)text.data(), text.size(), &Image, 0, &f), (UINT32)FindingsRead);
        EXPECT_EQ(ScoreFindings(Targets, TargetCount, &f, c.haveValue, c.value, c.exact, 8, c.format, nullptr), c.exitCode)
            << c.name;
        std::string out = Printed();
        for (const std::string &piece : c.printed) EXPECT_NE(out.find(piece), std::string::npos) << c.name << ":\n" << out;
        if (c.error) {
            EXPECT_EQ(out, "") << c.name;
            EXPECT_EQ(ctlfake::Err, std::string("vantoriel-ctl: ") + c.error + (c.exitCode == ExitError && c.format == FormatJson ? " from standard input\n" : "\n")) << c.name;
        } else {
            EXPECT_EQ(ctlfake::Err, "") << c.name;
        }
        FreeFindings(&f);
    }
}

// Whether memory that cannot be read holds V is unknown: with --value, the
// score cannot be complete.
TEST_F(CtlTest, UnreadableTargets)
{
    Target targets[TargetCount];
    std::copy(Targets, Targets + TargetCount, targets);
    targets[1].readable = FALSE;
    const struct {
        bool haveValue, exact;
        UINT32 exitCode;
        const char *error;
    } cases[] = {
        {true, false, ExitError, "cannot score against 7: 1 target cannot be read: 00300000"},
        {true, true, ExitError, "cannot score against 7: 1 target cannot be read: 00300000"},
        {false, true, ExitOk, nullptr}, // every target is expected, readable or not
    };
    for (const auto &c : cases) {
        ctlfake::Reset();
        std::string text = "200000\n300000\n403010\n1dc00c0\n1dc1000\n";
        Findings f;
        ASSERT_EQ(ReadFindings((unsigned char *)text.data(), text.size(), &Image, 0, &f), (UINT32)FindingsRead);
        EXPECT_EQ(ScoreFindings(targets, TargetCount, &f, c.haveValue, 7, c.exact, 8, FormatText, nullptr), c.exitCode);
        EXPECT_EQ(ctlfake::Err, c.error ? std::string("vantoriel-ctl: ") + c.error + "\n" : "");
        EXPECT_EQ(Printed().empty(), c.error != nullptr);
        FreeFindings(&f);
    }
    // None readable: the cause, not "no target holds 7".
    for (Target &t : targets) t.readable = FALSE;
    ctlfake::Reset();
    std::string text = "200000\n";
    Findings f;
    ASSERT_EQ(ReadFindings((unsigned char *)text.data(), text.size(), &Image, 0, &f), (UINT32)FindingsRead);
    EXPECT_EQ(ScoreFindings(targets, TargetCount, &f, TRUE, 7, FALSE, 8, FormatJson, nullptr), (UINT32)ExitError);
    EXPECT_EQ(ctlfake::Err, "vantoriel-ctl: cannot score against 7: 5 targets cannot be read: 00200000 00300000 00403010 "
                            "01DC00C0 01DC1000\n");
    EXPECT_EQ(Printed(), "");
    FreeFindings(&f);
}

// ---------------------------------------------------------------- what start prints

const Module Image32 = {"Vantoriel32.exe", 0x400000, 0x8000};

TEST_F(CtlTest, StartPrintsOneDocumentPerFormat)
{
    WriteTargets(Targets, 2, 16, &Image, FormatJson, 4242, "Vantoriel64");
    EXPECT_EQ(Printed(),
              "{\"kind\":\"process\",\"pid\":4242,\"program\":\"Vantoriel64\"}\n"
              "{\"kind\":\"mapped\",\"slot\":32,\"address\":\"0000000000200000\",\"value\":7,\"memory\":7,"
              "\"type\":\"u32\",\"bytes\":4}\n"
              "{\"kind\":\"mapped\",\"slot\":33,\"address\":\"0000000000300000\",\"value\":7,\"memory\":7,"
              "\"type\":\"u32\",\"bytes\":4}\n");
    ctlfake::Reset();
    WriteTargets(Targets + 3, 2, 8, &Image32, FormatCsv, 4242, "Vantoriel32");
    EXPECT_EQ(Printed(), "pid,kind,slot,name,size,address,module,value,memory,type,protect,region,bytes\n"
                         "4242,heap,,process,4,01DC00C0,,7,7,u32,,,4\n4242,heap,,process,4100,01DC1000,,7,9,u32,,,4\n");
    ctlfake::Reset();
    WriteTargets(Targets + 2, 1, 8, &Image32, FormatCsv, 0, "");
    EXPECT_EQ(Printed(), "kind,slot,name,size,address,module,value,memory,type,protect,region,bytes\n"
                         "static,,StaticWordA,,00403010,Vantoriel32.exe+3010,7,7,u32,,,4\n");
}

// UTF-8 as UTF-16 units (no characters beyond the first plane here).
Wide FromUtf8(const std::string &text)
{
    Wide wide;
    for (size_t k = 0; k < text.size();) {
        unsigned char c = (unsigned char)text[k];
        size_t n = c < 0x80 ? 1 : c < 0xE0 ? 2 : 3;
        UINT32 unit = n == 1 ? c : n == 2 ? c & 0x1F : c & 0x0F;
        for (size_t j = 1; j < n; ++j) unit = unit << 6 | ((unsigned char)text[k + j] & 0x3F);
        wide += (char16_t)unit;
        k += n;
    }
    return wide;
}

// The cells of one CSV row, as RFC 4180 reads them.
std::vector<std::string> CsvCells(const std::string &row)
{
    std::vector<std::string> cells(1);
    bool quoted = false;
    for (size_t k = 0; k < row.size(); ++k) {
        char c = row[k];
        if (quoted && c == '"' && k + 1 < row.size() && row[k + 1] == '"') cells.back() += '"', ++k;
        else if (c == '"') quoted = !quoted;
        else if (c == ',' && !quoted) cells.emplace_back();
        else cells.back() += c;
    }
    return cells;
}

// A static target's module cell, under any file name and in every format,
// reads back as that target: given to set, and as a line of findings.
TEST_F(CtlTest, ModuleCellReadsBack)
{
    const char *names[] = {"Vantoriel64.exe", "Vantoriel32 (1).exe", "a,b.exe", "V\xC3\xA4ntoriel.exe", "x y",
                           "it's.exe", "ABCDE", "0x10", "12345"};
    const Target target = Targets[2]; // static, at 0x403010
    for (const char *name : names) {
        const Module module = {name, 0x400000, 0x8000};
        std::vector<std::string> cells;
        ctlfake::Reset();
        WriteTargets(&target, 1, 8, &module, FormatJson, 0, "");
        std::string json = Printed();
        size_t at = json.find("\"module\":\"");
        ASSERT_NE(at, std::string::npos) << name;
        std::string cell;
        for (at += 10; json[at] != '"'; ++at) cell += json[at] == '\\' ? json[++at] : json[at];
        cells.push_back(cell);
        ctlfake::Reset();
        WriteTargets(&target, 1, 8, &module, FormatCsv, 0, "");
        std::string csv = Printed();
        std::string row = csv.substr(csv.find('\n') + 1);
        row.pop_back();
        std::vector<std::string> csvCells = CsvCells(row);
        ASSERT_EQ(csvCells.size(), 12u) << row;
        cells.push_back(csvCells[5]);
        ctlfake::Reset();
        WriteTargets(&target, 1, 8, &module, FormatText, 0, "");
        EXPECT_NE(Printed().find(" " + cells[0] + " "), std::string::npos) << name;
        for (const std::string &c : cells) {
            EXPECT_EQ(c, cells[0]) << name;
            ctlfake::Reset();
            Wide wide = FromUtf8(c);
            const WCHAR *addresses[] = {wide.c_str()};
            BOOL chosen[1] = {FALSE};
            EXPECT_EQ(ChooseTargets(&target, 1, 0, addresses, 1, &module, chosen), (UINT32)ExitOk) << c << ctlfake::Err;
            EXPECT_TRUE(chosen[0]) << c;
        }
        // The CSV row as it is, its module field given.
        Findings f;
        ASSERT_EQ(ReadFindings((unsigned char *)&row[0], row.size(), &module, 6, &f), (UINT32)FindingsRead);
        EXPECT_EQ(std::vector<UINT64>(f.addresses, f.addresses + f.count), std::vector<UINT64>{0x403010}) << row;
        FreeFindings(&f);
    }
}

// ---------------------------------------------------------------- set's targets

struct ChooseCase {
    UINT32 kinds;
    std::vector<Wide> addresses;
    std::vector<UINT32> chosen; // the targets' places, or
    const char *error;          // the error line's text after "vantoriel-ctl: "
};

TEST_F(CtlTest, ChooseTargets)
{
    const ChooseCase cases[] = {
        {1u << KindHeap, {}, {3, 4}, nullptr},
        {1u << KindStatic, {u"0x300000", u"[ 7]  1dc00c0, 1 + 1dc00c0, heap, 7, [I32 ]"}, {1, 2, 3}, nullptr},
        {0, {u"Vantoriel32.exe+3010", u"VANTORIEL32+3010"}, {2}, nullptr},
        {0, {u"0x12345"}, {}, "0x12345 is no target's address; nothing was written"},
        {1u << KindMapped, {u"200000", u"zz"}, {}, "zz holds no address; nothing was written"},
        {0, {u"0x"}, {}, "0x holds no address; nothing was written"},
        {0, {u"kernel32.dll+403010"}, {}, "kernel32.dll+403010 is an address in another module; nothing was written"},
        {0, {u"Vantoriel32.exe+FFFFFFFFFFF00000"}, {},
         "Vantoriel32.exe+FFFFFFFFFFF00000 lies beyond the end of Vantoriel32.exe, whose image is 0x8000 bytes; nothing was written"},
        {0, {u"Vantoriel32.exe+8000"}, {}, "Vantoriel32.exe+8000 lies beyond the end of Vantoriel32.exe, whose image is 0x8000 bytes; nothing was written"},
    };
    for (const ChooseCase &c : cases) {
        ctlfake::Reset();
        std::vector<const WCHAR *> addresses;
        for (const Wide &a : c.addresses) addresses.push_back(a.c_str());
        BOOL chosen[TargetCount];
        UINT32 result = ChooseTargets(Targets, TargetCount, c.kinds, addresses.data(), (UINT32)addresses.size(), &Image32, chosen);
        std::string what = c.addresses.empty() ? "kinds only" : std::string(c.addresses.back().begin(), c.addresses.back().end());
        if (c.error) {
            EXPECT_EQ(result, (UINT32)ExitError) << what;
            EXPECT_EQ(ctlfake::Err, std::string("vantoriel-ctl: ") + c.error + "\n") << what;
            continue;
        }
        EXPECT_EQ(result, (UINT32)ExitOk) << what;
        std::vector<UINT32> places;
        for (UINT32 k = 0; k < TargetCount; ++k)
            if (chosen[k]) places.push_back(k);
        EXPECT_EQ(places, c.chosen) << what;
    }
}

// ---------------------------------------------------------------- the command line

struct RequestCase {
    std::vector<const char *> args;
    const char *error; // the error line's text after "vantoriel-ctl: ", or null
};

const RequestCase RequestCases[] = {
    {{"table", "--pid", "0x"}, "--pid takes a process id, not 0x"},
    {{"score", "--value", "0x"}, "--value takes an unsigned 32-bit number, not 0x"},
    {{"score", "--value", "4294967296"}, "--value takes an unsigned 32-bit number, not 4294967296"},
    {{"score", "--value", " 5"}, "--value takes an unsigned 32-bit number, not  5"},
    {{"score", "--value", "5 "}, "--value takes an unsigned 32-bit number, not 5 "},
    {{"score", "--value", "0x1G"}, "--value takes an unsigned 32-bit number, not 0x1G"},
    {{"table", "--timeout", "0"}, "--timeout takes a number of seconds from 1 to 86400, not 0"},
    {{"frobnicate"}, "unknown verb frobnicate (see vantoriel-ctl --help)"},
    {{"table", "--bogus"}, "unknown option --bogus (see vantoriel-ctl --help)"},
    {{"read", "--low"}, "option --low needs a value"},
    {{"table", "--json", "--json"}, "option --json given twice"},
    {{"table", "--value", "5"}, "option --value does not go with table"},
    {{"table", "--json", "--csv"}, "choose one of --json and --csv"},
    {{"table", "--", "x"}, "arguments after -- go only with start"},
    {{"score", "a.txt", "b.txt"}, "unexpected argument b.txt"},
    {{}, "no verb given (see vantoriel-ctl --help)"},
    {{"set", "--value", "5", "--add", "1", "--kind", "heap"}, "set takes one of --value and --add"},
    {{"set", "--value", "5"}, "set needs --kind, --case or an address of a target"},
    {{"set", "--value", "5", "--kind", "stack"}, "--kind takes mapped, static, heap or planted, not stack"},
    {{"set", "--add", "-", "--kind", "heap"}, "--add takes a 32-bit number, perhaps with a plus or a minus, not -"},
    {{"set", "--add", "--1", "--kind", "heap"}, "--add takes a 32-bit number, perhaps with a plus or a minus, not --1"},
    {{"set", "--add", "+-1", "--kind", "heap"}, "--add takes a 32-bit number, perhaps with a plus or a minus, not +-1"},
    {{"set", "--add", "+5", "--kind", "heap"}, nullptr},
    {{"score", "--field", "0"}, "--field takes a field's number from 1 on, not 0"},
    {{"score", "--field", "x"}, "--field takes a field's number from 1 on, not x"},
    {{"table", "--field", "2"}, "option --field does not go with table"},
    {{"score", "--field", "2", "found.txt"}, nullptr},
    {{"table", "--exact"}, "option --exact does not go with table"},
    {{"set", "--kind", "heap", "--add", "-0x10", "01DC00C0", "Vantoriel64.exe+3010"}, nullptr},
    {{"score", "--value", "0XfFfFfFfF", "--pid", "4000000000", "--timeout", "86400", "--exact"}, nullptr},
    {{"start", "--exe", "x.exe", "--", "22", "16", "6", "Courier New"}, nullptr},
    {{"changes"}, "changes needs the file of a snapshot"},
    {{"changes", "s.jsonl", "--expect", "0x10=5", "--expect", "0x20=6:i16"}, nullptr},
    {{"snapshot", "--expect", "0x10=5"}, "option --expect does not go with snapshot"},
    {{"snapshot", "--csv"}, "option --csv does not go with snapshot"},
    {{"watch", "--for", "3601"}, "--for takes a number of seconds from 1 to 3600, not 3601"},
    {{"watch", "--every", "0"}, "--every takes a number of milliseconds from 1 to 60000, not 0"},
    {{"watch", "--for", "3600", "--every", "1", "--set", "5:i16", "0x10", "0x20"}, nullptr},
};

TEST_F(CtlTest, ReadRequest)
{
    for (const RequestCase &c : RequestCases) {
        ctlfake::Reset();
        std::vector<Wide> texts = {u"vantoriel-ctl"};
        for (const char *a : c.args) texts.push_back(W(a));
        std::vector<WCHAR *> argv;
        for (Wide &t : texts) argv.push_back(&t[0]);
        Request request;
        UINT32 result = ReadRequest((int)argv.size(), argv.data(), &request);
        std::string joined;
        for (const char *a : c.args) joined += std::string(a) + " ";
        EXPECT_EQ(result, c.error ? (UINT32)ExitError : (UINT32)ExitOk) << joined;
        EXPECT_EQ(ctlfake::Err, c.error ? std::string("vantoriel-ctl: ") + c.error + "\n" : "") << joined;
        EXPECT_EQ(ctlfake::ErrorWrites, c.error ? 1 : 0) << joined;
        EXPECT_EQ(Printed(), "") << joined;
    }
}

TEST_F(CtlTest, ReadRequestValues)
{
    Wide texts[] = {u"ctl", u"score", u"--value", u"0XfFfFfFfF", u"--pid", u"4000000000", u"found.txt"};
    WCHAR *argv[7];
    for (int k = 0; k < 7; ++k) argv[k] = &texts[k][0];
    Request request;
    ASSERT_EQ(ReadRequest(7, argv, &request), (UINT32)ExitOk);
    EXPECT_EQ(request.value, 0xFFFFFFFFu);
    EXPECT_EQ(request.pid, 4000000000u);
    EXPECT_EQ(request.seconds, 30u);
    EXPECT_EQ(Wide(request.file), u"found.txt");

    Wide set[] = {u"ctl", u"set", u"--add", u"-1", u"0x300000", u"--kind", u"static", u"Vantoriel32+3010"};
    WCHAR *setArgv[8];
    for (int k = 0; k < 8; ++k) setArgv[k] = &set[k][0];
    ASSERT_EQ(ReadRequest(8, setArgv, &request), (UINT32)ExitOk);
    EXPECT_EQ(request.add, 0xFFFFFFFFu);
    EXPECT_EQ(request.kinds, 1u << KindStatic);
    ASSERT_EQ(request.addressCount, 2u);
    EXPECT_EQ(Wide(request.addresses[1]), u"Vantoriel32+3010");

    Wide start[] = {u"ctl", u"start", u"--", u"22", u"16", u"6", u"Courier New"};
    for (int k = 0; k < 7; ++k) argv[k] = &start[k][0];
    ASSERT_EQ(ReadRequest(7, argv, &request), (UINT32)ExitOk);
    EXPECT_EQ(Wide(request.arguments), u"22 16 6 Courier New");
}

TEST_F(CtlTest, SplitCommandLine)
{
    struct Case {
        Wide line;
        std::vector<Wide> args;
    } cases[] = {
        {u"ctl.exe table", {u"ctl.exe", u"table"}},
        {u"\"C:\\a b\\ctl.exe\" score \"my found.txt\"", {u"C:\\a b\\ctl.exe", u"score", u"my found.txt"}},
        {u"ctl a\\\\\"b c\" d\\\"e f\\g", {u"ctl", u"a\\b c", u"d\"e", u"f\\g"}},
        {u"ctl \"\" \t x", {u"ctl", u"", u"x"}},
        // The C runtime's documented examples, after a program's name.
        {u"p \"a b c\" d e", {u"p", u"a b c", u"d", u"e"}},
        {u"p \"ab\\\"c\" \"\\\\\" d", {u"p", u"ab\"c", u"\\", u"d"}},
        {u"p a\\\\\\b d\"e f\"g h", {u"p", u"a\\\\\\b", u"de fg", u"h"}},
        {u"p a\\\\\\\"b c d", {u"p", u"a\\\"b", u"c", u"d"}},
        {u"p a\\\\\\\\\"b c\" d e", {u"p", u"a\\\\b c", u"d", u"e"}},
        {u"p a\"b\"\" c d", {u"p", u"ab\" c d"}},
        // The program's name: quotes group, backslashes are plain.
        {u"\"C:\\x\\\" y", {u"C:\\x\\", u"y"}},
    };
    for (const Case &c : cases) {
        int argc = 0;
        WCHAR **argv = SplitCommandLine(c.line.c_str(), &argc);
        ASSERT_NE(argv, nullptr);
        std::vector<Wide> got(argv, argv + argc);
        EXPECT_EQ(got, c.args);
    }
    // Every argument of the longest line there can be, none cut.
    Wide many = u"c";
    while (many.size() + 2 <= CommandLineUnits) many += u" x";
    int argc = 0;
    ASSERT_NE(SplitCommandLine(many.c_str(), &argc), nullptr);
    EXPECT_EQ(argc, (int)(many.size() / 2 + 1));
    many += u"yy";
    EXPECT_EQ(SplitCommandLine(many.c_str(), &argc), nullptr);
}

// ---------------------------------------------------------------- output

TEST_F(CtlTest, AnErrorLineIsWrittenWhole)
{
    Put("some output first\n");
    Wide option = u"--" + Wide(40000, u'x');
    std::vector<WCHAR *> argv = {(WCHAR *)u"ctl", (WCHAR *)u"table", &option[0]};
    Request request;
    EXPECT_EQ(ReadRequest(3, argv.data(), &request), (UINT32)ExitError);
    EXPECT_EQ(ctlfake::ErrorWrites, 1);
    EXPECT_EQ(ctlfake::Err, "vantoriel-ctl: unknown option --" + std::string(40000, 'x') + " (see vantoriel-ctl --help)\n");
    // Standard output went first, whole.
    EXPECT_EQ(ctlfake::Out, "some output first\n");
}

TEST_F(CtlTest, AnArgumentsLineBreakKeepsTheErrorOneLine)
{
    Wide verb = u"table\nfoo\r";
    std::vector<WCHAR *> argv = {(WCHAR *)u"ctl", &verb[0]};
    Request request;
    EXPECT_EQ(ReadRequest(2, argv.data(), &request), (UINT32)ExitError);
    EXPECT_EQ(ctlfake::Err, "vantoriel-ctl: unknown verb table?foo? (see vantoriel-ctl --help)\n");
}

TEST_F(CtlTest, WideTextAsUtf8)
{
    BeginError();
    PutWide(u"\u00e4\u20ac\U0001F600\xD800!");
    EndError();
    EXPECT_EQ(ctlfake::Err, "vantoriel-ctl: \xC3\xA4\xE2\x82\xAC\xF0\x9F\x98\x80\xEF\xBF\xBD!\n");
}

} // namespace
