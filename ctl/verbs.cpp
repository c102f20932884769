// verbs.cpp: the companion's verbs, against a running Vantoriel.
#include "ctl/verbs.h"
#include "ctl/checks.h"
#include "ctl/findings.h"
#include "ctl/memory.h"
#include "ctl/output.h"
#include "ctl/plant.h"
#include "ctl/platform.h"
#include "ctl/remote.h"
#include "ctl/score.h"
#include "ctl/sheet.h"

// Vantoriel's own targets, as its report shows them, then its plants.
static Target *Targets;
static UINT32 TargetCount, OwnCount, TargetCapacity;
static char ModuleName[ModuleNameBytes + 1];
static Module Image; // the program's own, in the process read last

// The targets read last; with the process (start), pid is not 0.
static UINT32 PrintTargets(const Remote *remote, UINT32 format, UINT32 pid = 0, BOOL nearMisses = FALSE)
{
    return WriteTargets(Targets, TargetCount, remote->build->addressDigits, &Image, format, pid, remote->build->program,
                        nearMisses);
}

// "Vantoriel64 (process N)" starts an error line about it.
static void BeginErrorAbout(const Remote *remote)
{
    BeginError();
    Put(remote->build->program);
    Put(" (process ");
    PutNumber(remote->pid);
    Put(")");
}

static const char HigherLevel[] =
    "Vantoriel runs at a higher integrity level (as administrator?); run the companion the same way";

// Why Vantoriel did not answer a message, after its name, from the error
// SendMessageTimeout left.
static void PutSendFailure(DWORD error)
{
    if (error == ERROR_TIMEOUT) Put(" does not answer: stopped by a debugger or a scanner?");
    else if (error == ERROR_INVALID_WINDOW_HANDLE) Put(" ended meanwhile: its window is gone");
    else if (error == ERROR_ACCESS_DENIED) Put(" refused the companion's message: "), Put(HigherLevel);
    else Put(" did not answer: error "), PutNumber(error);
}

static UINT32 NoAnswer(const Remote *remote, DWORD error, const char *tail = "")
{
    BeginErrorAbout(remote);
    PutSendFailure(error);
    Put(tail);
    return EndError();
}

// The base of the image that holds address (as a static target), if any,
// and its size in memory as its headers give it (or, if they cannot be
// read, as the extent of its regions); each call within the bound.
static BOOL RemoteImage(HANDLE process, UINT64 address, UINT64 *base, UINT64 *size)
{
    MEMORY_BASIC_INFORMATION m;
    if (!QueryMemory(process, address, &m) || m.Type != MEM_IMAGE) return FALSE;
    *base = (UINT64)(UINT_PTR)m.AllocationBase;
    // SizeOfImage, in the optional header after the PE signature and the
    // file header, at the same place for 32-bit and 64-bit images.
    UINT32 header = 0, signature = 0, image = 0;
    BOOL read = ReadMemory(process, *base + 0x3C, &header, 4) && header < 0x1000 &&
                ReadMemory(process, *base + header, &signature, 4) && signature == 0x00004550 && // "PE\0\0"
                ReadMemory(process, *base + header + 4 + 20 + 56, &image, 4);
    if (read) {
        *size = image;
        return TRUE;
    }
    // Headers that cannot be read: the extent of the image's regions.
    UINT64 end = *base;
    while (QueryMemory(process, end, &m) && m.Type == MEM_IMAGE && (UINT64)(UINT_PTR)m.AllocationBase == *base &&
           m.RegionSize)
        end += m.RegionSize;
    *size = end - *base;
    return TRUE;
}

// The program's image: the base that holds its static targets (Vantoriel64
// is loaded where the system chooses), its size, and its file's name, the
// build's if the process does not tell it.
static void FindImage(const Remote *remote)
{
    Image.name = nullptr;
    Image.size = 0;
    UINT32 k = 0;
    while (k < TargetCount && Targets[k].kind != KindStatic) ++k;
    if (k == TargetCount || !RemoteImage(remote->process, Targets[k].address, &Image.base, &Image.size)) return;
    // The path, however long: the buffer grows up to the longest path there is.
    WCHAR *path = nullptr;
    const WCHAR *name = remote->build->name;
    for (DWORD capacity = 256; capacity <= 32768; capacity *= 2) {
        WCHAR *bigger = (WCHAR *)GrowBlock(path, capacity * sizeof(WCHAR));
        if (!bigger) break;
        path = bigger;
        DWORD size = capacity;
        if (QueryFullProcessImageNameW(remote->process, 0, path, &size)) {
            name = path;
            break;
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) break;
    }
    if (name == path)
        for (const WCHAR *p = path; *p; ++p)
            if (*p == '\\' || *p == '/') name = p + 1;
    int n = WideCharToMultiByte(CP_UTF8, 0, name, -1, ModuleName, sizeof ModuleName, nullptr, nullptr);
    if (n > 0 && name == remote->build->name) {
        const char *exe = ".exe";
        for (n -= 1; *exe; ++exe) ModuleName[n++] = *exe;
        ModuleName[n] = 0;
    }
    // A name too long for a cell gives no module-relative addresses.
    if (n > 0) Image.name = ModuleName;
    FreeBlock(path);
}

enum ReadResult { ReadDone, ReadNoAnswer, ReadBadReport, ReadNoMemory };
static UINT32 BadLine; // of a report that does not parse: the line (from 1), or 0 for incomplete groups
static DWORD SendError; // why the report was not read (ReadNoAnswer)

