#include "commands/commands.h"
#include "commands/report.h"
#include "startup/settings.h"
#include "targets/random.h"
#include "test_support.h"
#include "window/controls.h"

#include <vector>

namespace {

const bool Wide = sizeof(UINT_PTR) == 8;
const UINT32 M = MappedTargetCount;

UINT32 Targets[TargetCount];

class CommandsTest : public HostTest {
protected:
    void SetUp() override
    {
        HostTest::SetUp();
        Settings = {22, 16, 6, TEXT("")};
        CreateControls(fake::MakeParent({0, 0, 326, 556}));
        fake::world.calls.clear();
    }
    void Present(UINT32 i)
    {
        Targets[i] = 0;
        TargetTable[i].block = &Targets[i];
        TargetTable[i].value = &Targets[i];
    }
    Text &FieldText(UINT_PTR id) { return fake::WindowById(id).text; }
    void SetFields(const char *low, const char *high)
    {
        FieldText(IDC_LOW) = T(low);
        FieldText(IDC_HIGH) = T(high);
    }
    std::vector<UINT32> PresentValues()
    {
        std::vector<UINT32> values;
        for (UINT32 i = 0; i < TargetCount; ++i)
            if (TargetTable[i].block) values.push_back((UINT32)*TargetTable[i].value);
        return values;
    }
    // The generator state after the given number of draws from state from.
    static UINT_PTR StateAfterDraws(UINT_PTR from, int draws, UINT32 low, UINT32 high)
    {
        UINT_PTR saved = RandomState;
        RandomState = from;
        for (int k = 0; k < draws; ++k) RandomInRange(low, high);
        UINT_PTR result = RandomState;
        RandomState = saved;
        return result;
    }
};

struct FieldCase {
    const char *text;
    UINT32 bound;
    const char *after; // nullptr: left unchanged, no rewrite
};

const FieldCase FieldCases[] = {
    {"100", 100, nullptr},
    {"   42", 42, nullptr},
    {"0x1f", 31, nullptr},
    {"0X1F", 31, nullptr},
    {"00012", 12, nullptr},
    {"12abc", 12, "12"},
    {"7 8", 7, "7"},
    {"abc", 0, ""},
    {"-5", 0, ""},
    {"+5", 0, ""},
    {"  x", 0, "  "},
    {"0x", 0, nullptr},
    {"0xg", 0, "0x"},
    {"", 0, nullptr},
    {"    ", 0, nullptr},
    {"4294967295", 4294967295u, nullptr},
    {"4294967296", 4294967295u, "4294967295"},
    {"9999999999", 4294967295u, "4294967295"},
    // Set from outside beyond the 10 units a read takes:
    {"12345678901234", 1234567890, nullptr},
    {"0x12345678FF", 0x12345678, nullptr},
    {"99999999999", 4294967295u, "4294967295"},
    {"123456789x12", 123456789, "123456789"},
    {"    12345x", 12345, "    12345"},
    {"     12345x", 12345, nullptr}, // the x is the 11th unit, never read
};

TEST_F(CommandsTest, RangeFieldNormalisation)
{
    for (const FieldCase &c : FieldCases) {
        HWND field = Control(IDC_LOW);
        FieldText(IDC_LOW) = T(c.text);
        fake::world.calls.clear();

        EXPECT_EQ(ReadRangeField(field), c.bound) << "text [" << c.text << "]";
        std::string after = c.after ? c.after : c.text;
        EXPECT_EQ(Show(FieldText(IDC_LOW)), after) << "text [" << c.text << "]";
        size_t writes = fake::CallsNamed("SetWindowText").size();
        EXPECT_EQ(writes, c.after ? 1u : 0u) << "text [" << c.text << "]";
        for (auto &read : fake::CallsNamed("GetWindowText")) EXPECT_EQ(read.a, 11u) << "at most 10 units and the end";
        EXPECT_EQ(fake::CallsNamed("GetWindowText").size(), c.bound == 4294967295u && c.after ? 2u : 1u)
            << "an overflow reads the clamped field again";
    }
}

TEST_F(CommandsTest, FailedReadOfAFieldCountsAsEmpty)
{
    EXPECT_EQ(ReadRangeField(nullptr), 0u);
}

TEST_F(CommandsTest, LowFieldIsFinishedBeforeTheHighFieldIsRead)
{
    SetFields("12abc", "0xg");
    RunCommand(IDC_READ);
    std::vector<std::string> order;
    for (auto &c : fake::world.calls)
        if (c.name == "GetWindowText" || c.name == "SetWindowText")
            order.push_back(c.name + (c.window == Control(IDC_LOW) ? " low" : c.window == Control(IDC_HIGH) ? " high" : " report"));
    EXPECT_EQ(order, (std::vector<std::string>{"GetWindowText low", "SetWindowText low", "GetWindowText high",
                                               "SetWindowText high", "SetWindowText report"}));
}

TEST_F(CommandsTest, DrawCountsOfTheThreeCommands)
{
    struct Case { UINT32 command; int present; int draws; };
    const Case cases[] = {
        {IDC_WRITE_A, 0, 1}, {IDC_WRITE_A, 7, 1}, {IDC_WRITE_B, 0, 0}, {IDC_WRITE_B, 7, 7},
        {IDC_READ, 7, 0}, {1005, 7, 0}, {0, 7, 0},
    };
    for (const Case &c : cases) {
        ResetProgram();
        SetUp();
        for (int k = 0; k < c.present; ++k) Present((UINT32)(k * 11) % TargetCount);
        UINT_PTR before = RandomState;
        RunCommand(c.command);
        EXPECT_EQ(RandomState, StateAfterDraws(before, c.draws, 100, 200))
            << "command " << c.command << " with " << c.present << " targets";
        if (c.draws == 0) {
            for (UINT32 v : PresentValues()) EXPECT_EQ(v, 0u) << "command " << c.command << " writes nothing";
        }
    }
}

TEST_F(CommandsTest, StartUpSequenceGoesToPresentTargetsInTableOrder)
{
    UINT32 slots[] = {32, 40, M - 1, M, M + 2, M + 9};
    for (UINT32 i : slots) Present(i);
    RunCommand(IDC_WRITE_B);
    std::vector<UINT32> expected = Wide ? std::vector<UINT32>{151, 155, 163, 190, 172, 144}
                                        : std::vector<UINT32>{151, 169, 174, 146, 132, 154};
    EXPECT_EQ(PresentValues(), expected);
}

TEST_F(CommandsTest, WriteAPutsOneValueEverywhere)
{
    for (UINT32 i = 0; i < TargetCount; i += 3) Present(i);
    SetFields("0", "4294967295");
    RunCommand(IDC_WRITE_A);
    std::vector<UINT32> values = PresentValues();
    ASSERT_FALSE(values.empty());
    for (UINT32 v : values) EXPECT_EQ(v, values[0]);
    RandomState = 0x0ABCDEF7u;
    EXPECT_EQ(values[0], NextRandom32()) << "the full range returns the output unchanged";
}

TEST_F(CommandsTest, LowAboveHighNarrowsTheRangeToLow)
{
    for (UINT32 i = M; i < TargetCount; ++i) Present(i);
    for (UINT32 command : {(UINT32)IDC_WRITE_A, (UINT32)IDC_WRITE_B}) {
        SetFields("500", "20");
        RunCommand(command);
        for (UINT32 v : PresentValues()) EXPECT_EQ(v, 500u) << "command " << command;
        EXPECT_EQ(Show(FieldText(IDC_HIGH)), "20") << "the high field keeps its text";
        std::string report = Show(fake::WindowById(IDC_OUTPUT).text);
        EXPECT_NE(report.find("  500 F4010000"), std::string::npos) << report;
    }
}

TEST_F(CommandsTest, HighFieldOverflowClampsTheRangeAndWidensTheColumn)
{
    Present(M);
    SetFields("4294967290", "4294967296");
    RunCommand(IDC_WRITE_B);
    EXPECT_EQ(Show(FieldText(IDC_HIGH)), "4294967295");
    EXPECT_GE(Targets[M], 4294967290u);
    std::string report = Show(fake::WindowById(IDC_OUTPUT).text);
    EXPECT_NE(report.find("  " + std::to_string(Targets[M]) + " "), std::string::npos) << report;
}

TEST_F(CommandsTest, ReadRewritesFieldsAndShowsOutsideChanges)
{
    Present(M + 4);
    SetFields("12abc", "200");
    RunCommand(IDC_READ);
    EXPECT_EQ(Show(FieldText(IDC_LOW)), "12");
    Targets[M + 4] = 1000; // a memory tool wrote here
    RunCommand(IDC_READ);
    std::string report = Show(fake::WindowById(IDC_OUTPUT).text);
    EXPECT_NE(report.find("  000 E8030000"), std::string::npos) << report;
    EXPECT_EQ(fake::CallsNamed("SetWindowText").back().window, Control(IDC_OUTPUT)) << "the report comes last";
}

TEST_F(CommandsTest, EqualBoundsStillStepTheGenerator)
{
    Present(M);
    SetFields("9", "9");
    UINT_PTR before = RandomState;
    RunCommand(IDC_WRITE_B);
    EXPECT_EQ(Targets[M], 9u);
    EXPECT_NE(RandomState, before);
    EXPECT_NE(Show(fake::WindowById(IDC_OUTPUT).text).find("  9 09000000"), std::string::npos);
}

} // namespace
