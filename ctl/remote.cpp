// remote.cpp: a running Vantoriel seen from another process.
#include "ctl/remote.h"

const RemoteBuild Builds[2] = {
    {WIDE("Vantoriel64"), 128, 16, "Vantoriel64"},
    {WIDE("Vantoriel32"), 64, 8, "Vantoriel32"},
};

DWORD RemoteAnswerMs = 30000;

UINT64 MappedBase(UINT32 i)
{
    return (UINT64)(2 * (i % 8) + 1) << (4 * (i / 8));
}

// ------------------------------------------------------------ bounded calls

static DWORD WINAPI CarryCalls(void *parameter)
{
    BoundedWorker *w = (BoundedWorker *)parameter;
    for (;;) {
        WaitForSingleObject(w->go, INFINITE);
        w->carry(w->call);
        SetEvent(w->done);
    }
}

BOOL RunBounded(BoundedWorker *w, DWORD milliseconds)
{
    if (!w->stuck && !w->go && !w->alone) {
        w->go = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        w->done = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        HANDLE thread = w->go && w->done ? CreateThread(nullptr, 0, CarryCalls, w, 0, nullptr) : nullptr;
        if (thread) {
            CloseHandle(thread);
        } else {
            // No thread to spare: every call is made here, unbounded.
            if (w->go) CloseHandle(w->go);
            if (w->done) CloseHandle(w->done);
            w->go = w->done = nullptr;
            w->alone = TRUE;
        }
    }
    if (w->alone) {
        w->carry(w->call);
        return TRUE;
    }
    if (!w->stuck) {
        SetEvent(w->go);
        w->stuck = WaitForSingleObject(w->done, milliseconds) != WAIT_OBJECT_0;
    }
    if (w->stuck) SetLastError(ERROR_TIMEOUT);
    return !w->stuck;
}

// Wine can keep a SendMessageTimeout waiting past its timeout for good when
// the receiver is stopped while it handles the message: a thread of the
// companion sends each message, and the caller waits for it at most the
// message's timeout and a margin. Buffers handed to a message must stay
// valid after a send that did not come back (the companion ends soon after).
struct SendCall {
    HWND window;
    UINT message;
    WPARAM w;
    LPARAM l;
    UINT milliseconds;
    DWORD_PTR answer;
    BOOL ok;
    DWORD error;
};
static SendCall Sent;
enum { SendMarginMs = 5000 }; // a send returns at its timeout: this is for a loaded machine's thread switches

static void CarrySend(void *call)
{
    SendCall *c = (SendCall *)call;
    c->answer = 0;
    c->ok = SendMessageTimeoutW(c->window, c->message, c->w, c->l, SMTO_NORMAL, c->milliseconds, &c->answer) != 0;
    c->error = c->ok ? 0 : GetLastError();
}
static BoundedWorker Sender = {CarrySend, &Sent, nullptr, nullptr, FALSE, FALSE};

static BOOL SendBounded(HWND window, UINT message, WPARAM w, LPARAM l, UINT milliseconds, DWORD_PTR *answer)
{
    Sent.window = window, Sent.message = message, Sent.w = w, Sent.l = l, Sent.milliseconds = milliseconds;
    if (!RunBounded(&Sender, milliseconds + SendMarginMs)) return FALSE;
    *answer = Sent.answer;
    SetLastError(Sent.error);
    return Sent.ok;
}

BOOL SameText(const WCHAR *a, const WCHAR *b)
{
    while (*a && *a == *b) ++a, ++b;
    return *a == *b;
}

// Whether two names are the same, ASCII letters' case aside, as the system's
// names of objects are.
static BOOL SameName(const WCHAR *a, const WCHAR *b)
{
    for (;; ++a, ++b) {
        WCHAR x = *a >= 'A' && *a <= 'Z' ? *a + 32 : *a, y = *b >= 'A' && *b <= 'Z' ? *b + 32 : *b;
        if (x != y) return FALSE;
        if (!x) return TRUE;
    }
}

// A search of the top-level windows: those of class cls (and title, unless
// null) and of process pid (0: any), one a process, up to capacity of them
// into windows, with their processes in pids; count tells all found.
struct WindowSearch {
    const WCHAR *cls, *title;
    DWORD pid;
    HWND *windows;
    DWORD *pids;
    UINT32 capacity, count;
};