// The targets as the report shows them, with their memory now; on failure
// Targets stays as it was.
static UINT32 ReadTargets(const Remote *remote)
{
    static WCHAR report[8192];
    static ReportLine lines[MaxTargets];
    UINT32 length, count;
    if (!GetRemoteText(remote->controls[ID_REPORT - ID_LOW], report, sizeof report / sizeof report[0], &length)) {
        SendError = GetLastError();
        return ReadNoAnswer;
    }
    BOOL good = ParseReport(report, remote->build, lines, MaxTargets, &count);
    // A line that did not fit stops the reading before the report's end;
    // incomplete groups, only at its end.
    UINT32 total = 0;
    for (UINT32 k = 0; k < length; ++k) total += report[k] == '\n' || (k + 1 == length && report[k] != '\n');
    BadLine = !good && count < total ? count + 1 : 0;
    // Both columns of a line show one reading of the value.
    for (UINT32 k = 0; good && k < count; ++k) {
        UINT32 cut = lines[k].value, digits = lines[k].width;
        if (digits < 10) {
            UINT32 modulus = 1;
            while (digits--) modulus *= 10;
            cut %= modulus;
        }
        if (lines[k].type == LineTarget && cut != lines[k].column) BadLine = k + 1, good = FALSE;
    }
    if (!good) return ReadBadReport;
    if (!Targets) Targets = (Target *)GrowBlock(nullptr, MaxTargets * sizeof(Target)), TargetCapacity = MaxTargets;
    if (!Targets) return ReadNoMemory;
    TargetCount = 0;
    for (UINT32 k = 0; k < count; ++k) {
        if (lines[k].type != LineTarget) continue;
        Target &t = Targets[TargetCount++];
        t.plant = nullptr;
        t.protect = t.memoryType = 0;
        t.kind = lines[k].kind;
        t.index = lines[k].index;
        t.address = lines[k].address;
        t.value = lines[k].value;
        t.readable = ReadRemoteValue(remote->process, t.address, &t.memory);
    }
    OwnCount = TargetCount;
    FindImage(remote);
    return ReadDone;
}

// The plants of the record after Vantoriel's own targets, each copy of a
// dense one a target, with their memory now.
static UINT32 AddPlants(const Remote *remote, const PlantBook *book, UINT32 first = 0)
{
    TargetCount = OwnCount;
    if (!book) return ExitOk;
    UINT64 total = TargetCount;
    for (UINT32 e = first; e < book->entryCount; ++e) total += book->entries[e].copies;
    if (total > 0x7FFFFFFF) return Fail("the record of plants is damaged");
    if (total > TargetCapacity) {
        Target *bigger = (Target *)GrowBlock(Targets, (SIZE_T)total * sizeof(Target));
        if (!bigger) return Fail("out of memory for the plants");
        Targets = bigger;
        TargetCapacity = (UINT32)total;
    }
    static BYTE *bytes;
    static UINT64 capacity;
    for (UINT32 e = first; e < book->entryCount; ++e) {
        const PlantEntry &p = book->entries[e];
        // With the bytes after the last, as far as they can be read: a
        // search of a longer type reads on.
        UINT64 size = (UINT64)p.copies * p.size, extra = ValueBytesMax;
        if (size + extra > capacity) {
            BYTE *bigger = (BYTE *)GrowBlock(bytes, (SIZE_T)(size + extra));
            if (!bigger) return Fail("out of memory for the plants");
            bytes = bigger, capacity = size + extra;
        }
        // In pieces, each within the bound; the last with what follows it.
        BOOL readable = TRUE;
        UINT64 done = 0;
        for (; readable && size - done > (1u << 20); done += 1u << 20)
            readable = ReadMemory(remote->process, p.address + done, bytes + done, 1u << 20);
        for (readable = readable && !MemoryStuck(), extra = readable ? extra : 0;; extra = extra > 8 ? extra / 2 : 0) {
            BOOL last = readable && ReadMemory(remote->process, p.address + done, bytes + done, size - done + extra);
            if (last || extra == 0 || MemoryStuck() || !readable) {
                readable = last;
                break;
            }
        }
        if (!readable && MemoryStuck()) return Fail(MemoryStuckText);
        UINT64 end = readable ? size + extra : 0;
        for (UINT32 c = 0; c < p.copies; ++c) {
            Target &t = Targets[TargetCount++];
            t.kind = p.nearMiss ? KindNearMiss : KindPlanted;
            t.index = p.nearMiss ? p.nearMiss : p.plantCase;
            t.address = p.address + (UINT64)c * p.size;
            t.value = 0;
            t.plant = &p;
            t.readable = readable;
            t.memory = 0;
            UINT64 from = (UINT64)c * p.size;
            t.known = readable ? (UINT32)(end - from < (UINT64)ValueBytesMax ? end - from : (UINT64)ValueBytesMax) : 0;
            for (UINT32 k = 0; k < ValueBytesMax; ++k) t.now[k] = k < t.known ? bytes[from + k] : 0;
            for (UINT32 k = 0; k < 4 && k < t.known; ++k) t.memory |= (UINT32)t.now[k] << 8 * k;
            t.protect = t.memoryType = 0;
            const PlantRegion &r = book->regions[p.region];
            t.low = r.base, t.high = r.base + r.size;
        }
    }
    return ExitOk;
}

// Each target's page protection and kind of memory, a query a region.
static UINT32 FindProtection(const Remote *remote)
{
    UINT64 base = 0, end = 0;
    MEMORY_BASIC_INFORMATION m = {};
    BOOL known = FALSE;
    for (UINT32 k = 0; k < TargetCount; ++k) {
        Target &t = Targets[k];
        if (t.address < base || t.address >= end) {
            known = QueryMemory(remote->process, t.address, &m);
            if (!known && MemoryStuck()) return Fail(MemoryStuckText);
            base = known ? (UINT64)(UINT_PTR)m.BaseAddress : 0;
            end = known ? base + m.RegionSize : 0;
        }
        t.protect = known && m.State == MEM_COMMIT ? m.Protect : 0;
        t.memoryType = known && m.State == MEM_COMMIT ? m.Type : 0;
        if (!t.plant) t.low = known ? base : t.address, t.high = known ? end : t.address;
    }
    return ExitOk;
}

// Vantoriel's own targets and its plants, with their memory now.
static UINT32 ReadAll(const Remote *remote)
{
    const PlantBook *book = nullptr;
    UINT32 result = ReadPlants(remote, &book);
    if (result == ExitOk) result = AddPlants(remote, book);
    if (result == ExitOk) result = FindProtection(remote);
    return result;
}

// The error line of a ReadTargets that failed, begun.
static void BeginReadFailure(const Remote *remote, UINT32 result)
{
    BeginErrorAbout(remote);
    if (result == ReadNoAnswer) {
        PutSendFailure(SendError);
        return;
    }
    if (result == ReadNoMemory) {
        Put(": out of memory for its targets");
        return;
    }
    Put("'s report does not parse");
    if (BadLine) {
        Put(" at line ");
        PutNumber(BadLine);
    } else {
        Put(": its groups are incomplete");
    }
}

// The whole error line of a ReadTargets that failed, with tail after it.
static UINT32 ReadFailed(const Remote *remote, UINT32 result, const char *tail = "")
{
    BeginReadFailure(remote, result);
    Put(tail);
    return EndError();
}

