// The recording stand-in for the platform calls of the program.
#include "fake_windows.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

namespace fake {

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define FAKE_UNDER_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(FAKE_UNDER_ASAN)
const bool AddressSanitizerRuns = true;
#else
const bool AddressSanitizerRuns = false;
#endif

World world;

static const HANDLE ProcessHeap = (HANDLE)(UINT_PTR)0x4EA9;
static const HMODULE ModuleInstance = (HMODULE)(UINT_PTR)0x400000;
static const HCURSOR ArrowCursor = (HCURSOR)(UINT_PTR)0xC0C0;
static const HFONT CreatedFont = (HFONT)(UINT_PTR)0xF047;

static void Record(const char *name, HWND window = nullptr, UINT message = 0, UINT_PTR a = 0, UINT_PTR b = 0,
                   UINT_PTR c = 0, UINT_PTR d = 0, const TCHAR *text = nullptr)
{
    Call call;
    call.name = name;
    call.window = window;
    call.message = message;
    call.a = a;
    call.b = b;
    call.c = c;
    call.d = d;
    if (text != nullptr) call.text = text;
    world.calls.push_back(call);
}

static void UnmapAll()
{
    for (auto &m : world.mappings) munmap((void *)m.first, m.second);
    world.mappings.clear();
    for (auto &a : world.allocations)
        if (a.result != nullptr) free(a.result);
    world.allocations.clear();
}

void Reset()
{
    UnmapAll();
    world = World();
    world.maxAddress = sizeof(void *) == 8 ? (UINT_PTR)0x7FFFFFFEFFFFull : (UINT_PTR)0x7FFEFFFFu;
    if (AddressSanitizerRuns) {
        // The sanitizer's shadow memory fills most of the host's address
        // space above these; a search through it would go on for ever.
        world.maxAddress = sizeof(void *) == 8 ? (UINT_PTR)0x7FFF0000u : (UINT_PTR)0x1FFF0000u;
    }
    SetCommandLine(TEXT("Vantoriel"));
}

void SetCommandLine(const TCHAR *text)
{
    world.commandLine.assign(text, text + Text(text).size() + 1);
}

Text ToText(const char *ascii)
{
    Text t;
    for (const char *p = ascii; *p; ++p) t.push_back((TCHAR)(unsigned char)*p);
    return t;
}

std::string Narrow(const Text &text)
{
    std::string s;
    for (TCHAR c : text) {
        UINT32 u = (UINT32)(sizeof(TCHAR) == 1 ? (unsigned char)c : c);
        if (u >= 0x20 && u < 0x7F) {
            s.push_back((char)u);
        } else {
            char buf[12];
            snprintf(buf, sizeof buf, "\\x%02X", u);
            s += buf;
        }
    }
    return s;
}

static HWND HandleOf(size_t index) { return (HWND)(UINT_PTR)(0x1000 + 0x10 * index); }

Window *FindWindow(HWND handle)
{
    UINT_PTR h = (UINT_PTR)handle;
    if (h < 0x1000 || (h - 0x1000) % 0x10 != 0) return nullptr;
    size_t index = (h - 0x1000) / 0x10;
    if (index >= world.windows.size() || world.windows[index].destroyed) return nullptr;
    return &world.windows[index];
}

Window &WindowById(UINT_PTR id)
{
    for (auto &w : world.windows)
        if (w.parent != nullptr && w.id == id) return w;
    static Window none;
    none = Window();
    return none;
}

std::vector<Call> CallsNamed(const std::string &name)
{
    std::vector<Call> found;
    for (auto &c : world.calls)
        if (c.name == name) found.push_back(c);
    return found;
}

std::vector<std::string> CallNames()
{
    std::vector<std::string> names;
    for (auto &c : world.calls) names.push_back(c.name);
    return names;
}

static HWND AddWindow(Window w)
{
    w.handle = HandleOf(world.windows.size());
    world.windows.push_back(w);
    return w.handle;
}

HWND MakeParent(RECT client)
{
    Window w;
    w.className = ToText("parent");
    w.client = client;
    w.font = world.mainWindowFont;
    return AddWindow(w);
}

static bool Overlaps(UINT_PTR start, UINT_PTR end)
{
    for (auto &t : world.taken)
        if (start < t.second && t.first < end) return true;
    return false;
}

static void *Allocate(const char *name, SIZE_T size)
{
    int index = (int)world.allocations.size();
    void *result = world.failingAllocations.count(index) ? nullptr : malloc(size);
    world.allocations.push_back({name, size, result});
    Record(name, nullptr, 0, size, (UINT_PTR)result);
    return result;
}

} // namespace fake