static BOOL CALLBACK MatchWindow(HWND window, LPARAM parameter)
{
    WindowSearch *s = (WindowSearch *)parameter;
    WCHAR text[32];
    if (!GetClassNameW(window, text, 32) || !SameText(text, s->cls) ||
        (s->title && (!GetWindowTextW(window, text, 32) || !SameText(text, s->title))))
        return TRUE;
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (s->pid && owner != s->pid) return TRUE;
    UINT32 known = s->count < s->capacity ? s->count : s->capacity;
    for (UINT32 k = 0; k < known; ++k)
        if (s->pids[k] == owner) return TRUE;
    if (s->count < s->capacity) {
        s->windows[s->count] = window;
        s->pids[s->count] = owner;
    }
    ++s->count;
    return TRUE;
}

// The windows of this thread's desktop as one list, as EnumWindows gives it:
// a walk with GetWindow may miss a window or meet one twice while windows
// come and go. Under Wine, EnumWindows itself, like FindWindowEx with a
// window to start after, first brings up this process's display driver,
// which costs a tool more than all its own work; EnumDesktopWindows with the
// desktop named does not.
static UINT32 FindTopLevel(const WCHAR *cls, const WCHAR *title, DWORD pid, HWND *windows, DWORD *pids, UINT32 capacity)
{
    WindowSearch s = {cls, title, pid, windows, pids, capacity, 0};
    EnumDesktopWindows(GetThreadDesktop(GetCurrentThreadId()), MatchWindow, (LPARAM)&s);
    return s.count;
}

UINT32 FindVantoriels(HWND *windows, UINT32 capacity)
{
    // Process ids beside the windows, to list each process once; more than
    // any machine runs.
    enum { Most = 256 };
    static HWND found[Most];
    static DWORD pids[Most];
    UINT32 count = 0;
    for (const RemoteBuild &b : Builds) {
        UINT32 n = FindTopLevel(b.name, b.name, 0, found, pids, Most);
        if (n > Most) n = Most;
        for (UINT32 k = 0; k < n; ++k, ++count)
            if (count < capacity) windows[count] = found[k];
    }
    return count;
}

BOOL OnInputDesktop()
{
    // A service, a task that runs whether a user is logged on or not, or an
    // SSH session has a window station or desktop of its own, whose windows
    // are all that FindVantoriels sees. The interactive one is WinSta0, and
    // its input desktop is the one the user sees.
    WCHAR name[3][64];
    DWORD needed;
    HDESK input = OpenInputDesktop(0, FALSE, DESKTOP_READOBJECTS);
    BOOL named = input && GetUserObjectInformationW(GetProcessWindowStation(), UOI_NAME, name[0], sizeof name[0], &needed) &&
                 GetUserObjectInformationW(GetThreadDesktop(GetCurrentThreadId()), UOI_NAME, name[1], sizeof name[1], &needed) &&
                 GetUserObjectInformationW(input, UOI_NAME, name[2], sizeof name[2], &needed);
    if (input) CloseDesktop(input);
    return named && SameName(name[0], WIDE("WinSta0")) && SameName(name[1], name[2]);
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
    remote->pid = pid;
    remote->build = build;
    // Handles duplicated into it keep the record of plants alive as long as it runs.
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | PROCESS_VM_WRITE | PROCESS_VM_OPERATION |
                                     PROCESS_DUP_HANDLE | SYNCHRONIZE, FALSE, pid);
    if (!process) return FALSE;
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
    // "exe" arguments, in a buffer CreateProcessW may write to, with its
    // terminating null no longer than the 32,767 units it takes.
    static WCHAR line[32767];
    static WCHAR folder[MAX_PATH];
    UINT32 exeLength = 0, argumentsLength = 0;
    while (exe[exeLength]) ++exeLength;
    while (arguments && arguments[argumentsLength]) ++argumentsLength;
    UINT32 units = exeLength + 2 + (argumentsLength ? 1 + argumentsLength : 0) + 1;
    if (exeLength >= MAX_PATH || units > 32767) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return FALSE;
    }
    UINT32 n = 0;
    line[n++] = '"';
    for (UINT32 k = 0; k < exeLength; ++k) line[n++] = exe[k];
    line[n++] = '"';
    if (argumentsLength) line[n++] = ' ';
    for (UINT32 k = 0; k < argumentsLength; ++k) line[n++] = arguments[k];
    line[n] = 0;

    // The program's own folder as its current one, as Explorer would start it.
    UINT32 slash = 0;
    for (UINT32 k = 0; k < exeLength; ++k) {
        folder[k] = exe[k];
        if (exe[k] == '\\' || exe[k] == '/') slash = k + 1;
    }
    folder[slash] = 0;

    // Detached: nothing of a console caller's (its output pipe above all) goes
    // on with the program, so a script reading that pipe sees it end.
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    return CreateProcessW(exe, line, nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr, slash ? folder : nullptr, &si, started);
}