// The Vantoriel asked for: the one with process id pid, or --pid's, or the
// only one running.
static UINT32 Find(const Request *request, Remote *remote, DWORD pid = 0)
{
    BOOL byId = pid || request->values[OptPid];
    if (!pid) pid = request->pid;
    UINT32 total = FindVantoriels(nullptr, 0);
    HWND *windows = (HWND *)GrowBlock(nullptr, (total + 1) * sizeof(HWND));
    if (!windows) return Fail("out of memory");
    // Windows that came since the count wait for the next call.
    UINT32 count = FindVantoriels(windows, total), chosen = 0;
    if (count > total) count = total;
    DWORD owner = 0;
    if (byId) {
        while (chosen < count && (GetWindowThreadProcessId(windows[chosen], &owner), owner != pid)) ++chosen;
    }
    UINT32 result = ExitOk;
    if (byId && chosen == count) {
        result = Fail("process ", NumberText(pid), " is no running Vantoriel");
    } else if (count == 0) {
        // Windows on another desktop are not seen: say so when that may be why.
        result = Fail("no Vantoriel is running", OnInputDesktop() ? "" : " on this desktop");
    } else if (count > 1 && !byId) {
        BeginError();
        PutNumber(count);
        Put(" Vantoriels are running (process ids ");
        for (UINT32 k = 0; k < count; ++k) {
            GetWindowThreadProcessId(windows[k], &owner);
            Put(k ? ", " : "");
            PutNumber(owner);
        }
        Put("); choose one with --pid");
        result = EndError();
    } else if (!AttachRemote(windows[chosen], remote)) {
        DWORD error = GetLastError();
        BeginErrorAbout(remote);
        Put(" cannot be opened: ");
        if (error == ERROR_ACCESS_DENIED) Put("access denied: "), Put(HigherLevel);
        else Put("error "), PutNumber(error);
        result = EndError();
    }
    FreeBlock(windows);
    return result;
}

// The program to start: --exe's, or Vantoriel64.exe (Vantoriel32.exe) beside this one.
static UINT32 ProgramPath(const Request *request, WCHAR *exe)
{
    if (request->values[OptExe]) {
        DWORD n = GetFullPathNameW(request->values[OptExe], MAX_PATH, exe, nullptr);
        if (n == 0 || n >= MAX_PATH) {
            BeginError();
            Put(n ? "the path is too long (260 units or more): " : "bad path ");
            PutWide(request->values[OptExe]);
            return EndError();
        }
    } else {
        DWORD n = GetModuleFileNameW(nullptr, exe, MAX_PATH);
        if (n == 0 || n >= MAX_PATH) return Fail("the companion's own path is too long (260 units or more)");
        while (n && exe[n - 1] != '\\' && exe[n - 1] != '/') --n;
        const WCHAR *name = request->values[Opt32] ? WIDE("Vantoriel32.exe") : WIDE("Vantoriel64.exe");
        for (UINT32 k = 0; name[k]; ++k) {
            if (n + 1 >= MAX_PATH) return Fail("the path of the program is too long (260 units or more)");
            exe[n++] = name[k];
        }
        exe[n] = 0;
    }
    DWORD attributes = GetFileAttributesW(exe);
    if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return ExitOk;
    BeginError();
    Put("no program at ");
    PutWide(exe);
    return EndError();
}

// Ends a started process that must not go on: how it ended.
enum EndResult { EndedByItself, EndedClosed, EndedTerminated, EndFailed };

static UINT32 EndStarted(HANDLE process, const Remote *remote)
{
    DWORD code;
    if (WaitForSingleObject(process, 0) == WAIT_OBJECT_0) return EndedByItself;
    if (remote && remote->window && CloseRemote(remote, 5000, &code)) return EndedClosed;
    if (TerminateProcess(process, 1) && WaitForSingleObject(process, 5000) == WAIT_OBJECT_0) return EndedTerminated;
    return WaitForSingleObject(process, 0) == WAIT_OBJECT_0 ? EndedByItself : EndFailed;
}

// How a started program that must not go on ended, for its error line.
static void PutEnd(UINT32 end, DWORD pid)
{
    Put(end == EndedByItself   ? "; it ended"
        : end == EndedClosed   ? "; it was closed"
        : end == EndedTerminated ? "; it was ended"
                                 : "; it could not be ended: it runs as process ");
    if (end == EndFailed) PutNumber(pid);
}

// What start waited for in vain, after the program's path or "then": the
// last state WaitForStart reached, and its error.
static void PutStartWait(UINT32 state, DWORD error, DWORD bound)
{
    if (state == StartNoAnswer && error == ERROR_ACCESS_DENIED) {
        Put(" showed its window but refused the companion's message: ");
        Put(HigherLevel);
        return;
    }
    Put(state == StartUsageBox   ? " kept its usage box"
        : state == StartNoWindow ? " showed no window"
        : state == StartNoReport ? " showed its window but no report"
                                 : " showed its window but did not answer");
    Put(" within ");
    PutNumber(bound / 1000);
    Put(" s of its start");
    if (state == StartNoAnswer && error == ERROR_TIMEOUT) Put(": stopped by a debugger or a scanner?");
    else if (state == StartNoAnswer) Put(": error "), PutNumber(error);
}

