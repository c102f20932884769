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

// ---------------------------------------------------------------- the companion
// What vantoriel-ctl calls to find, drive and read another process, always
// in the wide form; the companion's host tests implement these
// (tests/host/ctl/remote_standin.cpp), the program's own tests do not use them.

// Wide literals: WCHAR is 16-bit here, wider than the host's wchar_t.
#define WIDE(q) u##q

typedef const void *LPCVOID;
typedef HANDLE HDESK;
typedef HANDLE HWINSTA;
typedef BOOL(CALLBACK *WNDENUMPROC)(HWND, LPARAM);
typedef union _LARGE_INTEGER {
    struct { DWORD LowPart; LONG HighPart; } u;
    int64_t QuadPart;
} LARGE_INTEGER;

typedef struct _PROCESS_INFORMATION {
    HANDLE hProcess;
    HANDLE hThread;
    DWORD dwProcessId;
    DWORD dwThreadId;
} PROCESS_INFORMATION;

typedef struct _STARTUPINFOW {
    DWORD cb;
    WCHAR *lpReserved;
    WCHAR *lpDesktop;
    WCHAR *lpTitle;
    DWORD dwX, dwY, dwXSize, dwYSize, dwXCountChars, dwYCountChars, dwFillAttribute, dwFlags;
    WORD wShowWindow, cbReserved2;
    BYTE *lpReserved2;
    HANDLE hStdInput, hStdOutput, hStdError;
} STARTUPINFOW;

typedef struct _SECURITY_ATTRIBUTES {
    DWORD nLength;
    LPVOID lpSecurityDescriptor;
    BOOL bInheritHandle;
} SECURITY_ATTRIBUTES;

typedef struct _FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
} FILETIME;
typedef struct _MEMORY_BASIC_INFORMATION {
    LPVOID BaseAddress;
    LPVOID AllocationBase;
    DWORD AllocationProtect;
    SIZE_T RegionSize;
    DWORD State;
    DWORD Protect;
    DWORD Type;
} MEMORY_BASIC_INFORMATION;

#define MAX_PATH 260
#define INFINITE 0xFFFFFFFF
#define INVALID_HANDLE_VALUE ((HANDLE)(LONG_PTR)-1)
#define MAKEWPARAM(l, h) ((WPARAM)(DWORD)MAKELONG(l, h))
#define WM_GETTEXTLENGTH 0x000E
#define BN_CLICKED 0
#define IDOK 1
#define IDCANCEL 2
#define GW_HWNDNEXT 2
#define GW_OWNER 4
#define GWL_STYLE (-16)
#define SMTO_NORMAL 0x0000
#define SMTO_BLOCK 0x0001
#define SMTO_ABORTIFHUNG 0x0002
#define WAIT_OBJECT_0 0x00000000
#define WAIT_TIMEOUT 0x00000102
#define WAIT_FAILED 0xFFFFFFFF
#define SYNCHRONIZE 0x00100000
#define PROCESS_TERMINATE 0x0001
#define PROCESS_VM_OPERATION 0x0008
#define PROCESS_VM_READ 0x0010
#define PROCESS_VM_WRITE 0x0020
#define PROCESS_DUP_HANDLE 0x0040
#define PROCESS_QUERY_INFORMATION 0x0400
#define PROCESS_QUERY_LIMITED_INFORMATION 0x1000
#define DETACHED_PROCESS 0x00000008
#define MEM_FREE 0x00010000
#define MEM_PRIVATE 0x00020000
#define MEM_MAPPED 0x00040000
#define MEM_IMAGE 0x01000000
#define PAGE_NOACCESS 0x01
#define PAGE_READONLY 0x02
#define PAGE_WRITECOPY 0x08
#define PAGE_EXECUTE 0x10
#define PAGE_EXECUTE_READ 0x20
#define PAGE_EXECUTE_READWRITE 0x40
#define PAGE_EXECUTE_WRITECOPY 0x80
#define PAGE_GUARD 0x100
#define CP_UTF8 65001
#define GENERIC_READ 0x80000000
#define FILE_SHARE_READ 0x00000001
#define FILE_SHARE_WRITE 0x00000002
#define OPEN_EXISTING 3
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010
#define FILE_ATTRIBUTE_NORMAL 0x00000080
#define INVALID_FILE_ATTRIBUTES ((DWORD)-1)
#define STD_INPUT_HANDLE ((DWORD)-10)
#define UOI_FLAGS 1
#define UOI_NAME 2
#define UOI_TYPE 3
#define DESKTOP_READOBJECTS 0x0001
#define ERROR_SUCCESS 0
#define ERROR_FILE_NOT_FOUND 2
#define ERROR_ACCESS_DENIED 5
#define ERROR_INVALID_HANDLE 6
#define ERROR_HANDLE_EOF 38
#define ERROR_INVALID_PARAMETER 87
#define ERROR_BROKEN_PIPE 109
#define ERROR_INSUFFICIENT_BUFFER 122
#define ERROR_FILENAME_EXCED_RANGE 206
#define ERROR_PARTIAL_COPY 299
#define ERROR_NOACCESS 998
#define ERROR_INVALID_WINDOW_HANDLE 1400
#define ERROR_TIMEOUT 1460

