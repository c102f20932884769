// controls.cpp: the controls the user works with, stacked top to bottom.
#include "window/controls.h"
#include "startup/settings.h"

HINSTANCE AppInstance;
HWND ControlHandles[ControlCount];
HFONT SavedFont;
HFONT ControlFont;

const DWORD RangeStyle = WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL;
const DWORD ButtonStyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON;
const DWORD ReportStyle = WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_BORDER | WS_TABSTOP | ES_MULTILINE |
                          ES_AUTOHSCROLL | ES_READONLY;

struct ControlDescription {
    const TCHAR *className;
    DWORD style;
    const TCHAR *text; // null: the control starts empty
};

static const ControlDescription Controls[ControlCount] = {
    {TEXT("EDIT"), RangeStyle, TEXT("100")},
    {TEXT("EDIT"), RangeStyle, TEXT("200")},
    {TEXT("BUTTON"), ButtonStyle, TEXT("Write(A)")},
    {TEXT("BUTTON"), ButtonStyle, TEXT("Write(B)")},
    {TEXT("BUTTON"), ButtonStyle, TEXT("Read")},
    {TEXT("EDIT"), ReportStyle, nullptr},
};

static void WidenLeftMargin(HWND edit)
{
    DWORD margins = (DWORD)SendMessage(edit, EM_GETMARGINS, 0, 0);
    if (LOWORD(margins) < 2) margins = MAKELONG(2, HIWORD(margins));
    SendMessage(edit, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, margins);
}

void CreateControls(HWND parent)
{
    SavedFont = (HFONT)SendMessage(parent, WM_GETFONT, 0, 0);
    ControlFont = CreateFont(Settings.FontSize, 0, 0, 0, FW_DONTCARE, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0,
                             0, FIXED_PITCH, Settings.FontName);

    for (UINT32 k = 0; k < ControlCount; ++k) {
        ControlHandles[k] = CreateWindowEx(0, Controls[k].className, TEXT(""), Controls[k].style, 0, 0, 0, 0, parent,
                                           (HMENU)(UINT_PTR)(IDC_LOW + k), AppInstance, nullptr);
    }
    LayoutControls(parent);
    ApplyFont(ControlFont);

    for (UINT32 k = 0; k < ControlCount; ++k) {
        if (Controls[k].text != nullptr) SetWindowText(ControlHandles[k], Controls[k].text);
    }
    SetFocus(Control(IDC_WRITE_B));

    SendMessage(Control(IDC_LOW), EM_LIMITTEXT, 10, 0);
    SendMessage(Control(IDC_HIGH), EM_LIMITTEXT, 10, 0);

    WidenLeftMargin(Control(IDC_LOW));
    WidenLeftMargin(Control(IDC_HIGH));
    WidenLeftMargin(Control(IDC_OUTPUT));
}

void ApplyFont(HFONT font)
{
    for (UINT32 k = 0; k < ControlCount; ++k) SendMessage(ControlHandles[k], WM_SETFONT, (WPARAM)font, 1);
}

void ReleaseControlFont()
{
    ApplyFont(SavedFont);
    if (ControlFont != nullptr) {
        DeleteObject(ControlFont);
        ControlFont = nullptr;
    }
}

// ClampToZero: sizes that came out negative are empty instead.
static INT32 ClampToZero(UINT32 size) { return (INT32)size < 0 ? 0 : (INT32)size; }

void LayoutControls(HWND window)
{
    RECT r = {0, 0, 0, 0};
    GetClientRect(window, &r);

    // Unsigned, so that extreme settings wrap instead of overflowing.
    UINT32 gap = (UINT32)Settings.GapSize;
    INT32 width = ClampToZero((UINT32)r.right - 2 * gap);
    UINT32 y = gap;
    for (UINT32 k = 0; k < ControlCount; ++k) {
        INT32 height = ClampToZero(k + 1 < ControlCount ? (UINT32)Settings.CtrlSize : (UINT32)r.bottom - gap - y);
        MoveWindow(ControlHandles[k], (INT32)gap, (INT32)y, width, height, FALSE);
        y = y + (UINT32)height + gap;
    }
}