static UINT32 Start(const Request *request, UINT32 format)
{
    static WCHAR exe[MAX_PATH];
    UINT32 result = ProgramPath(request, exe);
    if (result != ExitOk) return result;
    PROCESS_INFORMATION started = {};
    if (!StartProgram(exe, request->arguments, &started)) {
        DWORD error = GetLastError();
        BeginError();
        Put("cannot start ");
        PutWide(exe);
        if (error == ERROR_FILENAME_EXCED_RANGE) Put(": its command line would be longer than 32767 units, the terminating null counted");
        else Put(": error "), PutNumber(error);
        return EndError();
    }
    CloseHandle(started.hThread);
    // One bound from the program's start to its first report, or to its end
    // after a usage box, whatever each message's own: 60 s, or --timeout
    // when that is longer.
    DWORD bound = request->seconds > 60 ? request->seconds * 1000 : 60000;
    UINT64 deadline = GetTickCount64() + bound;
    Remote remote = {};
    HWND box = nullptr;
    UINT32 state = WaitForStart(&started, bound, &remote, &box);
    DWORD error = GetLastError();
    if (state == StartUsageBox) {
        // The program goes on with its defaults after the box: let it, then close it.
        PostMessageW(box, WM_COMMAND, IDOK, 0);
        for (UINT64 now = GetTickCount64(); state == StartUsageBox && now < deadline; now = GetTickCount64()) {
            Sleep(deadline - now < 50 ? (DWORD)(deadline - now) : 50);
            now = GetTickCount64();
            state = WaitForStart(&started, now < deadline ? (DWORD)(deadline - now) : 0, &remote, &box);
            error = GetLastError();
        }
        UINT32 end = state == StartEnded ? (UINT32)EndedByItself : EndStarted(started.hProcess, state == StartReady ? &remote : nullptr);
        BeginError();
        Put("the program did not take the arguments \"");
        PutWide(request->arguments);
        Put("\": it showed its usage message");
        if (state != StartReady && state != StartEnded) {
            Put("; once answered, it");
            PutStartWait(state, error, bound);
        }
        PutEnd(end, started.dwProcessId);
        CloseHandle(started.hProcess);
        return EndError();
    }
    if (state != StartReady) {
        BeginError();
        PutWide(exe);
        if (state == StartEnded) {
            Put(" ended before its window opened");
        } else {
            PutStartWait(state, error, bound);
            PutEnd(EndStarted(started.hProcess, nullptr), started.dwProcessId);
        }
        CloseHandle(started.hProcess);
        return EndError();
    }
    // The first report too is read within the bound.
    UINT64 now = GetTickCount64();
    DWORD left = now < deadline ? (DWORD)(deadline - now) : 1;
    if (left < RemoteAnswerMs) RemoteAnswerMs = left;
    UINT32 read = ReadTargets(&remote);
    if (read != ReadDone) {
        // Nothing is left running that the caller was not told of.
        BeginReadFailure(&remote, read);
        PutEnd(EndStarted(started.hProcess, &remote), started.dwProcessId);
        result = EndError();
    } else if ((result = ReadAll(&remote)) == ExitOk) {
        result = PrintTargets(&remote, format, remote.pid);
    }
    DetachRemote(&remote);
    return result;
}

// The whole of a file, or of standard input (path null), in one block; null
// after the error line. The findings' limit holds for either.
static unsigned char *ReadWhole(const WCHAR *path, SIZE_T *length, UINT32 *result, const char *what = "the findings",
                                const char *are = "are")
{
    HANDLE h = path ? CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr)
                    : GetStdHandle(STD_INPUT_HANDLE);
    SIZE_T capacity = 65536, n = 0;
    BOOL failed = h == INVALID_HANDLE_VALUE, tooLarge = FALSE;
    LARGE_INTEGER size;
    if (!failed && path && GetFileSizeEx(h, &size)) {
        // A file too large is refused unread; one byte more than its size
        // shows a file that grows while it is read.
        tooLarge = (UINT64)size.QuadPart > FindingsLimit;
        capacity = (SIZE_T)size.QuadPart + 1;
    }
    unsigned char *data = failed || tooLarge ? nullptr : (unsigned char *)GrowBlock(nullptr, capacity);
    failed = failed || (!tooLarge && !data);
    while (data) {
        if (n == capacity) {
            // Only standard input, or a file that grew, gets here.
            if (capacity > FindingsLimit) {
                tooLarge = TRUE;
                break;
            }
            capacity = capacity * 2 > FindingsLimit + 1 ? FindingsLimit + 1 : capacity * 2;
            unsigned char *bigger = (unsigned char *)GrowBlock(data, capacity);
            if (!bigger) {
                failed = TRUE;
                break;
            }
            data = bigger;
        }
        DWORD want = capacity - n > (1u << 20) ? (1u << 20) : (DWORD)(capacity - n), got = 0;
        if (!ReadFile(h, data + n, want, &got, nullptr)) {
            // A pipe reports its end as a broken pipe.
            DWORD error = GetLastError();
            failed = error != ERROR_BROKEN_PIPE && error != ERROR_HANDLE_EOF;
            break;
        }
        if (got == 0) break; // the end of a file
        n += got;
    }
    if (path && h != INVALID_HANDLE_VALUE) CloseHandle(h);
    if (!tooLarge && !failed && data) {
        *length = n;
        return data;
    }
    FreeBlock(data);
    BeginError();
    if (tooLarge) Put(what), Put(" "), Put(are), Put(" too large (2 GiB or more): ");
    else Put("cannot read "), Put(what), Put(" ");
    if (path) PutWide(path);
    else Put("from standard input");
    *result = EndError();
    return nullptr;
}

static UINT32 ScoreVerb(const Request *request, const Remote *remote, UINT32 format)
{
    const WCHAR *path = SameAscii(request->file, "-") ? nullptr : request->file;
    SIZE_T length = 0;
    UINT32 result = ExitError;
    unsigned char *text = ReadWhole(path, &length, &result);
    if (!text) return result;
    Findings findings;
    UINT32 read = ReadFindings(text, length, &Image, request->field, &findings);
    static TypedValue typed;
    BOOL haveType = request->values[OptType] != nullptr;
    UINT32 value = haveType ? ReadValue(request->values[OptValue], request->types[0], &typed) : (UINT32)ValueOk;
    if (value != ValueOk)
        result = Fail("--value does not read as ", TypeName(request->types[0]),
                      value == ValueOutOfRange ? ": out of its range" : value == ValueNotFinite ? ": not finite" : "");
    else if (read == FindingsRead)
        result = ScoreFindings(Targets, TargetCount, &findings, request->values[OptValue] != nullptr, request->value,
                               request->values[OptExact] != nullptr, remote->build->addressDigits, format, path,
                               haveType ? &typed : nullptr);
    else
        result = Fail(read == FindingsTooLarge   ? "the findings are too large (2 GiB or more)"
                      : read == FindingsOddUtf16 ? "the findings are UTF-16 with an odd number of bytes: cut short?"
                                                 : "out of memory for the findings");
    FreeFindings(&findings);
    FreeBlock(text);
    return result;
}

static UINT32 Close(const Request *request, const Remote *remote, UINT32 format)
{
    DWORD code;
    if (!CloseRemote(remote, request->seconds * 1000, &code)) {
        BeginErrorAbout(remote);
        Put(" did not end within ");
        PutNumber(request->seconds);
        Put(" s; it is still running, and the close request stays queued: it closes once it runs on");
        return EndError();
    }
    static const Column columns[] = {{"pid", TRUE}, {"exit_code", TRUE}};
    BeginSheet(columns, 2);
    UINT32 row = AddRow();
    SetCell(row, 0, NumberText(remote->pid));
    SetCell(row, 1, NumberText(code));
    WriteSheet(format);
    return ExitOk;
}

