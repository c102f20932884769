#include "startup/application.h"
#include "startup/settings.h"
#include "targets/targets.h"
#include "test_support.h"
#include "window/controls.h"
#include "window/mainwindow.h"

#include <vector>

namespace {

const bool Wide = sizeof(UINT_PTR) == 8;
const HINSTANCE Instance = (HINSTANCE)(UINT_PTR)0x400000;

class MainWindowTest : public HostTest {
protected:
    void SetUp() override
    {
        HostTest::SetUp();
        Settings = {22, 16, 6, TEXT("")};
    }
    fake::Call CreateCall()
    {
        for (auto &c : fake::CallsNamed("CreateWindowEx"))
            if (c.window == nullptr) return c;
        return fake::Call();
    }
    fake::Window &Main() { return *fake::FindWindow(MainWindow); }
};

TEST_F(MainWindowTest, ClassRegistration)
{
    RegisterMainClass(Instance);
    ASSERT_EQ(fake::world.classes.size(), 1u);
    const WNDCLASSEX &wc = fake::world.classes[0];
    EXPECT_EQ(wc.cbSize, sizeof(WNDCLASSEX));
    EXPECT_EQ(wc.style, 3u);
    EXPECT_EQ(wc.lpfnWndProc, &MainWindowProc);
    EXPECT_EQ(wc.cbClsExtra, 0);
    EXPECT_EQ(wc.cbWndExtra, 30);
    EXPECT_EQ(wc.hInstance, Instance);
    EXPECT_EQ(wc.hIcon, nullptr);
    EXPECT_EQ((UINT_PTR)wc.hbrBackground, 6u);
    EXPECT_EQ(wc.lpszMenuName, nullptr);
    EXPECT_EQ(wc.hIconSm, nullptr);
    EXPECT_EQ(Show(wc.lpszClassName), Wide ? "Vantoriel64" : "Vantoriel32");
    auto cursor = fake::CallsNamed("LoadCursor");
    ASSERT_EQ(cursor.size(), 1u);
    EXPECT_EQ(cursor[0].a, 0u) << "the system's cursor";
    EXPECT_EQ(cursor[0].b, 32512u);
    EXPECT_NE(wc.hCursor, nullptr);
}

TEST_F(MainWindowTest, WindowSizeFromSettingsWithWrap)
{
    struct Case { INT32 ctrl, gap; INT32 width, height; };
    const Case cases[] = {
        {22, 6, 342, 594},
        {30, 6, 462, 762},
        {22, 0, 330, 462},
        {1, 1, 17, 43},
        {22, -6, 318, 330},
        // 15 * 2^27 and 21 * 2^27 pass 2^31 and wrap.
        {0x8000000, 0, (INT32)(15u * 0x8000000u), (INT32)(21u * 0x8000000u)},
        {2147483647, 2147483647, (INT32)(15u * 2147483647u + 2u * 2147483647u),
         (INT32)(21u * (2147483647u + 2147483647u) + 2147483647u)},
    };
    for (const Case &c : cases) {
        ResetProgram();
        SetUp();
        Settings.CtrlSize = c.ctrl;
        Settings.GapSize = c.gap;
        RegisterMainClass(Instance);
        EXPECT_EQ(CreateMainWindow(Instance, SW_SHOWNORMAL), 1);
        fake::Window &w = Main();
        EXPECT_EQ(w.width, c.width) << "ctrl " << c.ctrl << " gap " << c.gap;
        EXPECT_EQ(w.height, c.height) << "ctrl " << c.ctrl << " gap " << c.gap;
        EXPECT_EQ(w.x, CW_USEDEFAULT);
        EXPECT_EQ(w.y, 0);
        EXPECT_EQ(w.style, 0x00CF0000u);
        EXPECT_EQ(w.exStyle, 0u);
        EXPECT_EQ(Show(w.text), Wide ? "Vantoriel64" : "Vantoriel32");
        EXPECT_EQ(AppInstance, Instance);
    }
}

TEST_F(MainWindowTest, CreationBuildsControlsTargetsAndTheFirstReportInThatOrder)
{
    RegisterMainClass(Instance);
    ASSERT_EQ(CreateMainWindow(Instance, SW_SHOWNORMAL), 1);
    std::vector<std::string> names = fake::CallNames();
    auto firstOf = [&](const std::string &name) {
        for (size_t k = 0; k < names.size(); ++k)
            if (names[k] == name) return (long)k;
        return -1L;
    };
    long font = firstOf("CreateFont"), system = firstOf("GetSystemInfo"), draw = firstOf("GetWindowText");
    long show = firstOf("ShowWindow"), update = firstOf("UpdateWindow");
    EXPECT_LT(font, system) << "controls before targets";
    EXPECT_LT(system, draw) << "targets before the first command";
    EXPECT_LT(draw, show) << "the first report is there before the window shows";
    EXPECT_LT(show, update);
    EXPECT_EQ(fake::CallsNamed("ShowWindow")[0].a, (UINT_PTR)SW_SHOWNORMAL);

    // The first present target holds the first draw, 151, and the report says so.
    UINT32 first = TargetCount;
    for (UINT32 i = 0; i < TargetCount && first == TargetCount; ++i)
        if (TargetTable[i].block) first = i;
    ASSERT_LT(first, TargetCount);
    EXPECT_EQ(*TargetTable[first].value, 151u);
    std::string report = Show(fake::WindowById(IDC_OUTPUT).text);
    EXPECT_EQ(report.substr(2 * sizeof(void *), 22), "  151 97000000\\x0D\\x0A");
}

TEST_F(MainWindowTest, FailedCreationGivesZeroAndShowsNothing)
{
    fake::world.failMainWindow = true;
    RegisterMainClass(Instance);
    EXPECT_EQ(CreateMainWindow(Instance, SW_SHOWNORMAL), 0);
    EXPECT_EQ(MainWindow, nullptr);
    EXPECT_TRUE(fake::CallsNamed("ShowWindow").empty());
}

TEST_F(MainWindowTest, MessageRouting)
{
    RegisterMainClass(Instance);
    ASSERT_EQ(CreateMainWindow(Instance, SW_SHOWNORMAL), 1);
    HWND window = MainWindow;

    struct Case { UINT message; WPARAM wParam; const char *handler; LRESULT result; };
    const Case cases[] = {
        {WM_COMMAND, 1002, "RunCommand", 0},
        {WM_COMMAND, 1003, "RunCommand", 0},
        {WM_COMMAND, 1004, "RunCommand", 0},
        {WM_COMMAND, ((WPARAM)1 << 16) | 1003, "RunCommand", 0},
        {WM_COMMAND, 0x03000000 | 1000, "DefDlgProc", fake::DefDlgProcAnswer}, // EN_CHANGE of a range field
        {WM_COMMAND, 1001, "DefDlgProc", fake::DefDlgProcAnswer},
        {WM_COMMAND, 1005, "DefDlgProc", fake::DefDlgProcAnswer},
        {WM_COMMAND, 1, "DefDlgProc", fake::DefDlgProcAnswer},
        {WM_SIZE, 0, "LayoutControls", 0},
        {WM_KEYDOWN, 'A', "DefDlgProc", fake::DefDlgProcAnswer},
        {0x0020, 0, "DefDlgProc", fake::DefDlgProcAnswer},
    };
    for (const Case &c : cases) {
        fake::world.calls.clear();
        LRESULT result = MainWindowProc(window, c.message, c.wParam, 0x55);
        EXPECT_EQ(result, c.result) << "message " << c.message << " wParam " << c.wParam;
        std::vector<std::string> names = fake::CallNames();
        bool report = !fake::CallsNamed("GetWindowText").empty();
        bool layout = !fake::CallsNamed("MoveWindow").empty();
        auto dlg = fake::CallsNamed("DefDlgProc");
        EXPECT_EQ(report, std::string(c.handler) == "RunCommand") << "message " << c.message << " " << c.wParam;
        EXPECT_EQ(layout, std::string(c.handler) == "LayoutControls") << "message " << c.message;
        EXPECT_EQ(dlg.size(), std::string(c.handler) == "DefDlgProc" ? 1u : 0u) << "message " << c.message;
        if (!dlg.empty()) {
            EXPECT_EQ(dlg[0].window, window);
            EXPECT_EQ(dlg[0].message, c.message);
            EXPECT_EQ(dlg[0].a, c.wParam);
            EXPECT_EQ(dlg[0].b, 0x55u) << "the same four arguments";
        }
        EXPECT_TRUE(fake::CallsNamed("DefWindowProc").empty());
    }
}

TEST_F(MainWindowTest, CloseDestroysReleasesAndQuits)
{
    RegisterMainClass(Instance);
    ASSERT_EQ(CreateMainWindow(Instance, SW_SHOWNORMAL), 1);
    HFONT created = ControlFont;
    fake::world.calls.clear();
    EXPECT_EQ(MainWindowProc(MainWindow, WM_CLOSE, 0, 0), 0);
    std::vector<std::string> names = fake::CallNames();
    EXPECT_EQ(names.front(), "DefWindowProc");
    EXPECT_TRUE(fake::CallsNamed("DefDlgProc").empty());
    auto deleted = fake::CallsNamed("DeleteObject");
    ASSERT_EQ(deleted.size(), 1u);
    EXPECT_EQ(deleted[0].a, (UINT_PTR)created);
    size_t frees = fake::CallsNamed("VirtualFree").size() + fake::CallsNamed("HeapFree").size() +
                   fake::CallsNamed("GlobalFree").size() + fake::CallsNamed("LocalFree").size();
    EXPECT_GT(frees, 6u);
    EXPECT_EQ(names.back(), "PostQuitMessage");
    EXPECT_EQ(fake::CallsNamed("PostQuitMessage")[0].a, 0u);
}

MSG Message(HWND window, UINT message, WPARAM wParam)
{
    MSG msg = {window, message, wParam, 0, 0, {0, 0}};
    return msg;
}

TEST_F(MainWindowTest, LoopSelectAllRule)
{
    RegisterMainClass(Instance);
    ASSERT_EQ(CreateMainWindow(Instance, SW_SHOWNORMAL), 1);
    struct Case { UINT32 control; UINT message; WPARAM key; bool ctrl; bool selectAll; };
    const Case cases[] = {
        {IDC_LOW, WM_KEYDOWN, 'A', true, true},     {IDC_HIGH, WM_KEYDOWN, 'A', true, true},
        {IDC_OUTPUT, WM_KEYDOWN, 'A', true, true},  {IDC_WRITE_B, WM_KEYDOWN, 'A', true, false},
        {IDC_READ, WM_KEYDOWN, 'A', true, false},   {IDC_LOW, WM_KEYDOWN, 'A', false, false},
        {IDC_LOW, WM_KEYDOWN, 'B', true, false},    {IDC_LOW, WM_KEYUP, 'A', true, false},
        {IDC_LOW, WM_CHAR, 'A', true, false},       {IDC_OUTPUT, WM_KEYDOWN, 'a', true, false},
    };
    for (const Case &c : cases) {
        fake::world.calls.clear();
        fake::world.queue.clear();
        fake::world.controlDown = c.ctrl;
        HWND target = Control(c.control);
        fake::world.queue.push_back({Message(target, c.message, c.key), TRUE});
        fake::world.queue.push_back({Message(nullptr, WM_QUIT, 0), FALSE});
        EXPECT_EQ(RunMessageLoop(), 0u);

        auto posted = fake::CallsNamed("PostMessage");
        auto translated = fake::CallsNamed("TranslateMessage");
        auto dispatched = fake::CallsNamed("DispatchMessage");
        std::string label = "control " + std::to_string(c.control) + " message " + std::to_string(c.message) +
                            " key " + std::to_string(c.key) + (c.ctrl ? " with Ctrl" : "");
        if (c.selectAll) {
            ASSERT_EQ(posted.size(), 1u) << label;
            EXPECT_EQ(posted[0].window, target) << label;
            EXPECT_EQ(posted[0].message, (UINT)EM_SETSEL) << label;
            EXPECT_EQ(posted[0].a, 0u) << label;
            EXPECT_EQ((LPARAM)posted[0].b, -1) << label;
            EXPECT_TRUE(translated.empty()) << label;
            EXPECT_TRUE(dispatched.empty()) << label;
            EXPECT_TRUE(fake::CallsNamed("IsDialogMessage").empty()) << label;
        } else {
            EXPECT_TRUE(posted.empty()) << label;
            auto dialog = fake::CallsNamed("IsDialogMessage");
            ASSERT_EQ(dialog.size(), 1u) << label;
            EXPECT_EQ(dialog[0].window, MainWindow) << label;
            EXPECT_EQ(translated.size(), 1u) << label;
            EXPECT_EQ(dispatched.size(), 1u) << label;
        }
    }
}

TEST_F(MainWindowTest, DialogMessagesAreNeitherTranslatedNorDispatched)
{
    RegisterMainClass(Instance);
    ASSERT_EQ(CreateMainWindow(Instance, SW_SHOWNORMAL), 1);
    fake::world.calls.clear();
    fake::world.dialogMessages.insert(WM_KEYDOWN);
    fake::world.queue.push_back({Message(Control(IDC_WRITE_A), WM_KEYDOWN, 0x09), TRUE});
    fake::world.queue.push_back({Message(nullptr, WM_QUIT, 0), FALSE});
    RunMessageLoop();
    EXPECT_EQ(fake::CallsNamed("IsDialogMessage").size(), 1u);
    EXPECT_TRUE(fake::CallsNamed("TranslateMessage").empty());
    EXPECT_TRUE(fake::CallsNamed("DispatchMessage").empty());
}

TEST_F(MainWindowTest, LoopResultIsTheLastWParam)
{
    struct Case { BOOL lastResult; WPARAM lastWParam; UINT32 code; };
    const Case cases[] = {{FALSE, 0, 0}, {FALSE, 7, 7}, {-1, 0x1234, 0x1234}, {FALSE, (WPARAM)0x100000005ull, 5}};
    for (const Case &c : cases) {
        fake::world.queue.clear();
        fake::world.queue.push_back({Message(nullptr, 0x0400, 99), TRUE});
        fake::world.queue.push_back({Message(nullptr, c.lastResult == FALSE ? WM_QUIT : 0, c.lastWParam), c.lastResult});
        fake::world.queue.push_back({Message(nullptr, 0x0400, 1), TRUE}); // never reached
        EXPECT_EQ(RunMessageLoop(), c.code) << "last result " << c.lastResult;
        EXPECT_EQ(fake::world.queue.size(), 1u);
    }
    fake::world.queue.clear();
    EXPECT_EQ(RunMessageLoop(), 0u) << "the very first retrieval fails";
}

TEST_F(MainWindowTest, RunApplicationFromCommandLineToExitCode)
{
    fake::SetCommandLine(T("Vantoriel 30 20 4").c_str());
    // The main window is the first window made: its handle is known ahead.
    HWND main = (HWND)(UINT_PTR)0x1000;
    fake::world.queue.push_back({Message(main, WM_COMMAND, IDC_WRITE_A), TRUE});
    fake::world.queue.push_back({Message(main, WM_CLOSE, 0), TRUE});
    EXPECT_EQ(RunApplication(Instance, nullptr, nullptr, SW_SHOWNORMAL), 0u);
    EXPECT_EQ(MainWindow, main);
    EXPECT_EQ(Settings.CtrlSize, 30);
    EXPECT_EQ(fake::world.windows[0].width, 15 * 30 + 2 * 4);
    EXPECT_TRUE(fake::world.windows[0].destroyed);
    EXPECT_TRUE(fake::world.messageBoxes.empty());
    std::vector<std::string> names = fake::CallNames();
    EXPECT_EQ(names[0], "GetCommandLine");
    EXPECT_EQ(names[1], "LoadCursor") << "while the class is filled in";
    EXPECT_EQ(names[2], "RegisterClassEx");
    EXPECT_EQ(names[3], "CreateWindowEx");
}

TEST_F(MainWindowTest, RunApplicationEndsAtOnceWithoutAWindow)
{
    fake::SetCommandLine(T("Vantoriel 0").c_str());
    fake::world.failMainWindow = true;
    EXPECT_EQ(RunApplication(Instance, nullptr, nullptr, SW_SHOWNORMAL), 0u);
    EXPECT_EQ(fake::world.messageBoxes.size(), 1u) << "the usage box came first";
    EXPECT_TRUE(fake::CallsNamed("GetMessage").empty());
}

} // namespace
