// remote.cpp: a running Vantoriel seen from another process.
#include "ctl/remote.h"

const RemoteBuild Builds[2] = {
    {L"Vantoriel64", 128, 16},
    {L"Vantoriel32", 64, 8},
};

DWORD RemoteAnswerMs = 30000;

UINT64 MappedBase(UINT32 i)
{
    return (UINT64)(2 * (i % 8) + 1) << (4 * (i / 8));
}

BOOL SameText(const WCHAR *a, const WCHAR *b)
{
    while (*a && *a == *b) ++a, ++b;
    return *a == *b;
}

// Top-level windows of class cls (and title, unless null) after previous
// (null: the first). Under Wine, FindWindowEx with a window to start after,
// like any call that asks another process's window for its style or
// visibility, first brings up this process's desktop and display driver,
// which costs a tool more than all its own work; FindWindow and a walk of
// the siblings do not.
static HWND NextTopLevel(HWND previous, const WCHAR *cls, const WCHAR *title)
{
    if (!previous) return FindWindowW(cls, title);
    WCHAR text[32];
    while ((previous = GetWindow(previous, GW_HWNDNEXT)) != nullptr)
        if (GetClassNameW(previous, text, 32) && SameText(text, cls) &&
            (!title || (GetWindowTextW(previous, text, 32) && SameText(text, title))))
            return previous;
    return nullptr;
}

UINT32 FindVantoriels(HWND *windows, UINT32 capacity)
{
    UINT32 count = 0;
    for (const RemoteBuild &b : Builds)
        for (HWND w = NextTopLevel(nullptr, b.name, b.name); w; w = NextTopLevel(w, b.name, b.name)) {
            if (count < capacity) windows[count] = w;
            ++count;
        }
    return count;
}

static void FillControls(HWND window, const RemoteBuild *build, Remote *remote)
{
    remote->window = window;
    remote->build = build;
    for (UINT32 k = 0; k < 6; ++k) remote->controls[k] = GetDlgItem(window, (int)(ID_LOW + k));
}

BOOL AttachRemote(HWND window, Remote *remote)
{
    // A window FindVantoriels found: its class name is its build's.
    WCHAR cls[32];
    const RemoteBuild *build = &Builds[GetClassNameW(window, cls, 32) && SameText(cls, Builds[1].name)];
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | PROCESS_VM_WRITE | PROCESS_VM_OPERATION |
                                     SYNCHRONIZE, FALSE, pid);
    if (!process) return FALSE;
    remote->pid = pid;
    remote->process = process;
    FillControls(window, build, remote);
    return TRUE;
}

void DetachRemote(Remote *remote)
{
    if (remote->process) CloseHandle(remote->process);
    remote->process = nullptr;
}

BOOL StartProgram(const WCHAR *exe, const WCHAR *arguments, PROCESS_INFORMATION *started)
{
    // "exe" arguments, in a buffer CreateProcessW may write to, no longer
    // than the 32,767 units it takes.
    static WCHAR line[32768];
    static WCHAR folder[MAX_PATH];
    UINT32 exeLength = 0, argumentsLength = 0;
    while (exe[exeLength]) ++exeLength;
    while (arguments && arguments[argumentsLength]) ++argumentsLength;
    if (exeLength >= MAX_PATH || exeLength + 3 + argumentsLength > 32767) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return FALSE;
    }
    UINT32 n = 0;
    line[n++] = L'"';
    for (UINT32 k = 0; k < exeLength; ++k) line[n++] = exe[k];
    line[n++] = L'"';
    if (argumentsLength) line[n++] = L' ';
    for (UINT32 k = 0; k < argumentsLength; ++k) line[n++] = arguments[k];
    line[n] = 0;

    // The program's own folder as its current one, as Explorer would start it.
    UINT32 slash = 0;
    for (UINT32 k = 0; k < exeLength; ++k) {
        folder[k] = exe[k];
        if (exe[k] == L'\\' || exe[k] == L'/') slash = k + 1;
    }
    folder[slash] = 0;

    // Detached: nothing of a console caller's (its output pipe above all) goes
    // on with the program, so a script reading that pipe sees it end.
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    return CreateProcessW(exe, line, nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr, slash ? folder : nullptr, &si, started);
}

// A top-level window of class cls (and title) that belongs to process pid, or null.
static HWND TopLevelOf(DWORD pid, const WCHAR *cls, const WCHAR *title)
{
    for (HWND w = NextTopLevel(nullptr, cls, title); w; w = NextTopLevel(w, cls, title)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(w, &owner);
        if (owner == pid) return w;
    }
    return nullptr;
}