// The range fields' texts before a press: reported, not restored, when a
// later step fails.
enum { FieldUnits = 64 };
static WCHAR FieldsBefore[2][FieldUnits];
static BOOL FieldCut[2]; // a longer text (Windows keeps one whole): shown with "..."
static const char *const FieldNames[2] = {"the low field", "the high field"};

// What the steps of a press left, the one at failed (0 and 1: setting the
// low and the high field, 2: the press, 3: none) not confirmed: "; " and a
// part for each field given, then the button's.
static void PutPressState(const WCHAR *const texts[2], const char *button, UINT32 failed)
{
    for (UINT32 f = 0; f < 2; ++f) {
        if (!texts[f]) continue;
        Put("; ");
        if (f > failed) {
            Put(FieldNames[f]);
            Put(" was not set: it holds \"");
        } else {
            Put(f == failed ? "setting " : "");
            Put(FieldNames[f]);
            Put(f == failed ? " to \"" : " is set to \"");
            PutWide(texts[f]);
            Put(f == failed ? "\" was not confirmed (it held \"" : "\" (it held \"");
        }
        PutWide(FieldsBefore[f]);
        if (FieldCut[f]) Put("...");
        Put(f > failed ? "\"" : "\")");
    }
    Put("; ");
    if (failed == 2) Put("pressing ");
    Put(button);
    Put(failed < 2 ? " was not pressed" : failed == 2 ? " was not confirmed" : " ran");
}

// read, write-a, write-b: Vantoriel must answer and its report parse before
// anything is changed; an error after that says what is done.
static UINT32 Press(const Request *request, const Remote *remote, UINT32 format)
{
    UINT32 read = ReadTargets(remote);
    if (read != ReadDone) return ReadFailed(remote, read, "; nothing was changed");
    for (UINT32 f = 0; f < 2; ++f) {
        UINT32 length;
        if (!GetRemoteText(remote->controls[f], FieldsBefore[f], FieldUnits, &length))
            return NoAnswer(remote, GetLastError(), "; nothing was changed");
        FieldCut[f] = length + 1 >= FieldUnits;
    }
    const WCHAR *texts[2] = {request->values[OptLow], request->values[OptHigh]};
    UINT32 id = request->verb == VerbRead ? ID_READ : request->verb == VerbWriteA ? ID_WRITE_A : ID_WRITE_B;
    const char *button = id == ID_READ ? "Read" : id == ID_WRITE_A ? "Write(A)" : "Write(B)";
    UINT32 failed = 3;
    for (UINT32 f = 0; f < 2 && failed == 3; ++f)
        if (texts[f] && !SetRemoteText(remote->controls[f], texts[f])) failed = f;
    if (failed == 3 && !PressButton(remote, id)) failed = 2;
    if (failed < 3) {
        DWORD error = GetLastError();
        BeginErrorAbout(remote);
        PutSendFailure(error);
        PutPressState(texts, button, failed);
        return EndError();
    }
    read = ReadTargets(remote);
    if (read != ReadDone) {
        BeginReadFailure(remote, read);
        if (read == ReadBadReport) Put(" after the press");
        PutPressState(texts, button, 3);
        if (read == ReadNoAnswer) Put("; the report after it was not read");
        return EndError();
    }
    UINT32 result = ReadAll(remote);
    return result == ExitOk ? PrintTargets(remote, format) : result;
}

// "the target at ADDRESS WHAT; nothing was written" as an error line.
static UINT32 TargetFailed(const Remote *remote, const Target &t, const char *what)
{
    return Fail("the target at ", AddressText(t.address, remote->build->addressDigits), what, "; nothing was written");
}

// The plants a 32-bit write without --type reaches: as Vantoriel's own are.
static BOOL Plain32(UINT32 type)
{
    return type == TypeI32 || type == TypeU32;
}

// Through volatile: a copying loop would become a library call.
static void CopyValue(BYTE *to, const BYTE *from, UINT32 size)
{
    volatile BYTE *t = to;
    for (UINT32 k = 0; k < size; ++k) t[k] = from[k];
}

// "A TEXT B C D; nothing was written" as an error line.
static UINT32 SetRefused(const char *a, const WCHAR *text, const char *b, const char *c = "", const char *d = "")
{
    BeginError();
    Put(a);
    PutWide(text);
    Put(b);
    Put(c);
    Put(d);
    Put("; nothing was written");
    return EndError();
}

// A write set makes: the target, its bytes before and after, and the
// protection lifted to make it, if any.
struct Change {
    UINT32 target, size, type;
    BYTE before[ValueBytesMax], after[ValueBytesMax];
    DWORD lifted;           // the protection to restore, 0 if none was lifted
};
static Change *Changes;
static UINT32 ChangeCount, Unrestored; // writes after which a lifted protection could not be restored

// The text of a change's bytes, as its type reads them.
static const char *ChangeText(const Change &c, const BYTE *bytes)
{
    static char text[2][ValueTextMax];
    static UINT32 turn;
    char *t = text[turn++ & 1];
    ValueText(bytes, c.type, c.size, t, ValueTextMax);
    return t;
}

static BOOL SameBytes(const BYTE *a, const BYTE *b, UINT32 size)
{
    for (UINT32 k = 0; k < size; ++k)
        if (a[k] != b[k]) return FALSE;
    return TRUE;
}

// Writes a change's bytes (before or after), lifting a protection that
// forbids writing for the write and restoring it at once.
static BOOL WriteChange(const Remote *remote, const Change &c, const BYTE *bytes)
{
    UINT64 address = Targets[c.target].address;
    DWORD old = 0;
    if (c.lifted) {
        DWORD writable = c.lifted == PAGE_EXECUTE_READ ? PAGE_EXECUTE_READWRITE : PAGE_READWRITE;
        if (!ProtectMemory(remote->process, address, c.size, writable, &old)) return FALSE;
    }
    BOOL written = WriteMemory(remote->process, address, bytes, c.size);
    DWORD error = GetLastError();
    if (c.lifted && !ProtectMemory(remote->process, address, c.size, c.lifted, &old)) ++Unrestored;
    SetLastError(error);
    return written;
}

// "; the protection of N read-only plant(s) could not be restored ..." when
// a write lifted one for good.
static void PutUnrestored()
{
    if (!Unrestored) return;
    Put("; the protection of ");
    PutNumber(Unrestored);
    Put(Unrestored == 1 ? " read-only plant could not be restored: it stays writable"
                        : " read-only plants could not be restored: they stay writable");
}