using namespace fake;

// KERNEL32

LPTSTR WINAPI GetCommandLine(void)
{
    Record("GetCommandLine");
    return world.commandLine.data();
}

HMODULE WINAPI GetModuleHandle(LPCTSTR name)
{
    Record("GetModuleHandle", nullptr, 0, (UINT_PTR)name);
    return ModuleInstance;
}

void WINAPI ExitProcess(UINT code)
{
    Record("ExitProcess", nullptr, 0, code);
    abort(); // the program never comes back from here
}

void WINAPI GetSystemInfo(SYSTEM_INFO *info)
{
    Record("GetSystemInfo");
    memset(info, 0xCC, sizeof *info); // fields the program must not use
    info->lpMinimumApplicationAddress = (LPVOID)world.minAddress;
    info->lpMaximumApplicationAddress = (LPVOID)world.maxAddress;
    info->dwAllocationGranularity = world.granularity;
}

LPVOID WINAPI VirtualAlloc(LPVOID address, SIZE_T size, DWORD type, DWORD protect)
{
    UINT_PTR a = (UINT_PTR)address;
    UINT_PTR start = a & ~(UINT_PTR)(world.granularity - 1);
    UINT_PTR end = start + world.granularity;
    Record("VirtualAlloc", nullptr, 0, a, size, type, protect);
    if (world.failingAddresses.count(a) || Overlaps(start, end == 0 ? ~(UINT_PTR)0 : end)) return nullptr;

    if (world.backWithMemory) {
        size_t page = (size_t)sysconf(_SC_PAGESIZE);
        size_t length = ((a + size - start) + page - 1) / page * page;
        void *got = mmap((void *)start, length, PROT_READ | PROT_WRITE,
                         MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
        if (got == MAP_FAILED || got != (void *)start) {
            if (got != MAP_FAILED) munmap(got, length);
            ++world.hostRefusals;
            return nullptr;
        }
        world.mappings[start] = length;
    }
    world.taken.push_back({start, end});
    return (LPVOID)start;
}

BOOL WINAPI VirtualFree(LPVOID address, SIZE_T size, DWORD type)
{
    Record("VirtualFree", nullptr, 0, (UINT_PTR)address, size, type);
    auto m = world.mappings.find((UINT_PTR)address);
    if (m != world.mappings.end()) {
        munmap(address, m->second);
        world.mappings.erase(m);
    }
    return TRUE;
}

HANDLE WINAPI GetProcessHeap(void)
{
    Record("GetProcessHeap");
    return ProcessHeap;
}

LPVOID WINAPI HeapAlloc(HANDLE heap, DWORD flags, SIZE_T size)
{
    void *block = Allocate("HeapAlloc", size);
    world.calls.back().c = (UINT_PTR)heap;
    world.calls.back().d = flags;
    return block;
}

HGLOBAL WINAPI GlobalAlloc(UINT flags, SIZE_T size)
{
    void *block = Allocate("GlobalAlloc", size);
    world.calls.back().c = flags;
    return block;
}

HLOCAL WINAPI LocalAlloc(UINT flags, SIZE_T size)
{
    void *block = Allocate("LocalAlloc", size);
    world.calls.back().c = flags;
    return block;
}

// The frees are recorded; the memory itself goes back at the next Reset, so
// that a test may still look at what was written.
BOOL WINAPI HeapFree(HANDLE heap, DWORD flags, LPVOID block)
{
    Record("HeapFree", nullptr, 0, (UINT_PTR)block, (UINT_PTR)heap, flags);
    return TRUE;
}

HGLOBAL WINAPI GlobalFree(HGLOBAL block)
{
    Record("GlobalFree", nullptr, 0, (UINT_PTR)block);
    return nullptr;
}

HLOCAL WINAPI LocalFree(HLOCAL block)
{
    Record("LocalFree", nullptr, 0, (UINT_PTR)block);
    return nullptr;
}

int WINAPI lstrlen(LPCTSTR text)
{
    int n = 0;
    while (text[n]) ++n;
    return n;
}

LPTSTR WINAPI lstrcpy(LPTSTR to, LPCTSTR from)
{
    int i = 0;
    do to[i] = from[i];
    while (from[i++]);
    return to;
}

// USER32

int WINAPI MessageBox(HWND owner, LPCTSTR text, LPCTSTR caption, UINT type)
{
    Record("MessageBox", owner, 0, type, 0, 0, 0, text);
    world.messageBoxes.push_back({owner, text ? Text(text) : Text(), caption == nullptr, type});
    return 1;
}

ATOM WINAPI RegisterClassEx(const WNDCLASSEX *wc)
{
    Record("RegisterClassEx");
    world.classes.push_back(*wc);
    world.classNames.push_back(wc->lpszClassName);
    return (ATOM)world.classes.size();
}

HCURSOR WINAPI LoadCursor(HINSTANCE instance, LPCTSTR name)
{
    Record("LoadCursor", nullptr, 0, (UINT_PTR)instance, (UINT_PTR)name);
    return ArrowCursor;
}

HWND WINAPI CreateWindowEx(DWORD exStyle, LPCTSTR className, LPCTSTR text, DWORD style, int x, int y, int width,
                           int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param)
{
    Record("CreateWindowEx", parent, 0, style, (UINT_PTR)menu, (UINT_PTR)instance, (UINT_PTR)param, className);
    Window w;
    w.parent = parent;
    w.className = className;
    w.exStyle = exStyle;
    w.style = style;
    w.id = (UINT_PTR)menu;
    w.text = text;
    w.x = x;
    w.y = y;
    w.width = width;
    w.height = height;
    if (w.className == ToText("EDIT")) w.margins = world.newEditMargins;
    for (size_t k = 0; k < world.classes.size(); ++k)
        if (world.classNames[k] == w.className) w.proc = world.classes[k].lpfnWndProc;
    if (w.proc == nullptr) return AddWindow(w);

    if (world.failMainWindow) return nullptr;
    w.client = world.newClientRect;
    w.font = world.mainWindowFont;
    HWND handle = AddWindow(w);
    if (w.proc(handle, WM_CREATE, 0, 0) == -1) {
        world.windows.back().destroyed = true;
        return nullptr;
    }
    return handle;
}

BOOL WINAPI ShowWindow(HWND window, int show)
{
    Record("ShowWindow", window, 0, (UINT_PTR)show);
    return FALSE;
}

BOOL WINAPI UpdateWindow(HWND window)
{
    Record("UpdateWindow", window);
    return TRUE;
}

BOOL WINAPI MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint)
{
    Record("MoveWindow", window, (UINT)repaint, (UINT_PTR)x, (UINT_PTR)y, (UINT_PTR)width, (UINT_PTR)height);
    Window *w = FindWindow(window);
    if (w == nullptr) return FALSE;
    w->x = x;
    w->y = y;
    w->width = width;
    w->height = height;
    ++w->moves;
    return TRUE;
}

