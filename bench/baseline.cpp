// The cost floor for the benchmarks: a minimal CRT-free window program built
// with the deliverables' own flags. One window with one edit of the report's
// style, filled with a text as long as the start-up report.
#include <windows.h>

static TCHAR Text[6000];

static LRESULT CALLBACK BaselineProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProc(window, message, wParam, lParam);
}

extern "C" [[noreturn]] void EntryPoint()
{
    HINSTANCE instance = GetModuleHandle(nullptr);
    WNDCLASSEX wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = BaselineProc;
    wc.hInstance = instance;
    wc.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
    wc.lpszClassName = TEXT("VantorielBaseline");
    RegisterClassEx(&wc);
    HWND window = CreateWindowEx(0, wc.lpszClassName, wc.lpszClassName, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0, 342, 594,
                                 nullptr, nullptr, instance, nullptr);
    HWND edit = CreateWindowEx(0, TEXT("EDIT"), TEXT(""), 0x50A10884, 6, 146, 314, 404, window, (HMENU)1005, instance,
                               nullptr);
    // As many lines as the start-up report of the build has, of its width.
    const TCHAR *line = sizeof(void *) == 8 ? TEXT("0000000001DC00C0  151 97000000\r\n") : TEXT("00010080  151 97000000\r\n");
    for (int k = 0; k < (sizeof(void *) == 8 ? 57 : 37); ++k) lstrcat(Text, line);
    SetWindowText(edit, Text);
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);
    MSG msg;
    while (GetMessage(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessage(&msg);
    }
    ExitProcess(0);
}