// The write of change failed did not go through: each change before it, and
// that one, goes back to what it held, checked by reading it back. The
// error line names each that does not hold its old value again, with what
// it holds.
static UINT32 WriteFailed(const Remote *remote, UINT32 failed)
{
    static BYTE now[ValueBytesMax];
    UINT32 digits = remote->build->addressDigits, wrong = 0;
    for (UINT32 j = 0; j <= failed; ++j) {
        Change &c = Changes[j];
        // The one that failed may still hold its old value: nothing to put back then.
        BOOL same = j == failed && ReadMemory(remote->process, Targets[c.target].address, now, c.size) &&
                    SameBytes(now, c.before, c.size);
        if (!same) WriteChange(remote, c, c.before);
        BOOL known = ReadMemory(remote->process, Targets[c.target].address, now, c.size);
        // after[] now holds what it holds, or stays as it was: told apart by known.
        c.lifted = known ? 1 : 0;
        if (known) CopyValue(c.after, now, c.size);
        wrong += !known || !SameBytes(now, c.before, c.size);
    }
    BeginError();
    Put("the target at ");
    Put(AddressText(Targets[Changes[failed].target].address, digits));
    Put(" could not be written");
    if (wrong == 0) {
        if (failed == 0) Put("; nothing was written");
        else if (failed == 1) Put("; the target written before it holds its old value again");
        else Put("; the "), PutNumber(failed), Put(" targets written before it hold their old values again");
        PutUnrestored();
        return EndError();
    }
    Put("; putting back the old values failed:");
    for (UINT32 j = 0, listed = 0; j <= failed; ++j) {
        const Change &c = Changes[j];
        BOOL known = c.lifted == 1;
        if (known && SameBytes(c.after, c.before, c.size)) continue;
        Put(listed++ ? "; the target at " : " the target at ");
        Put(AddressText(Targets[c.target].address, digits));
        if (known) Put(" holds "), Put(ChangeText(c, c.after));
        else Put(" cannot be read back");
        Put(" where it held ");
        Put(ChangeText(c, c.before));
    }
    UINT32 restored = failed + 1 - wrong;
    if (restored) Put("; "), PutNumber(restored), Put(restored == 1 ? " other holds its old value" : " others hold their old values");
    PutUnrestored();
    return EndError();
}

// Whether the bytes of target t may be written, perhaps after lifting the
// protection of a plant (into *lift), which set restores after its write.
static BOOL Writable(const Remote *remote, const Target &t, UINT32 size, DWORD *lift)
{
    *lift = 0;
    DWORD writable = PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
    // Its first and its last byte: a value may span two pages.
    const UINT64 ends[2] = {t.address, t.address + size - 1};
    for (UINT64 at : ends) {
        MEMORY_BASIC_INFORMATION m;
        if (!QueryMemory(remote->process, at, &m) || m.State != MEM_COMMIT || (m.Protect & PAGE_GUARD)) return FALSE;
        if (m.Protect & writable) continue;
        if (!t.plant || (m.Protect != PAGE_READONLY && m.Protect != PAGE_EXECUTE_READ)) return FALSE;
        *lift = m.Protect;
    }
    return TRUE;
}

// What set writes, and where: from set's options or from watch's --set.
struct SetOrder {
    const WCHAR *value, *add;       // the texts of --value and --add; one is null
    UINT32 value32, add32;          // them read as 32 bits, without a type
    BOOL typed;
    UINT32 type;
    UINT32 kinds, cases;
    const WCHAR *const *addresses;
    UINT32 addressCount;
    const char *option;             // that gave the value: "--value " or "--set "
};

// Writes into the chosen targets from outside, as T (32 bits without a
// type), all or none; Changes then holds what was written. The targets are
// read first.
static UINT32 WriteChosen(const SetOrder *request, const Remote *remote)
{
    UINT32 read = ReadTargets(remote);
    if (read != ReadDone) return ReadFailed(remote, read, "; nothing was written");
    UINT32 result = ReadAll(remote);
    if (result != ExitOk) return result;
    BOOL *chosen = (BOOL *)GrowBlock(nullptr, (SIZE_T)TargetCount * sizeof(BOOL) + 1);
    if (!chosen) return Fail("out of memory; nothing was written");
    // The targets at the addresses given, whatever they are; then those of the
    // kinds and cases, a plant among them only if of the type written (an
    // i32 or u32 one without --type, as Vantoriel's own are).
    result = ChooseTargets(Targets, TargetCount, 0, request->addresses, request->addressCount, &Image, chosen);
    BOOL typed = request->typed;
    UINT32 type = typed ? request->type : (UINT32)TypeU32;
    UINT32 count = 0;
    for (UINT32 k = 0; k < TargetCount; ++k) {
        const Target &t = Targets[k];
        BOOL byKind = (request->kinds >> t.kind & 1) || (t.kind == KindPlanted && (request->cases >> t.index & 1));
        if (byKind && !chosen[k]) chosen[k] = !t.plant || (typed ? t.plant->type == type : Plain32(t.plant->type));
        count += chosen[k];
    }
    if (result == ExitOk && count == 0) result = Fail("no target of the type given is chosen; nothing was written");
    Change *more = result == ExitOk ? (Change *)GrowBlock(Changes, (SIZE_T)(count + 1) * sizeof(Change)) : Changes;
    if (result == ExitOk && !more) result = Fail("out of memory; nothing was written");
    Changes = more;
    TypedValue value = {};
    if (result == ExitOk && request->value && typed && ReadValue(request->value, type, &value) != ValueOk)
        result = SetRefused(request->option, request->value, " is no value of type ", TypeName(type));
    ChangeCount = 0;
    for (UINT32 k = 0; k < TargetCount && result == ExitOk; ++k) {
        if (!chosen[k]) continue;
        const Target &t = Targets[k];
        Change &c = Changes[ChangeCount++];
        c.target = k;
        c.type = type;
        c.size = typed ? (type == TypeBytes ? value.size : TypeSize(type)) : 4;
        // A write never runs past its target: Vantoriel's own hold four bytes.
        if (c.size > (t.plant ? t.plant->size : 4)) result = TargetFailed(remote, t, " holds too few bytes for the type given");
        else if (t.plant && !typed && !Plain32(t.plant->type))
            result = TargetFailed(remote, t, " is a plant of another type than a little-endian 32-bit integer: give --type");
        else if (!t.readable || (t.plant && t.known < c.size))
            // What it holds must be known, to put it back if a later write fails.
            result = TargetFailed(remote, t, " cannot be read");
        else if (!Writable(remote, t, c.size, &c.lifted))
            result = TargetFailed(remote, t, MemoryStuck() ? " was not queried in time: stopped by a debugger or a scanner?"
                                                           : " cannot be written");
        if (result != ExitOk) break;
        if (t.plant) CopyValue(c.before, t.now, c.size);
        else for (UINT32 b = 0; b < 4; ++b) c.before[b] = (BYTE)(t.memory >> 8 * b);
        if (!typed) {
            UINT32 v = request->add ? t.memory + request->add32 : request->value32; // wraps, as 32-bit arithmetic does
            for (UINT32 b = 0; b < 4; ++b) c.after[b] = (BYTE)(v >> 8 * b);
        } else if (request->value) {
            CopyValue(c.after, value.bytes, c.size);
        } else {
            TypedValue old = {}, sum;
            old.type = type;
            old.size = c.size;
            CopyValue(old.bytes, c.before, c.size);
            UINT32 added = AddValue(&old, request->add, &sum);
            if (added != ValueOk)
                result = SetRefused("--add ", request->add,
                                    added == ValueOutOfRange && IsFloatType(type) ? " takes the target at "
                                    : added == ValueOutOfRange                   ? " is out of the range of "
                                                                                 : " is no difference of type ",
                                    added == ValueOutOfRange && IsFloatType(type)
                                        ? AddressText(t.address, remote->build->addressDigits)
                                        : TypeName(type),
                                    added == ValueOutOfRange && IsFloatType(type) ? " beyond the largest float" : "");
            else CopyValue(c.after, sum.bytes, c.size);
        }
    }
    FreeBlock(chosen);
    if (result != ExitOk) return result;
    Unrestored = 0;
    for (UINT32 j = 0; j < ChangeCount; ++j)
        if (!WriteChange(remote, Changes[j], Changes[j].after)) return WriteFailed(remote, j);
    if (Unrestored) {
        BeginError();
        Put("every chosen target was written");
        PutUnrestored();
        return EndError();
    }
    return ExitOk;
}

