// The host stand-in for the platform: every call the program makes is
// recorded, and a test describes the world the program sees (command line,
// address space, windows, message queue, failures).
#pragma once
#include <windows.h>

#include <deque>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace fake {

using Text = std::basic_string<TCHAR>;

// One recorded platform call: its name and the arguments that matter.
struct Call {
    std::string name;
    HWND window = nullptr;
    UINT message = 0;
    UINT_PTR a = 0, b = 0, c = 0, d = 0;
    Text text;
};

struct MessageBoxCall {
    HWND owner;
    Text text;
    bool captionIsNull;
    UINT type;
};

struct FontCall {
    int height, width, escapement, orientation, weight;
    DWORD italic, underline, strikeOut, charSet, outPrecision, clipPrecision, quality, pitchAndFamily;
    LPCTSTR face;
};

struct Window {
    HWND handle = nullptr;
    HWND parent = nullptr;
    Text className;
    DWORD exStyle = 0;
    DWORD style = 0;
    UINT_PTR id = 0;
    Text text;
    RECT client = {0, 0, 0, 0};
    int x = 0, y = 0, width = 0, height = 0;
    int moves = 0;
    HFONT font = nullptr;
    WPARAM limit = 0;
    DWORD margins = 0;
    WNDPROC proc = nullptr;
    bool destroyed = false;
};

struct QueuedMessage {
    MSG msg;
    BOOL result; // what GetMessage answers for it
};

struct AllocatorCall {
    std::string name; // HeapAlloc, GlobalAlloc, LocalAlloc
    SIZE_T size;
    void *result;
};

struct World {
    // Command line.
    std::vector<TCHAR> commandLine;
    std::vector<MessageBoxCall> messageBoxes;

    // Address space for the mapped targets.
    UINT_PTR minAddress = 0x10000;
    UINT_PTR maxAddress = 0;
    DWORD granularity = 0x10000;
    std::vector<std::pair<UINT_PTR, UINT_PTR>> taken; // [start, end)
    std::set<UINT_PTR> failingAddresses;              // VirtualAlloc fails here
    bool backWithMemory = true;                       // map real pages
    int hostRefusals = 0;                             // pages the host could not map
    std::map<UINT_PTR, size_t> mappings;              // region start -> mapped bytes

    // Heap allocators: indices (in call order, from 0) of calls that fail.
    std::set<int> failingAllocations;
    std::vector<AllocatorCall> allocations;

    // Windows.
    std::vector<Window> windows;
    std::vector<WNDCLASSEX> classes;
    std::vector<Text> classNames;
    HFONT mainWindowFont = nullptr; // WM_GETFONT answer of top-level windows
    RECT newClientRect = {0, 0, 326, 556};
    DWORD newEditMargins = 0; // what EM_GETMARGINS answers for a new edit
    bool failMainWindow = false;
    bool failFont = false;
    HWND focus = nullptr;
    std::vector<FontCall> fonts;

    // Message loop.
    std::deque<QueuedMessage> queue;
    std::set<UINT> dialogMessages; // IsDialogMessage answers TRUE for these
    bool controlDown = false;

    std::vector<Call> calls;
};

extern World world;

// The recognisable answers of the default window procedures.
const LRESULT DefDlgProcAnswer = 0x0D1A;
const LRESULT DefWindowProcAnswer = 0x0DEF;

// Back to an empty world: nothing recorded, the default address space of a
// 64-bit or 32-bit process, no windows; releases what the last test mapped.
void Reset();

void SetCommandLine(const TCHAR *text);
Text ToText(const char *ascii);
std::string Narrow(const Text &text); // for messages: non-ASCII as \xNN

Window *FindWindow(HWND handle);
Window &WindowById(UINT_PTR id);
std::vector<Call> CallsNamed(const std::string &name);
std::vector<std::string> CallNames();

// A top-level window that stands in for the main window when a test calls
// the controls' or commands' code on its own.
HWND MakeParent(RECT client);

} // namespace fake
