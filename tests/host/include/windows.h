// Host stand-in for <windows.h>: the types, constants and declarations that
// the program uses, so that its sources compile and run on the build machine.
// The functions are implemented by the recording stand-in (fake_windows.cpp).
#pragma once
#include <stddef.h>
#include <stdint.h>

#define WINAPI
#define CALLBACK
#define FALSE 0
#define TRUE 1

typedef int BOOL;
typedef unsigned char BYTE;
typedef unsigned short WORD;
typedef uint32_t DWORD;
typedef unsigned int UINT;
typedef int INT;
typedef int32_t LONG;
typedef int16_t SHORT;
typedef uint8_t UINT8;
typedef uint32_t UINT32;
typedef int32_t INT32;
typedef uint64_t UINT64;
typedef uintptr_t UINT_PTR;
typedef uintptr_t ULONG_PTR;
typedef uintptr_t DWORD_PTR;
typedef intptr_t INT_PTR;
typedef intptr_t LONG_PTR;
typedef size_t SIZE_T;
typedef UINT_PTR WPARAM;
typedef LONG_PTR LPARAM;
typedef LONG_PTR LRESULT;
typedef WORD ATOM;
typedef void *LPVOID;
typedef void *HANDLE;

#define DECLARE_HANDLE(name) struct name##__ { int unused; }; typedef struct name##__ *name
DECLARE_HANDLE(HWND);
DECLARE_HANDLE(HINSTANCE);
DECLARE_HANDLE(HFONT);
DECLARE_HANDLE(HMENU);
DECLARE_HANDLE(HICON);
DECLARE_HANDLE(HBRUSH);
typedef HINSTANCE HMODULE;
typedef HICON HCURSOR;
typedef void *HGDIOBJ;
typedef HANDLE HGLOBAL;
typedef HANDLE HLOCAL;

// The text unit follows the build choice: 16-bit units stand in for WCHAR.
typedef char CHAR;
typedef char16_t WCHAR;
#ifdef UNICODE
typedef WCHAR TCHAR;
#define TEXT_(q) u##q
#define TEXT(q) TEXT_(q) // expands macros first, as the platform's does
#else
typedef CHAR TCHAR;
#define TEXT(q) q
#endif
typedef TCHAR *LPTSTR;
typedef const TCHAR *LPCTSTR;

#define LOWORD(l) ((WORD)(((DWORD_PTR)(l)) & 0xffff))
#define HIWORD(l) ((WORD)((((DWORD_PTR)(l)) >> 16) & 0xffff))
#define MAKELONG(a, b) ((LONG)(((WORD)(((DWORD_PTR)(a)) & 0xffff)) | ((DWORD)((WORD)(((DWORD_PTR)(b)) & 0xffff))) << 16))
#define MAKEINTRESOURCE(i) ((LPTSTR)((ULONG_PTR)((WORD)(i))))

typedef struct tagRECT { LONG left, top, right, bottom; } RECT;
typedef struct tagPOINT { LONG x, y; } POINT;
typedef struct tagMSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
} MSG;

typedef LRESULT(CALLBACK *WNDPROC)(HWND, UINT, WPARAM, LPARAM);
typedef struct tagWNDCLASSEX {
    UINT cbSize;
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;
    LPCTSTR lpszMenuName;
    LPCTSTR lpszClassName;
    HICON hIconSm;
} WNDCLASSEX;

typedef struct _SYSTEM_INFO {
    WORD wProcessorArchitecture;
    WORD wReserved;
    DWORD dwPageSize;
    LPVOID lpMinimumApplicationAddress;
    LPVOID lpMaximumApplicationAddress;
    DWORD_PTR dwActiveProcessorMask;
    DWORD dwNumberOfProcessors;
    DWORD dwProcessorType;
    DWORD dwAllocationGranularity;
    WORD wProcessorLevel;
    WORD wProcessorRevision;
} SYSTEM_INFO;

// Messages, styles and other constants, with the platform's values.
#define WM_CREATE 0x0001
#define WM_DESTROY 0x0002
#define WM_SIZE 0x0005
#define WM_SETTEXT 0x000C
#define WM_GETTEXT 0x000D
#define WM_CLOSE 0x0010
#define WM_QUIT 0x0012
#define WM_SETFONT 0x0030
#define WM_GETFONT 0x0031
#define WM_KEYDOWN 0x0100
#define WM_KEYUP 0x0101
#define WM_CHAR 0x0102
#define WM_COMMAND 0x0111
#define EM_SETSEL 0x00B1
#define EM_LIMITTEXT 0x00C5
#define EM_SETMARGINS 0x00D3
#define EM_GETMARGINS 0x00D4
#define EC_LEFTMARGIN 0x0001
#define EC_RIGHTMARGIN 0x0002
#define WS_OVERLAPPEDWINDOW 0x00CF0000L
#define WS_CHILD 0x40000000L
#define WS_VISIBLE 0x10000000L
#define WS_BORDER 0x00800000L
#define WS_VSCROLL 0x00200000L
#define WS_TABSTOP 0x00010000L
#define ES_MULTILINE 0x0004L
#define ES_AUTOHSCROLL 0x0080L
#define ES_READONLY 0x0800L
#define BS_PUSHBUTTON 0x00000000L
#define CS_VREDRAW 0x0001
#define CS_HREDRAW 0x0002
#define CW_USEDEFAULT ((int)0x80000000)
#define SW_SHOWNORMAL 1
#define COLOR_WINDOW 5
#define DLGWINDOWEXTRA 30
#define IDC_ARROW MAKEINTRESOURCE(32512)
#define VK_CONTROL 0x11
#define FW_DONTCARE 0
#define DEFAULT_CHARSET 1
#define FIXED_PITCH 1
#define MEM_COMMIT 0x00001000
#define MEM_RESERVE 0x00002000
#define MEM_RELEASE 0x00008000
#define PAGE_READWRITE 0x04
#define GMEM_FIXED 0x0000
#define LMEM_FIXED 0x0000