// set: into the chosen targets from outside, then the targets as they are.
static UINT32 Set(const Request *request, const Remote *remote, UINT32 format)
{
    SetOrder order = {request->values[OptValue], request->values[OptAdd], request->value, request->add,
                      request->values[OptType] != nullptr, request->types[0], request->kinds, request->cases,
                      request->addresses, request->addressCount, "--value "};
    UINT32 result = WriteChosen(&order, remote);
    if (result != ExitOk) return result;
    for (UINT32 k = 0; k < OwnCount; ++k)
        Targets[k].readable = ReadRemoteValue(remote->process, Targets[k].address, &Targets[k].memory);
    result = ReadAll(remote);
    return result == ExitOk ? PrintTargets(remote, format) : result;
}

// plant: V as each type, in each case asked for.
static UINT32 PlantVerb(const Request *request, const Remote *remote, UINT32 format)
{
    static TypedValue values[TypeCount];
    for (UINT32 k = 0; k < request->typeCount; ++k) {
        UINT32 read = ReadValue(request->values[OptValue], request->types[k], &values[k]);
        if (read == ValueOk) continue;
        BeginError();
        Put("--value ");
        PutWide(request->values[OptValue]);
        Put(read == ValueOutOfRange  ? " is out of the range of "
            : read == ValueNotFinite ? " is no finite number, as "
            : read == ValueTooLong   ? " is longer than 64 bytes, as "
                                     : " is no value of type ");
        Put(TypeName(request->types[k]));
        Put(read == ValueNotFinite ? " needs" : "");
        Put("; nothing was planted");
        return EndError();
    }
    static NotPlaced notPlaced[NotPlacedMax];
    UINT32 notPlacedCount = 0, first = 0;
    const PlantBook *book = nullptr;
    UINT32 result = Plant(remote, values, request->typeCount, request->cases, request->count, notPlaced, &notPlacedCount,
                          &book, &first);
    if (result != ExitOk) return result;
    OwnCount = 0;
    result = AddPlants(remote, book, first);
    if (result == ExitOk) result = FindProtection(remote);
    if (result == ExitOk) result = PrintTargets(remote, format, 0, request->values[OptNearMisses] != nullptr);
    if (result != ExitOk) return result;
    for (UINT32 k = 0; k < notPlacedCount; ++k) {
        const NotPlaced &n = notPlaced[k];
        if (format == FormatJson) {
            Put("{\"kind\":\"not-placed\",\"name\":");
            PutJsonString(CaseNames[n.plantCase]);
            Put(",\"type\":");
            PutJsonString(TypeName(n.type));
            Put(",\"reason\":");
            PutJsonString(n.reason);
            Put("}\n");
            continue;
        }
        Put(k == 0 && format == FormatText ? "\n" : "");
        Put(format == FormatCsv ? "# not placed: " : "not placed: ");
        Put(CaseNames[n.plantCase]);
        Put(" as ");
        Put(TypeName(n.type));
        Put(": ");
        Put(n.reason);
        Put("\n");
    }
    return notPlacedCount ? ExitMissed : ExitOk;
}

static UINT32 UnplantVerb(const Request *request, const Remote *remote, UINT32 format)
{
    UINT32 removed = 0;
    UINT32 result = Unplant(remote, request->cases ? request->cases : (1u << CaseCount) - 1, &removed);
    if (result != ExitOk) return result;
    static const Column columns[] = {{"pid", TRUE}, {"removed", TRUE}};
    BeginSheet(columns, 2);
    UINT32 row = AddRow();
    SetCell(row, 0, NumberText(remote->pid));
    SetCell(row, 1, NumberText(removed));
    WriteSheet(format);
    return ExitOk;
}

