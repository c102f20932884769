#include "commands/report.h"
#include "test_support.h"
#include "window/controls.h"

#include <stdio.h>

#include <random>
#include <string>
#include <vector>

namespace {

const bool Wide = sizeof(UINT_PTR) == 8;
const UINT32 M = MappedTargetCount;

// Memory for the targets of a hand-made table.
UINT32 Targets[TargetCount];

class ReportTest : public HostTest {
protected:
    void SetUp() override
    {
        HostTest::SetUp();
        HWND parent = fake::MakeParent({0, 0, 300, 500});
        ControlHandles[5] = CreateWindowEx(0, TEXT("EDIT"), TEXT(""), 0, 0, 0, 0, 0, parent, (HMENU)1005, nullptr,
                                           nullptr);
    }
    void Present(UINT32 i, UINT32 value)
    {
        Targets[i] = value;
        TargetTable[i].block = &Targets[i];
        TargetTable[i].value = &Targets[i];
    }
    void PresentAll(UINT32 value)
    {
        for (UINT32 i = 0; i < TargetCount; ++i) Present(i, value);
    }
    std::string Report()
    {
        std::string text;
        for (TCHAR c : fake::WindowById(1005).text) {
            EXPECT_LT((UINT32)c, 0x80u) << "the report is ASCII";
            text.push_back((char)c);
        }
        return text;
    }
};

std::string Digits(unsigned long long v) { return std::to_string(v); }

// One line as a person would write it down from the layout.
std::string Line(const void *address, UINT32 value, size_t width)
{
    char text[64];
    snprintf(text, sizeof text, "%0*llX  ", (int)(2 * sizeof(void *)), (unsigned long long)(UINT_PTR)address);
    std::string line = text;
    std::string decimal = Digits(value);
    if (decimal.size() > width) decimal = decimal.substr(decimal.size() - width);
    line += std::string(width - decimal.size(), ' ') + decimal + " ";
    for (int k = 0; k < 4; ++k) {
        snprintf(text, sizeof text, "%02X", (value >> (8 * k)) & 0xFF);
        line += text;
    }
    return line + "\r\n";
}

// The report by its rules: groups of 32 mapped lines apart by one empty line,
// no empty line at the very start or at the end of the mapped group, then
// "--", the static lines, "--", the heap lines.
std::string Expected(UINT32 high)
{
    size_t width = Digits(high).size();
    std::string mapped;
    for (UINT32 group = 0; group < M / 32; ++group) {
        std::string lines;
        for (UINT32 i = 32 * group; i < 32 * group + 32; ++i)
            if (TargetTable[i].block) lines += Line((const void *)TargetTable[i].value, *TargetTable[i].value, width);
        if (group > 0 && !mapped.empty()) mapped += "\r\n";
        mapped += lines;
    }
    if (mapped.size() >= 4 && mapped.compare(mapped.size() - 4, 4, "\r\n\r\n") == 0) mapped.resize(mapped.size() - 2);
    std::string report = mapped + "--\r\n";
    for (UINT32 i = M; i < M + 10; ++i) {
        if (i == M + 4) report += "--\r\n";
        if (TargetTable[i].block) report += Line((const void *)TargetTable[i].value, *TargetTable[i].value, width);
    }
    return report;
}

std::vector<std::string> Lines(const std::string &report)
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = report.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(report.substr(start, end - start));
    EXPECT_EQ(start, report.size()) << "the report ends with a line end";
    return lines;
}

TEST_F(ReportTest, LongestReportFitsTheBuffer)
{
    PresentAll(4294967295u);
    BuildReport(4294967295u);
    std::string report = Report();
    EXPECT_EQ(report.size(), Wide ? 5396u : 2304u);
    EXPECT_EQ(ReportCapacity, Wide ? 5397u : 2305u);
    EXPECT_EQ(Lines(report).size(), Wide ? 143u : 77u);
    EXPECT_EQ(report, Expected(4294967295u));
    EXPECT_EQ(fake::CallsNamed("SetWindowText").size(), 1u) << "one call per report";
}

TEST_F(ReportTest, AllPresentGroupLayout)
{
    PresentAll(151);
    BuildReport(200);
    std::vector<std::string> lines = Lines(Report());
    std::vector<size_t> empty, dashes;
    for (size_t k = 0; k < lines.size(); ++k) {
        if (lines[k].empty()) empty.push_back(k);
        if (lines[k] == "--") dashes.push_back(k);
    }
    if (Wide) {
        EXPECT_EQ(empty, (std::vector<size_t>{32, 65, 98}));
        EXPECT_EQ(dashes, (std::vector<size_t>{131, 136}));
    } else {
        EXPECT_EQ(empty, (std::vector<size_t>{32}));
        EXPECT_EQ(dashes, (std::vector<size_t>{65, 70}));
    }
    EXPECT_EQ(lines[0], Line(&Targets[0], 151, 3).substr(0, lines[0].size()));
}

