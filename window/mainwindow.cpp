// mainwindow.cpp: the main window routes every message to the folder that
// owns the work; the loop adds Ctrl+A and dialog-style keyboard handling.
#include "window/mainwindow.h"
#include "commands/commands.h"
#include "startup/build.h"
#include "startup/settings.h"
#include "targets/targets.h"
#include "window/controls.h"

HWND MainWindow;

static const TCHAR MainClassName[] = TEXT(PROGRAM_NAME);

void RegisterMainClass(HINSTANCE instance)
{
    WNDCLASSEX wc;
    wc.cbSize = sizeof(wc);
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = MainWindowProc;
    wc.cbClsExtra = 0;
    wc.cbWndExtra = DLGWINDOWEXTRA; // DefDlgProc keeps its state there
    wc.hInstance = instance;
    wc.hIcon = nullptr;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
    wc.lpszMenuName = nullptr;
    wc.lpszClassName = MainClassName;
    wc.hIconSm = nullptr;
    RegisterClassEx(&wc);
}

INT32 CreateMainWindow(HINSTANCE instance, INT32 show)
{
    AppInstance = instance;
    // Unsigned, so that extreme settings wrap instead of overflowing.
    UINT32 ctrl = (UINT32)Settings.CtrlSize;
    UINT32 gap = (UINT32)Settings.GapSize;
    INT32 width = (INT32)(15 * ctrl + 2 * gap);
    INT32 height = (INT32)(21 * (ctrl + gap) + gap);

    MainWindow = CreateWindowEx(0, MainClassName, MainClassName, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0, width, height,
                                nullptr, nullptr, AppInstance, nullptr);
    if (MainWindow == nullptr) return 0;
    ShowWindow(MainWindow, show);
    UpdateWindow(MainWindow);
    return 1;
}

static void OnCreate(HWND window)
{
    CreateControls(window);
    AllocateTargets();
    RunCommand(IDC_WRITE_B);
}

static void OnDestroy()
{
    ReleaseControlFont();
    ReleaseTargets();
    PostQuitMessage(0);
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        OnCreate(window);
        return 0;
    case WM_DESTROY:
        OnDestroy();
        return 0;
    case WM_SIZE:
        LayoutControls(window);
        return 0;
    case WM_CLOSE:
        return DefWindowProc(window, message, wParam, lParam);
    case WM_COMMAND: {
        UINT32 id = LOWORD(wParam);
        if (id >= IDC_WRITE_A && id <= IDC_READ) {
            RunCommand(id);
            return 0;
        }
        return DefDlgProc(window, message, wParam, lParam);
    }
    default:
        return DefDlgProc(window, message, wParam, lParam);
    }
}

// IsSelectAllKey: Ctrl+A pressed in a range field or the report.
static bool IsSelectAllKey(const MSG &msg)
{
    if (msg.message != WM_KEYDOWN || msg.wParam != 'A') return false;
    if (msg.hwnd != Control(IDC_LOW) && msg.hwnd != Control(IDC_HIGH) && msg.hwnd != Control(IDC_OUTPUT))
        return false;
    return (GetKeyState(VK_CONTROL) & 0x8000) != 0;
}

UINT32 RunMessageLoop()
{
    MSG msg;
    msg.wParam = 0; // the code if the very first retrieval fails
    for (;;) {
        BOOL got = GetMessage(&msg, nullptr, 0, 0);
        if (got == 0 || got == -1) break;
        if (IsSelectAllKey(msg)) {
            // Not translated, so no WM_CHAR follows for this key.
            PostMessage(msg.hwnd, EM_SETSEL, 0, -1);
            continue;
        }
        if (!IsDialogMessage(MainWindow, &msg)) {
            TranslateMessage(&msg);
            DispatchMessage(&msg);
        }
    }
    return (UINT32)msg.wParam;
}
