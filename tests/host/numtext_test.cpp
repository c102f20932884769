#include "numtext/numtext.h"
#include "test_support.h"

namespace {

struct ScanCase {
    const char *text;
    UINT32 result;
    int end; // characters from the start; -1: overflow, no end position
};

const ScanCase ScanCases[] = {
    {"22", 22, 2},
    {"  22 16", 22, 4},
    {"", 0, 0},
    {"abc", 0, 0},
    {" -5", 0, 1},
    {"+5", 0, 0},
    {"0", 0, 1},
    {"012", 12, 3},
    {"0x1F", 31, 4},
    {"0Xff ", 255, 4},
    {"0xAbCd", 0xABCD, 6},
    {"0x", 0, 2},
    {"0xg", 0, 2},
    {"4294967295", 4294967295u, 10},
    {"4294967296", 4294967295u, -1},
    {"4294967300", 4294967295u, -1},
    {"9999999999", 4294967295u, -1},
    {"42949672950", 4294967295u, -1},
    {"0xFFFFFFFF", 4294967295u, 10},
    {"0xffffffff", 4294967295u, 10},
    {"0x100000000", 4294967295u, -1},
    {"0x000000000FFFFFFFF", 4294967295u, 19},
    {"0000000000004294967295", 4294967295u, 22},
    {"00000000000000000000000000000", 0, 29},
    {"2147483648", 2147483648u, 10},
    {"22x", 22, 2},
    {"\t22", 0, 0},
    {"7 8", 7, 1},
    {"19\x80", 19, 2},
    {"0x1G", 1, 3},
    {"00x5", 0, 2},
};

TEST(ScanUnsigned, ResultAndEndPosition)
{
    for (const ScanCase &c : ScanCases) {
        Text text = T(c.text);
        TCHAR *end = text.data() + 1000; // must always be written
        UINT32 result = ScanUnsigned(text.data(), &end);
        EXPECT_EQ(result, c.result) << "text \"" << c.text << "\"";
        if (c.end < 0) {
            EXPECT_EQ(end, nullptr) << "text \"" << c.text << "\" should overflow";
        } else {
            ASSERT_NE(end, nullptr) << "text \"" << c.text << "\" overflowed";
            EXPECT_EQ(end - text.data(), c.end) << "text \"" << c.text << "\"";
        }
    }
}

// Every decimal number around the overflow boundary, by digit appended.
TEST(ScanUnsigned, OverflowOnlyWhenTheTrueValuePassesTheTop)
{
    for (unsigned long long v : {429496729ull, 429496730ull, 4294967290ull}) {
        for (int digit = 0; digit <= 9; ++digit) {
            unsigned long long truth = v * 10 + digit;
            Text text = T((std::to_string(truth)).c_str());
            TCHAR *end;
            UINT32 result = ScanUnsigned(text.data(), &end);
            if (truth > 4294967295ull) {
                EXPECT_EQ(end, nullptr) << truth;
                EXPECT_EQ(result, 4294967295u) << truth;
            } else {
                EXPECT_EQ(result, (UINT32)truth) << truth;
                EXPECT_EQ(end, text.data() + text.size()) << truth;
            }
        }
    }
}

struct FormatCase {
    UINT_PTR value;
    UINT32 base;
    INT32 length;
    INT32 width;
    const char *text;
};

const FormatCase FormatCases[] = {
    {0, 10, 11, 0, "0"},
    {255, 10, 11, 0, "255"},
    {4294967295u, 10, 11, 0, "4294967295"},
    {255, 16, 11, 2, "FF"},
    {5, 16, 11, 2, "05"},
    {0x123, 16, 11, 2, "23"},
    {0x401000, 16, 9, 8, "00401000"},
    {4294967295u, 16, 9, 8, "FFFFFFFF"},
    {0xABCDEF, 16, 11, 0, "ABCDEF"},
    {7, 10, 11, -3, "  7"},
    {1002, 10, 11, -3, "002"},
    {7, 10, 11, 3, "007"},
    {0, 10, 11, -3, "  0"},
    {0, 10, 11, 3, "000"},
    {42, 10, 11, 10, "0000000042"},
    {42, 10, 11, 11, "0000000042"},
    {42, 10, 11, -11, "        42"},
    {7, 10, 4, 5, "007"},
    {7, 10, 4, -5, "  7"},
    {1004, 10, 4, 0, "004"},
    {123456, 10, 4, 0, "456"},
    {5, 10, 2, 0, "5"},
    {0, 10, 2, 0, "0"},
    {12, 10, 11, -1, "2"},
    {255, 8, 11, 0, ""},
    {255, 2, 11, 0, ""},
    {255, 0, 11, 3, ""},
    {255, 10, 1, 0, ""},
    {255, 10, 1, 3, ""},
    {255, 16, 1, -3, ""},
};

TEST(FormatUnsigned, TextWrittenAtTheEndOfTheBuffer)
{
    for (const FormatCase &c : FormatCases) {
        const size_t guard = 4;
        Text buffer(guard + (size_t)c.length + guard, (TCHAR)'#');
        TCHAR *start = buffer.data() + guard;
        TCHAR *text = FormatUnsigned(c.value, c.base, start, c.length, c.width);
        std::string label = "value " + std::to_string((unsigned long long)c.value) + " base " +
                            std::to_string(c.base) + " length " + std::to_string(c.length) + " width " +
                            std::to_string(c.width);

        ASSERT_GE(text, start) << label;
        ASSERT_LT(text, start + c.length) << label;
        EXPECT_EQ(Show(text), c.text) << label;
        if (c.base == 10 || c.base == 16) {
            // The terminator is always the last unit of the buffer.
            EXPECT_EQ(start[c.length - 1], 0) << label;
            EXPECT_EQ(text + Text(text).size(), start + c.length - 1) << label;
        } else {
            EXPECT_EQ(text, start) << label;
        }
        for (size_t i = 0; i < guard; ++i) {
            EXPECT_EQ(buffer[i], '#') << label << ": wrote before the buffer";
            EXPECT_EQ(buffer[guard + c.length + i], '#') << label << ": wrote after the buffer";
        }
    }
}

TEST(FormatUnsigned, PointerWideAddresses)
{
    TCHAR buffer[17];
    if (sizeof(UINT_PTR) == 8) {
        UINT_PTR address = (UINT_PTR)0xF00000000000C1FCull;
        EXPECT_EQ(Show(FormatUnsigned(address, 16, buffer, 17, 16)), "F00000000000C1FC");
        EXPECT_EQ(Show(FormatUnsigned((UINT_PTR)0x7FFFFFFEFFFFull, 16, buffer, 17, 16)), "00007FFFFFFEFFFF");
        EXPECT_EQ(Show(FormatUnsigned(~(UINT_PTR)0, 10, buffer, 17, 0)), "6744073709551615");
    } else {
        EXPECT_EQ(Show(FormatUnsigned((UINT_PTR)0xF00000FCu, 16, buffer, 9, 8)), "F00000FC");
    }
}

} // namespace
