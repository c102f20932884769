// Host stand-in for the other side of vantoriel-ctl: a scripted world of
// processes, their top-level windows and controls, and their memory, on a
// virtual clock. The platform calls that ctl/remote.cpp and ctl/verbs.cpp
// make are answered from it; nothing sleeps for real. Test code only.
#pragma once
#include <windows.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace world {

using Wide = std::u16string;

struct Region {
    UINT64 base = 0, size = 0;
    UINT64 allocationBase = 0;
    DWORD protect = PAGE_READWRITE;
    DWORD type = MEM_PRIVATE;
    std::vector<unsigned char> bytes; // size of them
};

struct Window {
    HWND handle = nullptr;
    DWORD pid = 0;
    HWND parent = nullptr;      // null for a top-level window
    int id = 0;                 // a control's
    Wide cls, title, text;
    UINT64 appearsAt = 0;       // exists, and is shown, from this time on
    bool visible = true;
    bool otherDesktop = false;  // on a desktop the companion's EnumWindows does not see
    bool gone = false;
};

struct Process {
    DWORD pid = 0;
    Wide image;                 // the path QueryFullProcessImageNameW gives
    bool answers = true;        // false: stopped, its windows answer no message
    bool elevated = false;      // messages and OpenProcess refused with ERROR_ACCESS_DENIED
    bool denyOpen = false;      // OpenProcess refused with ERROR_ACCESS_DENIED
    bool ended = false;
    DWORD exitCode = 259;       // STILL_ACTIVE
    UINT64 endsAt = 0;          // ends by itself then (0: never)
    bool closeQueued = false;   // a WM_CLOSE posted while it did not answer
    std::vector<Region> regions;
    // A Vantoriel's state, for those AddVantoriel made.
    bool vantoriel = false;
    bool is32 = false;
    HWND main = nullptr;
    std::vector<std::pair<UINT32, UINT64>> targets; // kind, address, in report order
    bool garbleAfterPress = false; // the report does not parse after a press
    std::function<void()> onBoxAnswered; // a usage box's OK: what the program does then
};

// One message sent, as the companion sent it.
struct Sent {
    HWND window;
    UINT message;
    WPARAM wParam;
    Wide text;                  // WM_SETTEXT's
    UINT timeout;               // the bound it was given
    UINT64 at;                  // the clock when it was sent
    DWORD error;                // 0 when answered
};

// A failure injected into SendMessageTimeoutW: the nth (from 1) message
// of this kind to this window (null: any) fails with error.
struct SendFailure {
    HWND window;
    UINT message;
    int nth;
    DWORD error;                // ERROR_TIMEOUT also spends the message's whole bound
    bool applied = false;       // the message ran although it was not confirmed (Wine keeps it)
    int seen = 0;
};

struct World {
    UINT64 now = 0;             // the virtual clock, in milliseconds
    DWORD lastError = 0;
    std::vector<Window> windows; // top-level ones in Z order, controls after their parent
    std::map<DWORD, Process> processes;
    DWORD nextPid = 0x100;
    // Handles given out: process handles with their pid and access.
    struct Handle { DWORD pid; DWORD access; bool thread; };
    std::map<UINT_PTR, Handle> handles;
    UINT_PTR nextHandle = 0x1000;

    std::vector<Sent> sent;
    std::vector<SendFailure> sendFailures;
    std::map<int, DWORD> writeFailures;        // by WriteProcessMemory call number (from 1): its error
    int writeCalls = 0;
    std::map<UINT64, int> readFailures;        // ReadProcessMemory at this address fails after n good reads
    // Called as GetClassNameW looks at a window: the world may change then.
    std::function<void(HWND)> onLook;
    std::map<std::string, int> calls;          // platform calls by name

    // CreateProcessW: what it was given, and what the started program does
    // (null: the file does not start, ERROR_FILE_NOT_FOUND).
    Wide createdApplication, createdCommandLine, createdFolder;
    int creates = 0;
    std::function<void(DWORD pid)> onCreate;

    // The companion's own place.
    Wide selfPath = u"C:\\ctl\\vantoriel-ctl.exe";
    Wide windowStation = u"WinSta0", threadDesktop = u"Default";
    bool inputDesktopOpens = true;
    Wide inputDesktop = u"Default";
    std::map<Wide, std::string> files;         // path to contents; exists for GetFileAttributesW
    std::string standardInput;
    DWORD largestImageNameBuffer = 0;          // the largest buffer QueryFullProcessImageNameW was given
};

extern World W;

// Empties the world and sets the clock to 0.
void Reset();

// A running Vantoriel of either build, with its main window (shown at
// appearsAt), the six controls, its targets in memory (all holding value) and
// its report; the process id. Its image is at imageBase (0: the build's
// usual one), image the path it runs from.
struct VantorielSetup {
    bool is32 = false;
    UINT32 value = 151;
    UINT64 imageBase = 0;
    UINT64 appearsAt = 0;
    Wide image;                 // empty: C:\v\Vantoriel64.exe (or 32)
    DWORD pid = 0;              // 0: the next free one
};
DWORD AddVantoriel(const VantorielSetup &setup);
DWORD AddVantoriel(bool is32 = false);

// A usage box of process pid, shown at appearsAt.
HWND AddUsageBox(DWORD pid, UINT64 appearsAt);

Process &ProcessOf(DWORD pid);
Window *WindowOf(HWND handle);
HWND Control(DWORD pid, int id);

// The report of a Vantoriel, rebuilt from what its memory holds now.
void RebuildReport(DWORD pid);
// What memory holds at address in process pid (0xDEADDEAD if nothing is there).
UINT32 Memory(DWORD pid, UINT64 address);
void SetMemory(DWORD pid, UINT64 address, UINT32 value);
// Makes the page of address unreadable (PAGE_NOACCESS), or read-only.
void SetProtection(DWORD pid, UINT64 address, DWORD protect);

// Ends a process as if it exited with code: its windows are gone.
void EndProcess(DWORD pid, DWORD code);

// The messages sent to window (or to its controls, with controls) of one message kind.
int CountSent(UINT message);

// Handles given out and not closed.
size_t OpenHandles();

// The image's size in its headers: the SizeOfImage AddVantoriel writes.
const UINT64 ImageSize = 0x5000;
// Vantoriel64's usual image base; below 4 GiB where the tests run as a 32-bit
// process, whose pointers cannot hold more.
const UINT64 ImageBase64 = sizeof(void *) == 8 ? 0x140000000 : 0x40000000;

} // namespace world