UINT32 WaitForStart(const PROCESS_INFORMATION *started, DWORD milliseconds, Remote *remote, HWND *box)
{
    for (DWORD waited = 0;; waited += 50) {
        // The box once shown: its text is set before.
        *box = TopLevelOf(started->dwProcessId, L"#32770", nullptr);
        if (*box && (GetWindowLongPtrW(*box, GWL_STYLE) & WS_VISIBLE)) return StartUsageBox;
        for (const RemoteBuild &b : Builds) {
            HWND main = TopLevelOf(started->dwProcessId, b.name, b.name);
            // Shown, and the first report set (while the window was created).
            // GetWindowTextLength would give another process's edit's caption,
            // not its text. A process that does not answer is not ready.
            DWORD_PTR length = 0;
            if (main && (GetWindowLongPtrW(main, GWL_STYLE) & WS_VISIBLE) &&
                SendMessageTimeoutW(GetDlgItem(main, ID_REPORT), WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL,
                                    RemoteAnswerMs, &length) &&
                length > 0) {
                remote->pid = started->dwProcessId;
                remote->process = started->hProcess;
                FillControls(main, &b, remote);
                return StartReady;
            }
        }
        if (WaitForSingleObject(started->hProcess, 50) == WAIT_OBJECT_0) return StartEnded;
        if (waited >= milliseconds) return StartTimedOut;
    }
}

static BOOL Ask(HWND window, UINT message, WPARAM w, LPARAM l, DWORD_PTR *answer)
{
    return SendMessageTimeoutW(window, message, w, l, SMTO_NORMAL, RemoteAnswerMs, answer) != 0;
}

BOOL GetRemoteText(HWND control, WCHAR *text, UINT32 capacity, UINT32 *length)
{
    DWORD_PTR n = 0;
    text[0] = 0;
    BOOL answered = Ask(control, WM_GETTEXT, capacity, (LPARAM)text, &n);
    *length = answered ? (UINT32)n : 0;
    return answered;
}

BOOL SetRemoteText(HWND control, const WCHAR *text)
{
    DWORD_PTR done;
    return Ask(control, WM_SETTEXT, 0, (LPARAM)text, &done);
}

BOOL PressButton(const Remote *remote, UINT32 id)
{
    // The click as the button itself reports it to its parent. BM_CLICK
    // would do the same through the button's mouse handling, which may fail
    // when a dialog-class window such as Vantoriel's is not the active one,
    // as a window driven by a script usually is not. Sent, not posted: the
    // command has run when this returns.
    DWORD_PTR done;
    return Ask(remote->window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)remote->controls[id - ID_LOW], &done);
}

BOOL ReadRemoteValue(HANDLE process, UINT64 address, UINT32 *value)
{
    SIZE_T got = 0;
    return ReadProcessMemory(process, (LPCVOID)(UINT_PTR)address, value, 4, &got) && got == 4;
}

BOOL WriteRemoteValue(HANDLE process, UINT64 address, UINT32 value)
{
    SIZE_T done = 0;
    return WriteProcessMemory(process, (LPVOID)(UINT_PTR)address, &value, 4, &done) && done == 4;
}

BOOL IsRemoteWritable(HANDLE process, UINT64 address)
{
    // A target never crosses a page: it is 4-aligned.
    MEMORY_BASIC_INFORMATION m;
    if (!VirtualQueryEx(process, (LPCVOID)(UINT_PTR)address, &m, sizeof m) || m.State != MEM_COMMIT) return FALSE;
    DWORD writable = PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
    return (m.Protect & writable) && !(m.Protect & PAGE_GUARD);
}

BOOL RemoteImageBase(HANDLE process, UINT64 address, UINT64 *base)
{
    MEMORY_BASIC_INFORMATION m;
    if (!VirtualQueryEx(process, (LPCVOID)(UINT_PTR)address, &m, sizeof m) || m.Type != MEM_IMAGE) return FALSE;
    *base = (UINT64)(UINT_PTR)m.AllocationBase;
    return TRUE;
}

BOOL CloseRemote(const Remote *remote, DWORD milliseconds, DWORD *exitCode)
{
    PostMessageW(remote->window, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(remote->process, milliseconds) != WAIT_OBJECT_0) return FALSE;
    return GetExitCodeProcess(remote->process, exitCode);
}

// ---------------------------------------------------------------- the report

static UINT32 HexDigit(WCHAR c)
{
    if (c >= '0' && c <= '9') return (UINT32)(c - '0');
    if (c >= 'A' && c <= 'F') return (UINT32)(c - 'A' + 10);
    return 16; // the report writes upper-case digits only
}

