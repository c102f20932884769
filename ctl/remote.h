// remote.h: a running Vantoriel seen from another process: starting and
// finding it, its controls, its report and its memory. Used by vantoriel-ctl
// and by the end-to-end driver; needs no C runtime.
#pragma once
#include <windows.h>

#include "ctl/kind.h"

// Wide literals, L"..." on Windows (the host tests' <windows.h> gives its own).
#ifndef WIDE
#define WIDE(q) L##q
#endif

// What a build's window class tells about it.
struct RemoteBuild {
    const WCHAR *name;      // class name and title: L"Vantoriel64" or L"Vantoriel32"
    UINT32 mappedCount;     // 128 or 64 mapped slots
    UINT32 addressDigits;   // 16 or 8
    const char *program;    // the name as the companion prints it: "Vantoriel64" or "Vantoriel32"
};
extern const RemoteBuild Builds[2]; // Vantoriel64, Vantoriel32

struct Remote {
    DWORD pid;
    HANDLE process;         // may read memory, wait, and give the exit code
    HWND window;
    HWND controls[6];       // ids 1000 to 1005, in id order
    const RemoteBuild *build;
};

// Control ids: the two range fields, the three buttons and the report.
enum { ID_LOW = 1000, ID_HIGH = 1001, ID_WRITE_A = 1002, ID_WRITE_B = 1003, ID_READ = 1004, ID_REPORT = 1005 };

// A thread of the companion for calls that may never come back (a message
// to, or a memory call on, a Vantoriel stopped by a debugger): RunBounded
// hands it carry(call) and waits at most milliseconds. Once one call does
// not come back, it and every later one give false with ERROR_TIMEOUT.
// Without a thread to spare, the calls are made by the caller, unbounded.
struct BoundedWorker {
    void (*carry)(void *call);
    void *call;
    HANDLE go, done;
    BOOL stuck, alone;
};
BOOL RunBounded(BoundedWorker *worker, DWORD milliseconds);

// Whether two texts are the same, unit for unit.
BOOL SameText(const WCHAR *a, const WCHAR *b);

// Main windows of running Vantoriels on this desktop, each process once: up
// to capacity of them into windows; the count found.
UINT32 FindVantoriels(HWND *windows, UINT32 capacity);

// Whether the companion runs on the desktop that takes the user's input,
// where a Vantoriel started by the user shows; false under a service, in
// another session or when it cannot be told.
BOOL OnInputDesktop();

// Fills remote for a main window found, opening its process to read and
// write its memory. False if the process cannot be opened (GetLastError
// tells why; remote->pid and remote->build are filled all the same).
BOOL AttachRemote(HWND window, Remote *remote);
void DetachRemote(Remote *remote);

// Starts exe with arguments (may be null) as its command line, from exe's
// folder. A path of MAX_PATH units or more, or a command line that with its
// terminating null is longer than the 32,767 units the platform takes, is
// refused (ERROR_FILENAME_EXCED_RANGE), never cut.
BOOL StartProgram(const WCHAR *exe, const WCHAR *arguments, PROCESS_INFORMATION *started);

// What a started process has shown: StartReady, StartUsageBox and
// StartEnded end the wait; the others tell how far it got in the time given.
enum StartState { StartReady, StartUsageBox, StartEnded, StartNoWindow, StartNoAnswer, StartNoReport };
// Waits, for milliseconds in all, until the started process shows its main
// window with a report, or its usage box (*box then holds it), or ends. Each
// message to it is bounded by RemoteAnswerMs and by what is left of the
// whole. On StartReady, remote is attached to it (with its own handle, which
// DetachRemote closes); on StartNoAnswer, the shown window did not answer
// and GetLastError tells why (ERROR_ACCESS_DENIED ends the wait at once).
UINT32 WaitForStart(const PROCESS_INFORMATION *started, DWORD milliseconds, Remote *remote, HWND *box);

// The longest wait for Vantoriel's answer to one message, in milliseconds.
// A Vantoriel stopped by a debugger, or by a scanner that suspends its
// target while it scans, answers none; a command of a busy or emulated one
// takes seconds. The calls below give false when it has not answered, and
// GetLastError tells why, as SendMessageTimeout left it: ERROR_TIMEOUT (no
// answer in time), ERROR_INVALID_WINDOW_HANDLE (the window is gone: the
// process ended), ERROR_ACCESS_DENIED (refused: the process runs at a higher
// integrity level). A message that was not answered in time may still run
// (it does under Wine) or not (Windows drops one not yet taken).
extern DWORD RemoteAnswerMs;

// Text of a control of another process, into text (capacity units, cut to
// fit), its length into *length. SetRemoteText sets it as if typed in whole.
BOOL GetRemoteText(HWND control, WCHAR *text, UINT32 capacity, UINT32 *length);
BOOL SetRemoteText(HWND control, const WCHAR *text);
// Presses a button; returns when the program has run its command.
BOOL PressButton(const Remote *remote, UINT32 id);

// One 32-bit target read from outside.
BOOL ReadRemoteValue(HANDLE process, UINT64 address, UINT32 *value);

// When process started, as the system tells it (0 if it does not): with
// its id, which is used again after it ends, it names one run of a program.
UINT64 ProcessStart(HANDLE process);

// The name of a kernel object the companion keeps for the Vantoriel of
// process (pid), "Local\Vantoriel-WHAT-PID-START": its start, as an id is
// used again after its process ends. name holds 96 units.
void VantorielObjectName(HANDLE process, DWORD pid, const char *what, WCHAR *name);

// Closes the window as a person would and waits for the process to end; its
// exit code, or false when it has not ended in time (it is left running).
BOOL CloseRemote(const Remote *remote, DWORD milliseconds, DWORD *exitCode);

// ---------------------------------------------------------------- the report

enum LineType { LineEmpty, LineDashes, LineTarget };

struct ReportLine {
    UINT32 type;            // LineType
    UINT32 kind;            // TargetKind, of a target line
    UINT32 index;           // mapped: the slot; static and heap: the place in its group
    UINT64 address;
    UINT32 value;           // the whole value, from the byte column
    UINT32 column;          // the value column's number (the value's last W digits)
    UINT32 width;           // W, the value column's width
    WCHAR text[40];         // the line as shown, without its line end
};

// Splits a report into lines: true when every line has the build's layout
// and the groups their order. count gets the lines read; on failure the one
// that does not fit is line *count (from 0), or none, when the groups are
// incomplete. capacity: 160 lines hold any report the program makes.
BOOL ParseReport(const WCHAR *report, const RemoteBuild *build, ReportLine *lines, UINT32 capacity, UINT32 *count);

// The lowest address of mapped slot i's search interval.
UINT64 MappedBase(UINT32 i);