// watch: what --set writes first, as set writes it, then each change of the
// chosen targets (those at the addresses given, or all).
static UINT32 WatchRequest(const Request *request, const Remote *remote, UINT32 format)
{
    const WCHAR *set = request->values[OptSet];
    static WCHAR value[ValueTextMax];
    SetOrder order = {value, nullptr, 0, 0, FALSE, TypeU32, 0, 0, request->addresses, request->addressCount, "--set "};
    ChangeCount = 0;
    UINT32 result = ExitOk;
    UINT64 writtenAt = 0;
    if (set) {
        // VALUE[:TYPE]; without a type, 32 bits as set's --value.
        UINT32 split = SplitTypedText(set, value, &order.typed, &order.type);
        if (split == TypedTextUnknownType)
            return SetRefused("--set ", set, " names an unknown type (see vantoriel-ctl --help)");
        if (split != TypedTextOk) return SetRefused("--set ", set, " is not VALUE[:TYPE]");
        if (!order.typed && !WholeNumber(value, &order.value32))
            return SetRefused("--set ", set, " takes an unsigned 32-bit number without a type");
        // Without addresses, every target the value fits: Vantoriel's own
        // hold 32 bits.
        if (!request->addressCount)
            order.kinds = 1u << KindPlanted | (!order.typed || Plain32(order.type) ? 7u : 0u);
        result = WriteChosen(&order, remote);
        writtenAt = Microseconds();
    } else {
        UINT32 read = ReadTargets(remote);
        result = read != ReadDone ? ReadFailed(remote, read) : ReadAll(remote);
    }
    if (result != ExitOk) return result;
    BOOL *chosen = (BOOL *)GrowBlock(nullptr, (SIZE_T)TargetCount * sizeof(BOOL) + 1);
    Written *written = (Written *)GrowBlock(nullptr, (SIZE_T)ChangeCount * sizeof(Written) + 1);
    if (!chosen || !written) result = Fail("out of memory for the watch", set ? "; what --set wrote stays written" : "");
    if (result == ExitOk && set) {
        // The targets written, at the addresses already read.
        for (UINT32 k = 0; k < TargetCount; ++k) chosen[k] = FALSE;
    } else if (result == ExitOk) {
        result = ChooseTargets(Targets, TargetCount, request->addressCount ? 0 : 0x1F, request->addresses,
                               request->addressCount, &Image, chosen);
    }
    if (result == ExitOk) {
        for (UINT32 j = 0; j < ChangeCount; ++j) {
            const Change &c = Changes[j];
            written[j].target = c.target, written[j].type = c.type, written[j].size = c.size;
            written[j].before = c.before, written[j].after = c.after;
            chosen[c.target] = TRUE;
        }
    }
    if (result == ExitOk) result = WatchVerb(request, remote, Targets, TargetCount, chosen, written, ChangeCount, writtenAt, format);
    FreeBlock(written);
    FreeBlock(chosen);
    return result;
}

// changes: the snapshot read, its process found by its id, and compared.
static UINT32 ChangesRequest(const Request *request, UINT32 format)
{
    SIZE_T length = 0;
    UINT32 result = ExitError;
    const WCHAR *path = SameAscii(request->file, "-") ? nullptr : request->file;
    unsigned char *text = ReadWhole(path, &length, &result, "the snapshot", "is");
    if (!text) return result;
    // As a shell may save standard output: UTF-16 after its mark.
    unsigned char *converted;
    UINT32 utf16 = Utf16AsUtf8(text, &length, &converted);
    if (converted || utf16 != FindingsRead) FreeBlock(text), text = converted;
    if (utf16 != FindingsRead)
        return Fail(utf16 == FindingsOddUtf16 ? "the snapshot is UTF-16 with an odd number of bytes: cut short?"
                                              : "out of memory for the snapshot");
    static Snapshot snapshot;
    SIZE_T line = 0;
    UINT32 read = ReadSnapshot((char *)text, length, &snapshot, &line);
    if (read != SnapshotOk) {
        BeginError();
        if (path) PutWide(path);
        else Put("standard input");
        Put(read == SnapshotNoHeader    ? " is no snapshot of vantoriel-ctl: its first line is not a snapshot's"
            : read == SnapshotBadLine   ? " does not read as a snapshot at line "
            : read == SnapshotCutShort  ? " is cut short: it holds fewer targets than its first line says"
            : read == SnapshotTooLong   ? " holds more targets than its first line says, from line "
                                        : ": out of memory for the snapshot");
        if (read == SnapshotBadLine || read == SnapshotTooLong) PutNumber(line);
        result = EndError();
    } else if (request->values[OptPid] && request->pid != snapshot.header.pid) {
        result = Fail("the snapshot is of process ", NumberText(snapshot.header.pid), ", not of --pid ",
                      NumberText(request->pid));
    } else {
        Remote remote = {};
        result = Find(request, &remote, snapshot.header.pid);
        if (result == ExitOk) {
            result = ChangesVerb(request, &remote, &snapshot, format);
            DetachRemote(&remote);
        }
    }
    FreeSnapshot(&snapshot);
    FreeBlock(text);
    return result;
}

UINT32 RunRequest(const Request *request)
{
    UINT32 format = request->values[OptJson] ? FormatJson : request->values[OptCsv] ? FormatCsv : FormatText;
    RemoteAnswerMs = request->seconds * 1000;
    MemoryBoundMs = RemoteAnswerMs;
    if (request->verb == VerbStart) return Start(request, format);
    if (request->verb == VerbChanges) return ChangesRequest(request, format);

    Remote remote = {};
    UINT32 result = Find(request, &remote);
    if (result != ExitOk) return result;
    if (request->verb == VerbClose) {
        result = Close(request, &remote, format);
    } else if (request->verb == VerbTable || request->verb == VerbScore) {
        UINT32 read = ReadTargets(&remote);
        if (read != ReadDone) result = ReadFailed(&remote, read);
        else if (request->verb == VerbScore) result = (result = ReadAll(&remote)) == ExitOk ? ScoreVerb(request, &remote, format) : result;
        else if ((result = ReadAll(&remote)) == ExitOk)
            result = PrintTargets(&remote, format, 0, request->values[OptNearMisses] != nullptr);
    } else if (request->verb == VerbPlant) {
        result = PlantVerb(request, &remote, format);
    } else if (request->verb == VerbUnplant) {
        result = UnplantVerb(request, &remote, format);
    } else if (request->verb == VerbSnapshot) {
        UINT32 read = ReadTargets(&remote);
        result = read != ReadDone ? ReadFailed(&remote, read) : ReadAll(&remote);
        if (result == ExitOk) result = SnapshotVerb(request, &remote, Targets, TargetCount, &Image);
    } else if (request->verb == VerbWatch) {
        result = WatchRequest(request, &remote, format);
    } else if (request->verb == VerbSet) {
        result = Set(request, &remote, format);
    } else {
        result = Press(request, &remote, format);
    }
    DetachRemote(&remote);
    return result;
}