BOOL WINAPI GetClientRect(HWND window, RECT *rect)
{
    Record("GetClientRect", window);
    Window *w = FindWindow(window);
    if (w == nullptr) return FALSE;
    *rect = w->client;
    return TRUE;
}

BOOL WINAPI SetWindowText(HWND window, LPCTSTR text)
{
    Record("SetWindowText", window, 0, 0, 0, 0, 0, text);
    Window *w = FindWindow(window);
    if (w == nullptr) return FALSE;
    w->text = text;
    return TRUE;
}

// A failed read writes nothing, the least the platform promises.
int WINAPI GetWindowText(HWND window, LPTSTR text, int max)
{
    Record("GetWindowText", window, 0, (UINT_PTR)max);
    Window *w = FindWindow(window);
    if (w == nullptr || max <= 0) return 0;
    size_t n = w->text.size() < (size_t)(max - 1) ? w->text.size() : (size_t)(max - 1);
    for (size_t i = 0; i < n; ++i) text[i] = w->text[i];
    text[n] = 0;
    return (int)n;
}

HWND WINAPI SetFocus(HWND window)
{
    Record("SetFocus", window);
    HWND previous = world.focus;
    world.focus = window;
    return previous;
}

LRESULT WINAPI SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    Record("SendMessage", window, message, wParam, (UINT_PTR)lParam);
    Window *w = FindWindow(window);
    if (w == nullptr) return 0;
    switch (message) {
    case WM_GETFONT: return (LRESULT)w->font;
    case WM_SETFONT: w->font = (HFONT)wParam; return 0;
    case EM_LIMITTEXT: w->limit = wParam; return 0;
    case EM_GETMARGINS: return (LRESULT)w->margins;
    case EM_SETMARGINS:
        if (wParam & EC_LEFTMARGIN) w->margins = (w->margins & 0xFFFF0000u) | LOWORD(lParam);
        if (wParam & EC_RIGHTMARGIN) w->margins = (w->margins & 0xFFFFu) | ((DWORD)HIWORD(lParam) << 16);
        return 0;
    }
    if (w->proc != nullptr) return w->proc(window, message, wParam, lParam);
    return 0;
}