// Reads one target line of length units at line into out; false if its layout is not the build's.
static BOOL ParseTargetLine(const WCHAR *line, UINT32 length, const RemoteBuild *build, ReportLine *out)
{
    UINT32 digits = build->addressDigits;
    if (length < digits + 2 + 1 + 1 + 8 || length > digits + 2 + 10 + 1 + 8) return FALSE;
    UINT32 width = length - digits - 2 - 1 - 8;
    UINT64 address = 0;
    for (UINT32 k = 0; k < digits; ++k) {
        UINT32 d = HexDigit(line[k]);
        if (d > 15) return FALSE;
        address = address << 4 | d;
    }
    const WCHAR *column = line + digits + 2;
    if (line[digits] != ' ' || line[digits + 1] != ' ' || column[width] != ' ') return FALSE;
    // Right-aligned digits, with at least the last one present.
    UINT32 k = 0, number = 0;
    while (k + 1 < width && column[k] == ' ') ++k;
    for (; k < width; ++k) {
        if (column[k] < '0' || column[k] > '9') return FALSE;
        number = number * 10 + (UINT32)(column[k] - '0');
    }
    UINT32 value = 0;
    const WCHAR *bytes = column + width + 1;
    for (UINT32 b = 0; b < 4; ++b) {
        UINT32 high = HexDigit(bytes[2 * b]), low = HexDigit(bytes[2 * b + 1]);
        if (high > 15 || low > 15) return FALSE;
        value |= (high << 4 | low) << (8 * b);
    }
    out->type = LineTarget;
    out->address = address;
    out->value = value;
    out->column = number;
    out->width = width;
    for (k = 0; k < length; ++k) out->text[k] = line[k];
    out->text[length] = 0;
    return TRUE;
}

// The mapped slot whose search interval holds address: base(i) up to base(i + 1),
// the last one up to the top of the range.
static UINT32 MappedSlotOf(UINT64 address, const RemoteBuild *build)
{
    UINT32 slot = 0;
    while (slot + 1 < build->mappedCount && address >= MappedBase(slot + 1)) ++slot;
    return slot;
}

BOOL ParseReport(const WCHAR *report, const RemoteBuild *build, ReportLine *lines, UINT32 capacity, UINT32 *count)
{
    UINT32 n = 0, dashes = 0, inGroup = 0, heapFirst = 0;
    const WCHAR *p = report;
    BOOL good = TRUE;
    while (*p) {
        const WCHAR *end = p;
        while (*end && *end != '\r') ++end;
        UINT32 length = (UINT32)(end - p);
        if (n == capacity) { // longer than any report the program makes
            good = FALSE;
            break;
        }
        ReportLine *line = &lines[n];
        *line = {};
        if (end[0] != '\r' || end[1] != '\n') good = FALSE; // every line ends with CR LF
        else if (length == 0) good = dashes == 0 && n > 0;  // empty lines only among mapped ones
        else if (length == 2 && p[0] == '-' && p[1] == '-') {
            line->type = LineDashes;
            good = dashes < 2;
            ++dashes;
            inGroup = 0;
            if (dashes == 2) heapFirst = n + 1;
        } else if (ParseTargetLine(p, length, build, line)) {
            line->kind = dashes;
            line->index = dashes == 0 ? MappedSlotOf(line->address, build) : inGroup;
            ++inGroup;
            good = dashes != 1 || inGroup <= 4;
            // Mapped slots rise strictly, one line each.
            for (UINT32 k = n; good && dashes == 0 && k-- > 0;) {
                if (lines[k].type != LineTarget) continue;
                good = lines[k].index < line->index;
                break;
            }
            // One width for the whole report.
            for (UINT32 k = 0; good && k < n; ++k)
                if (lines[k].type == LineTarget) good = lines[k].width == line->width;
        } else {
            good = FALSE;
        }
        if (!good) break;
        ++n;
        p = end + 2;
    }
    *count = n;
    if (!good) return FALSE;
    UINT32 statics = 0;
    for (UINT32 k = 0; k < n; ++k) statics += lines[k].type == LineTarget && lines[k].kind == KindStatic;
    if (dashes != 2 || statics != 4) return FALSE;
    // With fewer than six heap lines it cannot be told which block is missing.
    if (n - heapFirst != 6)
        for (UINT32 k = heapFirst; k < n; ++k) lines[k].index = 0xFFFFFFFF;
    return TRUE;
}