// A shown top-level window of class cls (and title) of process pid, or null.
static HWND ShownWindowOf(DWORD pid, const WCHAR *cls, const WCHAR *title)
{
    HWND window;
    DWORD owner;
    if (!FindTopLevel(cls, title, pid, &window, &owner, 1)) return nullptr;
    return (GetWindowLongPtrW(window, GWL_STYLE) & WS_VISIBLE) ? window : nullptr;
}

UINT32 WaitForStart(const PROCESS_INFORMATION *started, DWORD milliseconds, Remote *remote, HWND *box)
{
    UINT64 deadline = GetTickCount64() + milliseconds;
    UINT32 state;
    DWORD error = 0;
    for (;;) {
        // The box once shown: its text is set before.
        *box = ShownWindowOf(started->dwProcessId, WIDE("#32770"), nullptr);
        if (*box) return StartUsageBox;
        state = StartNoWindow;
        for (const RemoteBuild &b : Builds) {
            HWND main = ShownWindowOf(started->dwProcessId, b.name, b.name);
            if (!main) continue;
            // Ready once the first report is set (while the window was
            // created). GetWindowTextLength would give another process's
            // edit's caption, not its text. Each question has what is left
            // of the whole bound at most.
            UINT64 now = GetTickCount64();
            DWORD left = now < deadline ? (DWORD)(deadline - now) : 1;
            DWORD_PTR length = 0;
            if (!SendBounded(GetDlgItem(main, ID_REPORT), WM_GETTEXTLENGTH, 0, 0,
                             left < RemoteAnswerMs ? left : RemoteAnswerMs, &length)) {
                state = StartNoAnswer;
                error = GetLastError();
                // Refused messages stay refused.
                if (error == ERROR_ACCESS_DENIED) return state;
            } else if (length == 0) {
                state = StartNoReport;
            } else {
                remote->pid = started->dwProcessId;
                remote->process = started->hProcess;
                FillControls(main, &b, remote);
                return StartReady;
            }
        }
        UINT64 now = GetTickCount64();
        DWORD wait = now >= deadline ? 0 : deadline - now < 50 ? (DWORD)(deadline - now) : 50;
        if (WaitForSingleObject(started->hProcess, wait) == WAIT_OBJECT_0) return StartEnded;
        if (GetTickCount64() >= deadline) break;
    }
    SetLastError(error);
    return state;
}

static BOOL Ask(HWND window, UINT message, WPARAM w, LPARAM l, DWORD_PTR *answer)
{
    return SendBounded(window, message, w, l, RemoteAnswerMs, answer);
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

UINT64 ProcessStart(HANDLE process)
{
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
    return (UINT64)created.dwHighDateTime << 32 | created.dwLowDateTime;
}

void VantorielObjectName(HANDLE process, DWORD pid, const char *what, WCHAR *name)
{
    UINT64 start = ProcessStart(process);
    UINT32 n = 0;
    for (const char *p = "Local\\Vantoriel-"; *p; ++p) name[n++] = (WCHAR)*p;
    for (const char *p = what; *p && n < 40; ++p) name[n++] = (WCHAR)*p;
    name[n++] = '-';
    WCHAR digits[10];
    UINT32 d = 0;
    do digits[d++] = (WCHAR)('0' + pid % 10), pid /= 10;
    while (pid);
    while (d) name[n++] = digits[--d];
    name[n++] = '-';
    for (int shift = 60; shift >= 0; shift -= 4) name[n++] = (WCHAR)"0123456789ABCDEF"[start >> shift & 15];
    name[n] = 0;
}
