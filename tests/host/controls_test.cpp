#include "startup/settings.h"
#include "test_support.h"
#include "window/controls.h"

#include <vector>

namespace {

const HFONT ParentFont = (HFONT)(UINT_PTR)0xAB0;

class ControlsTest : public HostTest {
protected:
    HWND parent = nullptr;
    void SetUp() override
    {
        HostTest::SetUp();
        Settings = {22, 16, 6, TEXT("")};
        fake::world.mainWindowFont = ParentFont;
        AppInstance = (HINSTANCE)(UINT_PTR)0x400000;
    }
    void Create(RECT client = {0, 0, 326, 556})
    {
        parent = fake::MakeParent(client);
        CreateControls(parent);
    }
};

TEST_F(ControlsTest, ClassesStylesIdsAndTexts)
{
    Create();
    struct Expect { const char *cls; DWORD style; const char *text; };
    const Expect expected[6] = {
        {"EDIT", 0x50810080, "100"},     {"EDIT", 0x50810080, "200"},     {"BUTTON", 0x50010000, "Write(A)"},
        {"BUTTON", 0x50010000, "Write(B)"}, {"BUTTON", 0x50010000, "Read"}, {"EDIT", 0x50A10884, ""},
    };
    for (UINT32 k = 0; k < 6; ++k) {
        fake::Window *w = fake::FindWindow(ControlHandles[k]);
        ASSERT_NE(w, nullptr) << k;
        EXPECT_EQ(w->id, 1000u + k);
        EXPECT_EQ(w->parent, parent);
        EXPECT_EQ(Show(w->className), expected[k].cls) << k;
        EXPECT_EQ(w->style, expected[k].style) << k;
        EXPECT_EQ(w->exStyle, 0u);
        EXPECT_EQ(Show(w->text), expected[k].text) << k;
        EXPECT_EQ(w->font, ControlFont) << k;
    }
    for (auto &c : fake::CallsNamed("CreateWindowEx")) {
        EXPECT_EQ(c.c, (UINT_PTR)AppInstance);
        EXPECT_EQ(c.d, 0u) << "no creation data";
    }
    EXPECT_EQ(fake::world.focus, ControlHandles[3]) << "Write(B) has the focus";
    EXPECT_EQ(fake::WindowById(1000).limit, 10u);
    EXPECT_EQ(fake::WindowById(1001).limit, 10u);
    EXPECT_EQ(fake::WindowById(1005).limit, 0u) << "no limit on the report";
    EXPECT_EQ(SavedFont, ParentFont);
}

TEST_F(ControlsTest, StepsInOrder)
{
    Create();
    std::vector<std::string> steps;
    for (auto &c : fake::world.calls) {
        std::string step = c.name;
        if (c.name == "SendMessage") {
            switch (c.message) {
            case WM_GETFONT: step = "WM_GETFONT"; break;
            case WM_SETFONT: step = "WM_SETFONT"; break;
            case EM_LIMITTEXT: step = "EM_LIMITTEXT"; break;
            case EM_GETMARGINS: step = "EM_GETMARGINS"; break;
            case EM_SETMARGINS: step = "EM_SETMARGINS"; break;
            }
        }
        if (steps.empty() || steps.back() != step) steps.push_back(step);
    }
    EXPECT_EQ(steps, (std::vector<std::string>{"WM_GETFONT", "CreateFont", "CreateWindowEx", "GetClientRect",
                                               "MoveWindow", "WM_SETFONT", "SetWindowText", "SetFocus",
                                               "EM_LIMITTEXT", "EM_GETMARGINS", "EM_SETMARGINS", "EM_GETMARGINS",
                                               "EM_SETMARGINS", "EM_GETMARGINS", "EM_SETMARGINS"}));
    std::vector<HWND> margins;
    for (auto &c : fake::CallsNamed("SendMessage"))
        if (c.message == EM_SETMARGINS) {
            margins.push_back(c.window);
            EXPECT_EQ(c.a, (UINT_PTR)(EC_LEFTMARGIN | EC_RIGHTMARGIN));
        }
    EXPECT_EQ(margins, (std::vector<HWND>{ControlHandles[0], ControlHandles[1], ControlHandles[5]}));
    for (auto &c : fake::CallsNamed("SendMessage"))
        if (c.message == WM_SETFONT) EXPECT_EQ(c.b, 1u) << "redraw";
}

TEST_F(ControlsTest, FontFromSettings)
{
    Text line = T("V 30 4294967284 6 Lucida Console"); // font height -12
    fake::SetCommandLine(line.c_str());
    ReadCommandLine();
    Create();
    ASSERT_EQ(fake::world.fonts.size(), 1u);
    const fake::FontCall &f = fake::world.fonts[0];
    EXPECT_EQ(f.height, -12);
    EXPECT_EQ(f.width, 0);
    EXPECT_EQ(f.escapement, 0);
    EXPECT_EQ(f.orientation, 0);
    EXPECT_EQ(f.weight, FW_DONTCARE);
    EXPECT_EQ(f.italic + f.underline + f.strikeOut, 0u);
    EXPECT_EQ(f.charSet, (DWORD)DEFAULT_CHARSET);
    EXPECT_EQ(f.outPrecision + f.clipPrecision + f.quality, 0u);
    EXPECT_EQ(f.pitchAndFamily, (DWORD)FIXED_PITCH);
    EXPECT_EQ(f.face, Settings.FontName) << "the name itself, not a copy";
    EXPECT_EQ(Show(f.face), "Lucida Console");
}

TEST_F(ControlsTest, LeftMarginsOfAtLeastTwoRightMarginsKept)
{
    struct Case { DWORD before, after; };
    const Case cases[] = {{0x00000000, 0x00000002}, {0x00070001, 0x00070002}, {0x00030002, 0x00030002},
                          {0x00000005, 0x00000005}, {0xFFFF0000, 0xFFFF0002}};
    for (const Case &c : cases) {
        ResetProgram();
        SetUp();
        fake::world.newEditMargins = c.before;
        Create();
        for (UINT32 k : {0u, 1u, 5u}) EXPECT_EQ(fake::FindWindow(ControlHandles[k])->margins, c.after) << k;
    }
}

struct LayoutCase {
    LONG clientWidth, clientHeight;
    INT32 ctrl, gap;
    int width;           // of every control
    int reportY, reportHeight;
};

TEST_F(ControlsTest, LayoutStacksTheControls)
{
    const LayoutCase cases[] = {
        {326, 556, 22, 6, 314, 146, 404},
        {300, 200, 22, 6, 288, 146, 48},
        {300, 100, 22, 6, 288, 146, 0},   // the report's height clamps to 0
        {10, 556, 22, 6, 0, 146, 404},    // narrower than two gaps
        {326, 556, 30, 0, 326, 150, 406}, // controls touch
        {100, 100, 1, 50, 0, 305, 0},
    };
    for (const LayoutCase &c : cases) {
        ResetProgram();
        SetUp();
        Settings.CtrlSize = c.ctrl;
        Settings.GapSize = c.gap;
        Create({0, 0, c.clientWidth, c.clientHeight});
        for (UINT32 k = 0; k < 6; ++k) {
            fake::Window *w = fake::FindWindow(ControlHandles[k]);
            int y = k < 5 ? c.gap + (int)k * (c.ctrl + c.gap) : c.reportY;
            EXPECT_EQ(w->x, c.gap) << "client " << c.clientWidth << "x" << c.clientHeight << " control " << k;
            EXPECT_EQ(w->y, y) << "client " << c.clientWidth << "x" << c.clientHeight << " control " << k;
            EXPECT_EQ(w->width, c.width) << "client " << c.clientWidth << "x" << c.clientHeight << " control " << k;
            EXPECT_EQ(w->height, k < 5 ? c.ctrl : c.reportHeight) << "client " << c.clientWidth << " control " << k;
        }
        for (auto &m : fake::CallsNamed("MoveWindow")) EXPECT_EQ(m.message, (UINT)FALSE) << "no repaint";
    }
}

TEST_F(ControlsTest, LayoutArithmeticWraps)
{
    // Gap 2^30: 2 * gap wraps to 2^31, and y goes round 2^32.
    Settings.CtrlSize = 22;
    Settings.GapSize = 0x40000000;
    Create({0, 0, 326, 556});
    std::vector<int> ys;
    for (UINT32 k = 0; k < 6; ++k) ys.push_back(fake::FindWindow(ControlHandles[k])->y);
    UINT32 y = 0x40000000u;
    for (UINT32 k = 0; k < 5; ++k) {
        EXPECT_EQ(ys[k], (int)y) << k;
        y += 22 + 0x40000000u;
    }
    EXPECT_EQ(fake::FindWindow(ControlHandles[0])->width, 0) << "326 - 2^31 is negative, clamped";
    EXPECT_LT(ys[2], 0) << "the third control's y went past 2^31";
}

TEST_F(ControlsTest, ReleaseGivesTheOldFontBackThenDeletesOurs)
{
    Create();
    HFONT created = ControlFont;
    ASSERT_NE(created, nullptr);
    fake::world.calls.clear();
    ReleaseControlFont();
    for (UINT32 k = 0; k < 6; ++k) EXPECT_EQ(fake::FindWindow(ControlHandles[k])->font, ParentFont) << k;
    ASSERT_EQ(fake::CallsNamed("DeleteObject").size(), 1u);
    EXPECT_EQ(fake::CallsNamed("DeleteObject")[0].a, (UINT_PTR)created);
    EXPECT_EQ(fake::world.calls.back().name, "DeleteObject") << "deleted only after no control uses it";
    EXPECT_EQ(ControlFont, nullptr);

    fake::world.calls.clear();
    ReleaseControlFont();
    EXPECT_TRUE(fake::CallsNamed("DeleteObject").empty()) << "nothing to delete twice";
}

TEST_F(ControlsTest, FailedFontIsNotDeleted)
{
    fake::world.failFont = true;
    Create();
    EXPECT_EQ(ControlFont, nullptr);
    ReleaseControlFont();
    EXPECT_TRUE(fake::CallsNamed("DeleteObject").empty());
}

} // namespace