// KERNEL32, wide forms
DWORD WINAPI GetLastError(void);
void WINAPI SetLastError(DWORD error);
DWORD WINAPI GetCurrentProcessId(void);
DWORD WINAPI GetCurrentThreadId(void);
UINT64 WINAPI GetTickCount64(void);
void WINAPI Sleep(DWORD milliseconds);
BOOL WINAPI CloseHandle(HANDLE handle);
DWORD WINAPI WaitForSingleObject(HANDLE handle, DWORD milliseconds);
HANDLE WINAPI CreateEventW(SECURITY_ATTRIBUTES *attributes, BOOL manual, BOOL initial, const WCHAR *name);
BOOL WINAPI SetEvent(HANDLE event);
typedef DWORD(WINAPI *LPTHREAD_START_ROUTINE)(LPVOID);
HANDLE WINAPI CreateThread(SECURITY_ATTRIBUTES *attributes, SIZE_T stack, LPTHREAD_START_ROUTINE start, LPVOID parameter,
                           DWORD flags, DWORD *id);
HANDLE WINAPI OpenProcess(DWORD access, BOOL inherit, DWORD pid);
BOOL WINAPI CreateProcessW(const WCHAR *application, WCHAR *commandLine, SECURITY_ATTRIBUTES *processAttributes,
                           SECURITY_ATTRIBUTES *threadAttributes, BOOL inherit, DWORD flags, LPVOID environment,
                           const WCHAR *folder, STARTUPINFOW *startup, PROCESS_INFORMATION *information);
BOOL WINAPI TerminateProcess(HANDLE process, UINT code);
BOOL WINAPI GetExitCodeProcess(HANDLE process, DWORD *code);
BOOL WINAPI QueryFullProcessImageNameW(HANDLE process, DWORD flags, WCHAR *name, DWORD *size);
BOOL WINAPI GetProcessTimes(HANDLE process, FILETIME *created, FILETIME *exited, FILETIME *kernel, FILETIME *user);
BOOL WINAPI ProcessIdToSessionId(DWORD pid, DWORD *session);
BOOL WINAPI ReadProcessMemory(HANDLE process, LPCVOID address, LPVOID buffer, SIZE_T size, SIZE_T *done);
BOOL WINAPI WriteProcessMemory(HANDLE process, LPVOID address, LPCVOID buffer, SIZE_T size, SIZE_T *done);
SIZE_T WINAPI VirtualQueryEx(HANDLE process, LPCVOID address, MEMORY_BASIC_INFORMATION *info, SIZE_T size);
int WINAPI WideCharToMultiByte(UINT codePage, DWORD flags, const WCHAR *wide, int wideLength, char *bytes,
                               int byteLength, const char *defaultChar, BOOL *usedDefault);
DWORD WINAPI GetFullPathNameW(const WCHAR *name, DWORD size, WCHAR *path, WCHAR **file);
DWORD WINAPI GetModuleFileNameW(HMODULE module, WCHAR *name, DWORD size);
DWORD WINAPI GetFileAttributesW(const WCHAR *name);
HANDLE WINAPI CreateFileW(const WCHAR *name, DWORD access, DWORD share, SECURITY_ATTRIBUTES *security,
                          DWORD disposition, DWORD flags, HANDLE templateFile);
HANDLE WINAPI GetStdHandle(DWORD which);
BOOL WINAPI GetFileSizeEx(HANDLE file, LARGE_INTEGER *size);
BOOL WINAPI ReadFile(HANDLE file, LPVOID buffer, DWORD size, DWORD *done, LPVOID overlapped);

// USER32, wide forms
HWND WINAPI FindWindowW(const WCHAR *className, const WCHAR *title);
BOOL WINAPI EnumWindows(WNDENUMPROC callback, LPARAM parameter);
BOOL WINAPI EnumDesktopWindows(HDESK desktop, WNDENUMPROC callback, LPARAM parameter);
HWND WINAPI GetWindow(HWND window, UINT relation);
HWND WINAPI GetDlgItem(HWND dialog, int id);
int WINAPI GetClassNameW(HWND window, WCHAR *name, int capacity);
int WINAPI GetWindowTextW(HWND window, WCHAR *text, int capacity);
LONG_PTR WINAPI GetWindowLongPtrW(HWND window, int index);
BOOL WINAPI IsWindowVisible(HWND window);
DWORD WINAPI GetWindowThreadProcessId(HWND window, DWORD *pid);
LRESULT WINAPI SendMessageTimeoutW(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT flags,
                                   UINT milliseconds, DWORD_PTR *result);
BOOL WINAPI PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
HWINSTA WINAPI GetProcessWindowStation(void);
HDESK WINAPI GetThreadDesktop(DWORD thread);
HDESK WINAPI OpenInputDesktop(DWORD flags, BOOL inherit, DWORD access);
BOOL WINAPI CloseDesktop(HDESK desktop);
BOOL WINAPI GetUserObjectInformationW(HANDLE object, int index, LPVOID information, DWORD size, DWORD *needed);