TEST_F(ReportTest, LineLayoutAndByteOrder)
{
    struct Case { UINT32 value, high; const char *valueColumn, *bytes; };
    const Case cases[] = {
        {151, 200, "151", "97000000"},
        {7, 200, "  7", "07000000"},
        {1000, 200, "000", "E8030000"},
        {0x12345678, 4294967295u, " 305419896", "78563412"},
        {4294967295u, 4294967295u, "4294967295", "FFFFFFFF"},
        {10, 0, "0", "0A000000"},
        {123, 0, "3", "7B000000"},
        {0, 9, "0", "00000000"},
        {65536, 1000000000, "     65536", "00000100"},
    };
    for (const Case &c : cases) {
        ResetProgram();
        SetUp();
        Present(M, c.value);
        BuildReport(c.high);
        char address[32];
        snprintf(address, sizeof address, "%0*llX", (int)(2 * sizeof(void *)),
                 (unsigned long long)(UINT_PTR)&Targets[M]);
        EXPECT_EQ(Report(), std::string("--\r\n") + address + "  " + c.valueColumn + " " + c.bytes + "\r\n--\r\n")
            << "value " << c.value << " high " << c.high;
    }
}

TEST_F(ReportTest, ValueIsReadOnceAndBothColumnsAgree)
{
    Present(M + 4, 0xDEADBEEF);
    BuildReport(4294967295u);
    EXPECT_NE(Report().find("3735928559 EFBEADDE"), std::string::npos) << Report();
}

TEST_F(ReportTest, EmptyAndGroupBoundaryRules)
{
    struct Case {
        const char *name;
        std::vector<std::pair<UINT32, UINT32>> present; // ranges [from, to)
        std::vector<size_t> emptyLines;                 // indices of empty lines
        const char *begins;
    };
    const std::vector<Case> cases = {
        {"nothing present", {}, {}, "--\r\n--\r\n"},
        {"no mapped slot", {{M, M + 10}}, {}, "--\r\n"},
        {"mapped 0-31 only", {{0, 32}, {M, M + 10}}, Wide ? std::vector<size_t>{32, 33} : std::vector<size_t>{},
         nullptr},
        {"mapped 32 up only", {{32, M}}, Wide ? std::vector<size_t>{32, 65} : std::vector<size_t>{}, nullptr},
        {"64-bit: 64 to 127 absent", {{0, 64}}, Wide ? std::vector<size_t>{32, 65} : std::vector<size_t>{32},
         nullptr},
        {"32 to 63 absent", {{0, 32}, {64, M}}, Wide ? std::vector<size_t>{32, 33, 66} : std::vector<size_t>{},
         nullptr},
        {"only the last mapped slot", {{M - 1, M}}, {}, nullptr},
        {"one slot of the first group", {{5, 6}}, Wide ? std::vector<size_t>{1, 2} : std::vector<size_t>{}, nullptr},
    };
    for (const Case &c : cases) {
        ResetProgram();
        SetUp();
        for (auto range : c.present)
            for (UINT32 i = range.first; i < range.second; ++i) Present(i, 100 + i);
        BuildReport(200);
        std::string report = Report();
        EXPECT_EQ(report, Expected(200)) << c.name;
        std::vector<std::string> lines = Lines(report);
        std::vector<size_t> empty;
        for (size_t k = 0; k < lines.size(); ++k)
            if (lines[k].empty()) empty.push_back(k);
        EXPECT_EQ(empty, c.emptyLines) << c.name;
        if (c.begins) EXPECT_EQ(report.substr(0, strlen(c.begins)), c.begins) << c.name;
        EXPECT_EQ(std::count(lines.begin(), lines.end(), "--"), 2) << c.name;
        if (!lines.empty()) EXPECT_FALSE(lines[0].empty()) << c.name << ": never begins with an empty line";
    }
}

TEST_F(ReportTest, RandomPresencePatternsFollowTheLayout)
{
    std::mt19937 random(12345);
    for (int round = 0; round < 300; ++round) {
        ResetProgram();
        SetUp();
        int density = (int)(random() % 5);
        for (UINT32 i = 0; i < TargetCount; ++i)
            if ((int)(random() % 4) < density) Present(i, (UINT32)random());
        UINT32 high = (UINT32)random() >> (random() % 32);
        BuildReport(high);
        std::string report = Report();
        ASSERT_LT(report.size(), ReportCapacity);
        ASSERT_EQ(report, Expected(high)) << "round " << round;
    }
}

} // namespace