// Functions that exist in a wide and a narrow form are declared under the
// generic name and mapped to the build's form, as the platform header does.
#ifdef UNICODE
#define FORM(name) name##W
#else
#define FORM(name) name##A
#endif
#define GetCommandLine FORM(GetCommandLine)
#define MessageBox FORM(MessageBox)
#define GetModuleHandle FORM(GetModuleHandle)
#define lstrlen FORM(lstrlen)
#define lstrcpy FORM(lstrcpy)
#define CreateFont FORM(CreateFont)
#define CreateWindowEx FORM(CreateWindowEx)
#define SetWindowText FORM(SetWindowText)
#define GetWindowText FORM(GetWindowText)
#define SendMessage FORM(SendMessage)
#define PostMessage FORM(PostMessage)
#define DefWindowProc FORM(DefWindowProc)
#define DefDlgProc FORM(DefDlgProc)
#define RegisterClassEx FORM(RegisterClassEx)
#define LoadCursor FORM(LoadCursor)
#define GetMessage FORM(GetMessage)
#define IsDialogMessage FORM(IsDialogMessage)
#define DispatchMessage FORM(DispatchMessage)

// KERNEL32
LPTSTR WINAPI GetCommandLine(void);
HMODULE WINAPI GetModuleHandle(LPCTSTR name);
void WINAPI ExitProcess(UINT code);
void WINAPI GetSystemInfo(SYSTEM_INFO *info);
LPVOID WINAPI VirtualAlloc(LPVOID address, SIZE_T size, DWORD type, DWORD protect);
BOOL WINAPI VirtualFree(LPVOID address, SIZE_T size, DWORD type);
HANDLE WINAPI GetProcessHeap(void);
LPVOID WINAPI HeapAlloc(HANDLE heap, DWORD flags, SIZE_T size);
BOOL WINAPI HeapFree(HANDLE heap, DWORD flags, LPVOID block);
HGLOBAL WINAPI GlobalAlloc(UINT flags, SIZE_T size);
HGLOBAL WINAPI GlobalFree(HGLOBAL block);
HLOCAL WINAPI LocalAlloc(UINT flags, SIZE_T size);
HLOCAL WINAPI LocalFree(HLOCAL block);
int WINAPI lstrlen(LPCTSTR text);
LPTSTR WINAPI lstrcpy(LPTSTR to, LPCTSTR from);

// USER32
int WINAPI MessageBox(HWND owner, LPCTSTR text, LPCTSTR caption, UINT type);
ATOM WINAPI RegisterClassEx(const WNDCLASSEX *wc);
HCURSOR WINAPI LoadCursor(HINSTANCE instance, LPCTSTR name);
HWND WINAPI CreateWindowEx(DWORD exStyle, LPCTSTR className, LPCTSTR text, DWORD style, int x, int y, int width,
                           int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param);
BOOL WINAPI ShowWindow(HWND window, int show);
BOOL WINAPI UpdateWindow(HWND window);
BOOL WINAPI MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint);
BOOL WINAPI GetClientRect(HWND window, RECT *rect);
BOOL WINAPI SetWindowText(HWND window, LPCTSTR text);
int WINAPI GetWindowText(HWND window, LPTSTR text, int max);
HWND WINAPI SetFocus(HWND window);
LRESULT WINAPI SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
BOOL WINAPI PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT WINAPI DefWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT WINAPI DefDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void WINAPI PostQuitMessage(int code);
BOOL WINAPI GetMessage(MSG *msg, HWND window, UINT first, UINT last);
BOOL WINAPI IsDialogMessage(HWND dialog, MSG *msg);
BOOL WINAPI TranslateMessage(const MSG *msg);
LRESULT WINAPI DispatchMessage(const MSG *msg);
SHORT WINAPI GetKeyState(int key);

// GDI32
HFONT WINAPI CreateFont(int height, int width, int escapement, int orientation, int weight, DWORD italic,
                        DWORD underline, DWORD strikeOut, DWORD charSet, DWORD outPrecision, DWORD clipPrecision,
                        DWORD quality, DWORD pitchAndFamily, LPCTSTR face);
BOOL WINAPI DeleteObject(HGDIOBJ object);