BOOL WINAPI PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    Record("PostMessage", window, message, wParam, (UINT_PTR)lParam);
    MSG msg = {window, message, wParam, lParam, 0, {0, 0}};
    world.queue.push_back({msg, TRUE});
    return TRUE;
}

LRESULT WINAPI DefWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    Record("DefWindowProc", window, message, wParam, (UINT_PTR)lParam);
    Window *w = FindWindow(window);
    if (message == WM_CLOSE && w != nullptr) {
        WNDPROC proc = w->proc;
        if (proc != nullptr) proc(window, WM_DESTROY, 0, 0);
        w = FindWindow(window);
        if (w != nullptr) w->destroyed = true;
        return 0;
    }
    return DefWindowProcAnswer;
}

LRESULT WINAPI DefDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    Record("DefDlgProc", window, message, wParam, (UINT_PTR)lParam);
    return DefDlgProcAnswer;
}

void WINAPI PostQuitMessage(int code)
{
    Record("PostQuitMessage", nullptr, 0, (UINT_PTR)code);
    MSG msg = {nullptr, WM_QUIT, (WPARAM)code, 0, 0, {0, 0}};
    world.queue.push_back({msg, FALSE});
}

BOOL WINAPI GetMessage(MSG *msg, HWND window, UINT first, UINT last)
{
    Record("GetMessage", window, 0, first, last);
    if (world.queue.empty()) return -1; // a test that forgot to end its loop
    QueuedMessage next = world.queue.front();
    world.queue.pop_front();
    *msg = next.msg;
    return next.result;
}

BOOL WINAPI IsDialogMessage(HWND dialog, MSG *msg)
{
    Record("IsDialogMessage", dialog, msg->message, msg->wParam);
    return world.dialogMessages.count(msg->message) ? TRUE : FALSE;
}

BOOL WINAPI TranslateMessage(const MSG *msg)
{
    Record("TranslateMessage", msg->hwnd, msg->message, msg->wParam);
    return TRUE;
}

LRESULT WINAPI DispatchMessage(const MSG *msg)
{
    Record("DispatchMessage", msg->hwnd, msg->message, msg->wParam);
    Window *w = FindWindow(msg->hwnd);
    if (w != nullptr && w->proc != nullptr) return w->proc(msg->hwnd, msg->message, msg->wParam, msg->lParam);
    return 0;
}

SHORT WINAPI GetKeyState(int key)
{
    Record("GetKeyState", nullptr, 0, (UINT_PTR)key);
    if (key == VK_CONTROL && world.controlDown) return (SHORT)0xFF80;
    return 0;
}

// GDI32

HFONT WINAPI CreateFont(int height, int width, int escapement, int orientation, int weight, DWORD italic,
                        DWORD underline, DWORD strikeOut, DWORD charSet, DWORD outPrecision, DWORD clipPrecision,
                        DWORD quality, DWORD pitchAndFamily, LPCTSTR face)
{
    Record("CreateFont", nullptr, 0, (UINT_PTR)height, 0, 0, 0, face);
    world.fonts.push_back({height, width, escapement, orientation, weight, italic, underline, strikeOut, charSet,
                           outPrecision, clipPrecision, quality, pitchAndFamily, face});
    return world.failFont ? nullptr : CreatedFont;
}

BOOL WINAPI DeleteObject(HGDIOBJ object)
{
    Record("DeleteObject", nullptr, 0, (UINT_PTR)object);
    return TRUE;
}
