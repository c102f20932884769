// remote_standin.cpp: the platform calls of the companion's remote side,
// answered from a scripted world (see remote_standin.h).
#include "remote_standin.h"

#include "ctl/kind.h"
#include "ctl/remote.h"

#include <string.h>

namespace world {

World W;

// Files are read whole from W.files (or W.standardInput): a handle's place in them.
static std::map<UINT_PTR, std::pair<const std::string *, size_t>> OpenFiles;

void Reset()
{
    W = World();
    OpenFiles.clear();
}

// Handles are numbers with no meaning but their key.
static HANDLE NewHandle(DWORD pid, DWORD access, bool thread)
{
    UINT_PTR h = W.nextHandle += 4;
    W.handles[h] = {pid, access, thread};
    return (HANDLE)h;
}

static World::Handle *HandleOf(HANDLE h)
{
    auto found = W.handles.find((UINT_PTR)h);
    return found == W.handles.end() ? nullptr : &found->second;
}

static HWND NewWindow(DWORD pid, HWND parent, int id, const Wide &cls, const Wide &title, UINT64 appearsAt)
{
    Window w;
    w.handle = (HWND)(UINT_PTR)(0x10000 + 0x10 * W.windows.size());
    w.pid = pid;
    w.parent = parent;
    w.id = id;
    w.cls = cls;
    w.title = title;
    w.appearsAt = appearsAt;
    W.windows.push_back(w);
    return w.handle;
}

Window *WindowOf(HWND handle)
{
    for (Window &w : W.windows)
        if (w.handle == handle) return &w;
    return nullptr;
}

// A window the companion can see now: made, shown and not destroyed.
static Window *LiveWindow(HWND handle)
{
    Window *w = WindowOf(handle);
    return w && !w->gone && w->appearsAt <= W.now ? w : nullptr;
}

Process &ProcessOf(DWORD pid) { return W.processes[pid]; }

HWND Control(DWORD pid, int id)
{
    for (Window &w : W.windows)
        if (w.pid == pid && w.parent && w.id == id) return w.handle;
    return nullptr;
}

void EndProcess(DWORD pid, DWORD code)
{
    Process &p = ProcessOf(pid);
    if (p.ended) return;
    p.ended = true;
    p.exitCode = code;
    for (Window &w : W.windows)
        if (w.pid == pid) w.gone = true;
}

// What the clock has brought: processes that end by themselves.
static void Tick()
{
    for (auto &entry : W.processes)
        if (entry.second.endsAt && entry.second.endsAt <= W.now) EndProcess(entry.first, 0);
}

static Region *RegionAt(Process &p, UINT64 address)
{
    for (Region &r : p.regions)
        if (address >= r.base && address - r.base < r.size) return &r;
    return nullptr;
}

UINT32 Memory(DWORD pid, UINT64 address)
{
    Region *r = RegionAt(ProcessOf(pid), address);
    if (!r) return 0xDEADDEAD;
    UINT32 v;
    memcpy(&v, &r->bytes[address - r->base], 4);
    return v;
}

void SetMemory(DWORD pid, UINT64 address, UINT32 value)
{
    Region *r = RegionAt(ProcessOf(pid), address);
    if (r) memcpy(&r->bytes[address - r->base], &value, 4);
}

void SetProtection(DWORD pid, UINT64 address, DWORD protect)
{
    Region *r = RegionAt(ProcessOf(pid), address);
    if (r) r->protect = protect;
}

static Region &AddRegion(Process &p, UINT64 base, UINT64 size, DWORD protect, DWORD type, UINT64 allocationBase)
{
    Region r;
    r.base = base;
    r.size = size;
    r.protect = protect;
    r.type = type;
    r.allocationBase = allocationBase ? allocationBase : base;
    r.bytes.assign(size, 0);
    p.regions.push_back(r);
    return p.regions.back();
}

static Wide Hex(UINT64 v, int digits)
{
    Wide s(digits, u'0');
    for (int k = digits - 1; k >= 0; --k, v >>= 4) s[k] = u"0123456789ABCDEF"[v & 15];
    return s;
}

void RebuildReport(DWORD pid)
{
    Process &p = ProcessOf(pid);
    int digits = p.is32 ? 8 : 16;
    Wide report;
    UINT32 kind = KindMapped;
    for (auto &t : p.targets) {
        if (t.first != kind) report += u"--\r\n", kind = t.first;
        UINT32 v = Memory(pid, t.second);
        std::string decimal = std::to_string(v);
        report += Hex(t.second, digits) + u"  " + Wide(10 - decimal.size(), u' ') + Wide(decimal.begin(), decimal.end()) + u" ";
        for (int b = 0; b < 4; ++b) report += Hex((v >> (8 * b)) & 0xFF, 2);
        report += u"\r\n";
    }
    WindowOf(Control(pid, ID_REPORT))->text = report;
}

DWORD AddVantoriel(bool is32)
{
    VantorielSetup setup;
    setup.is32 = is32;
    return AddVantoriel(setup);
}

DWORD AddVantoriel(const VantorielSetup &s)
{
    DWORD pid = s.pid ? s.pid : W.nextPid;
    W.nextPid = pid + 4;
    Process &p = ProcessOf(pid);
    p.pid = pid;
    p.vantoriel = true;
    p.is32 = s.is32;
    const char16_t *name = s.is32 ? u"Vantoriel32" : u"Vantoriel64";
    p.image = s.image.empty() ? Wide(u"C:\\v\\") + name + u".exe" : s.image;

    // The image: headers (with SizeOfImage), code, and the data that holds the static targets.
    UINT64 base = s.imageBase ? s.imageBase : s.is32 ? 0x400000 : ImageBase64;
    Region &headers = AddRegion(p, base, 0x1000, PAGE_READONLY, MEM_IMAGE, base);
    headers.bytes[0] = 'M', headers.bytes[1] = 'Z';
    UINT32 pe = 0x80, sizeOfImage = (UINT32)ImageSize;
    memcpy(&headers.bytes[0x3C], &pe, 4);
    memcpy(&headers.bytes[pe], "PE\0\0", 4);
    memcpy(&headers.bytes[pe + 4 + 20 + 56], &sizeOfImage, 4);
    AddRegion(p, base + 0x1000, 0x2000, PAGE_EXECUTE_READ, MEM_IMAGE, base);
    AddRegion(p, base + 0x3000, 0x2000, PAGE_READWRITE, MEM_IMAGE, base);
    // Mapped targets in their slots' intervals, each its own view; heap blocks in one private region.
    for (UINT32 slot : {32u, 40u, 50u}) {
        UINT64 a = MappedBase(slot);
        AddRegion(p, a, 0x1000, PAGE_READWRITE, MEM_MAPPED, a);
        p.targets.push_back({KindMapped, a + slot * 4});
    }
    for (UINT32 k = 0; k < 4; ++k) p.targets.push_back({KindStatic, base + 0x3010 + 0x10 * k});
    UINT64 heap = s.is32 ? 0x700000 : 0x2000000;
    AddRegion(p, heap, 0x10000, PAGE_READWRITE, MEM_PRIVATE, heap);
    for (UINT32 k = 0; k < 6; ++k) p.targets.push_back({KindHeap, heap + 0x10 + 0x2000 * k});
    for (auto &t : p.targets) SetMemory(pid, t.second, s.value);

    p.main = NewWindow(pid, nullptr, 0, name, name, s.appearsAt);
    static const char16_t *const texts[6] = {u"100", u"200", u"Write(A)", u"Write(B)", u"Read", u""};
    for (int id = ID_LOW; id <= ID_REPORT; ++id) {
        HWND c = NewWindow(pid, p.main, id, id <= ID_HIGH || id == ID_REPORT ? u"Edit" : u"Button", u"", s.appearsAt);
        WindowOf(c)->text = texts[id - ID_LOW];
    }
    RebuildReport(pid);
    return pid;
}

HWND AddUsageBox(DWORD pid, UINT64 appearsAt)
{
    return NewWindow(pid, nullptr, 0, u"#32770", u"Vantoriel64", appearsAt);
}

int CountSent(UINT message)
{
    int n = 0;
    for (const Sent &s : W.sent) n += s.message == message;
    return n;
}

size_t OpenHandles() { return W.handles.size(); }

// A range field's number as the program reads it, simply: decimal or 0x hexadecimal.
static UINT32 FieldNumber(const Wide &text)
{
    UINT32 v = 0;
    if (text.size() > 2 && text[0] == u'0' && (text[1] == u'x' || text[1] == u'X')) {
        for (size_t k = 2; k < text.size(); ++k) {
            char16_t c = text[k];
            v = v * 16 + (UINT32)(c <= u'9' ? c - u'0' : (c | 0x20) - u'a' + 10);
        }
    } else {
        for (char16_t c : text) v = v * 10 + (UINT32)(c - u'0');
    }
    return v;
}

// A button's command, as the program runs it: Write(A) puts the low field's
// number into every target, Write(B) the high field's, Read writes nothing;
// then the report shows memory.
static void Press(Process &p, int id)
{
    if (id == ID_WRITE_A || id == ID_WRITE_B) {
        UINT32 v = FieldNumber(WindowOf(Control(p.pid, id == ID_WRITE_A ? ID_LOW : ID_HIGH))->text);
        for (auto &t : p.targets) SetMemory(p.pid, t.second, v);
    }
    RebuildReport(p.pid);
    if (p.garbleAfterPress) WindowOf(Control(p.pid, ID_REPORT))->text = u"not a report\r\n";
}

static Wide Text(const WCHAR *text)
{
    Wide s;
    while (text && *text) s += *text++;
    return s;
}

// The message's effect on the window, answering it.
static LRESULT Handle(Window &w, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_GETTEXTLENGTH:
        return (LRESULT)w.text.size();
    case WM_GETTEXT: {
        if (wParam == 0) return 0;
        size_t n = w.text.size() < wParam - 1 ? w.text.size() : wParam - 1;
        WCHAR *to = (WCHAR *)lParam;
        for (size_t k = 0; k < n; ++k) to[k] = w.text[k];
        to[n] = 0;
        return (LRESULT)n;
    }
    case WM_SETTEXT:
        w.text = Text((const WCHAR *)lParam);
        return TRUE;
    case WM_COMMAND: {
        Process &p = ProcessOf(w.pid);
        if (p.vantoriel && w.handle == p.main && HIWORD(wParam) == BN_CLICKED) Press(p, LOWORD(wParam));
        return 0;
    }
    }
    return 0;
}

} // namespace world

using namespace world;

static void Count(const char *name) { ++W.calls[name]; }

static BOOL Failed(DWORD error)
{
    W.lastError = error;
    return FALSE;
}

// ---------------------------------------------------------------- KERNEL32

DWORD WINAPI GetLastError(void) { return W.lastError; }
void WINAPI SetLastError(DWORD error) { W.lastError = error; }
DWORD WINAPI GetCurrentProcessId(void) { return 4; }
DWORD WINAPI GetCurrentThreadId(void) { return 8; }

UINT64 WINAPI GetTickCount64(void)
{
    Count("GetTickCount64");
    return W.now;
}

void WINAPI Sleep(DWORD milliseconds)
{
    Count("Sleep");
    W.now += milliseconds;
    Tick();
}

BOOL WINAPI CloseHandle(HANDLE handle)
{
    Count("CloseHandle");
    if (!W.handles.erase((UINT_PTR)handle)) return Failed(ERROR_INVALID_HANDLE);
    return TRUE;
}

// No threads in the stand-in: the companion then sends its messages itself.
HANDLE WINAPI CreateEventW(SECURITY_ATTRIBUTES *, BOOL, BOOL, const WCHAR *)
{
    Count("CreateEventW");
    return nullptr;
}

BOOL WINAPI SetEvent(HANDLE)
{
    return FALSE;
}

HANDLE WINAPI CreateThread(SECURITY_ATTRIBUTES *, SIZE_T, LPTHREAD_START_ROUTINE, LPVOID, DWORD, DWORD *)
{
    return nullptr;
}

DWORD WINAPI WaitForSingleObject(HANDLE handle, DWORD milliseconds)
{
    Count("WaitForSingleObject");
    World::Handle *h = HandleOf(handle);
    if (!h || h->thread || !(h->access & SYNCHRONIZE)) {
        W.lastError = ERROR_INVALID_HANDLE;
        return WAIT_FAILED;
    }
    Process &p = ProcessOf(h->pid);
    Tick();
    if (p.ended) return WAIT_OBJECT_0;
    if (p.endsAt && p.endsAt - W.now <= milliseconds) {
        W.now = p.endsAt;
        Tick();
        return WAIT_OBJECT_0;
    }
    if (milliseconds == INFINITE) { // the companion never waits without a bound
        W.lastError = ERROR_INVALID_PARAMETER;
        return WAIT_FAILED;
    }
    W.now += milliseconds;
    Tick();
    return WAIT_TIMEOUT;
}

HANDLE WINAPI OpenProcess(DWORD access, BOOL, DWORD pid)
{
    Count("OpenProcess");
    auto found = W.processes.find(pid);
    if (found == W.processes.end()) return (HANDLE)(UINT_PTR)Failed(ERROR_INVALID_PARAMETER);
    if (found->second.denyOpen || found->second.elevated) return (HANDLE)(UINT_PTR)Failed(ERROR_ACCESS_DENIED);
    return NewHandle(pid, access, false);
}

BOOL WINAPI CreateProcessW(const WCHAR *application, WCHAR *commandLine, SECURITY_ATTRIBUTES *, SECURITY_ATTRIBUTES *,
                           BOOL, DWORD, LPVOID, const WCHAR *folder, STARTUPINFOW *, PROCESS_INFORMATION *information)
{
    Count("CreateProcessW");
    ++W.creates;
    W.createdApplication = Text(application);
    W.createdCommandLine = Text(commandLine);
    W.createdFolder = Text(folder);
    if (!W.onCreate) return Failed(ERROR_FILE_NOT_FOUND);
    DWORD pid = W.nextPid;
    W.nextPid += 4;
    Process &p = ProcessOf(pid);
    p.pid = pid;
    p.image = W.createdApplication;
    W.onCreate(pid);
    information->dwProcessId = pid;
    information->dwThreadId = pid + 1;
    information->hProcess = NewHandle(pid, 0x1FFFFF, false);
    information->hThread = NewHandle(pid, 0x1FFFFF, true);
    return TRUE;
}

BOOL WINAPI TerminateProcess(HANDLE process, UINT code)
{
    Count("TerminateProcess");
    World::Handle *h = HandleOf(process);
    if (!h || h->thread) return Failed(ERROR_INVALID_HANDLE);
    EndProcess(h->pid, code);
    return TRUE;
}

BOOL WINAPI GetExitCodeProcess(HANDLE process, DWORD *code)
{
    World::Handle *h = HandleOf(process);
    if (!h || h->thread) return Failed(ERROR_INVALID_HANDLE);
    *code = ProcessOf(h->pid).exitCode;
    return TRUE;
}

BOOL WINAPI QueryFullProcessImageNameW(HANDLE process, DWORD, WCHAR *name, DWORD *size)
{
    Count("QueryFullProcessImageNameW");
    World::Handle *h = HandleOf(process);
    if (!h || h->thread) return Failed(ERROR_INVALID_HANDLE);
    if (*size > W.largestImageNameBuffer) W.largestImageNameBuffer = *size;
    const Wide &image = ProcessOf(h->pid).image;
    if (image.size() >= *size) return Failed(ERROR_INSUFFICIENT_BUFFER);
    for (size_t k = 0; k < image.size(); ++k) name[k] = image[k];
    name[image.size()] = 0;
    *size = (DWORD)image.size();
    return TRUE;
}

// The object names that use it are not looked at on the host.
BOOL WINAPI GetProcessTimes(HANDLE, FILETIME *, FILETIME *, FILETIME *, FILETIME *)
{
    return FALSE;
}

BOOL WINAPI ProcessIdToSessionId(DWORD, DWORD *session)
{
    *session = 1;
    return TRUE;
}

// Memory: every byte of [address, address + size) in one region that allows it.
static Region *Accessible(HANDLE process, DWORD right, LPCVOID address, SIZE_T size, bool write)
{
    World::Handle *h = HandleOf(process);
    if (!h || h->thread || !(h->access & right)) {
        W.lastError = h ? ERROR_ACCESS_DENIED : ERROR_INVALID_HANDLE;
        return nullptr;
    }
    Region *r = RegionAt(ProcessOf(h->pid), (UINT64)(UINT_PTR)address);
    DWORD readable = PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ | PAGE_EXECUTE_READWRITE |
                     PAGE_EXECUTE_WRITECOPY;
    DWORD writable = PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
    if (!r || (UINT64)(UINT_PTR)address - r->base + size > r->size || !(r->protect & (write ? writable : readable)) ||
        (r->protect & PAGE_GUARD)) {
        W.lastError = write ? ERROR_NOACCESS : ERROR_PARTIAL_COPY;
        return nullptr;
    }
    return r;
}

BOOL WINAPI ReadProcessMemory(HANDLE process, LPCVOID address, LPVOID buffer, SIZE_T size, SIZE_T *done)
{
    Count("ReadProcessMemory");
    if (done) *done = 0;
    auto injected = W.readFailures.find((UINT64)(UINT_PTR)address);
    if (injected != W.readFailures.end() && injected->second-- <= 0) return Failed(ERROR_PARTIAL_COPY);
    Region *r = Accessible(process, PROCESS_VM_READ, address, size, false);
    if (!r) return FALSE;
    memcpy(buffer, &r->bytes[(UINT64)(UINT_PTR)address - r->base], size);
    if (done) *done = size;
    return TRUE;
}

BOOL WINAPI WriteProcessMemory(HANDLE process, LPVOID address, LPCVOID buffer, SIZE_T size, SIZE_T *done)
{
    Count("WriteProcessMemory");
    ++W.writeCalls;
    if (done) *done = 0;
    auto injected = W.writeFailures.find(W.writeCalls);
    if (injected != W.writeFailures.end()) return Failed(injected->second);
    Region *r = Accessible(process, PROCESS_VM_WRITE, address, size, true);
    if (!r) return FALSE;
    memcpy(&r->bytes[(UINT64)(UINT_PTR)address - r->base], buffer, size);
    if (done) *done = size;
    return TRUE;
}

SIZE_T WINAPI VirtualQueryEx(HANDLE process, LPCVOID address, MEMORY_BASIC_INFORMATION *info, SIZE_T size)
{
    Count("VirtualQueryEx");
    World::Handle *h = HandleOf(process);
    if (!h || h->thread || !(h->access & (PROCESS_QUERY_INFORMATION | PROCESS_QUERY_LIMITED_INFORMATION)))
        return Failed(h ? ERROR_ACCESS_DENIED : ERROR_INVALID_HANDLE);
    UINT64 a = (UINT64)(UINT_PTR)address;
    Region *r = RegionAt(ProcessOf(h->pid), a);
    memset(info, 0, size);
    if (!r) {
        info->BaseAddress = (LPVOID)(UINT_PTR)(a & ~(UINT64)0xFFF);
        info->RegionSize = 0x1000;
        info->State = MEM_FREE;
        info->Protect = PAGE_NOACCESS;
        return sizeof *info;
    }
    info->BaseAddress = (LPVOID)(UINT_PTR)r->base;
    info->AllocationBase = (LPVOID)(UINT_PTR)r->allocationBase;
    info->AllocationProtect = r->protect;
    info->RegionSize = (SIZE_T)r->size;
    info->State = MEM_COMMIT;
    info->Protect = r->protect;
    info->Type = r->type;
    return sizeof *info;
}

int WINAPI WideCharToMultiByte(UINT codePage, DWORD, const WCHAR *wide, int wideLength, char *bytes, int byteLength,
                               const char *, BOOL *)
{
    if (codePage != CP_UTF8) return (int)Failed(ERROR_INVALID_PARAMETER);
    std::string out;
    int n = wideLength;
    if (n < 0) for (n = 0; wide[n]; ++n) {}
    for (int k = 0; k < n; ++k) {
        UINT32 c = wide[k];
        if (c >= 0xD800 && c < 0xDC00 && k + 1 < n && wide[k + 1] >= 0xDC00 && wide[k + 1] < 0xE000)
            c = 0x10000 + ((c - 0xD800) << 10) + (wide[++k] - 0xDC00);
        else if (c >= 0xD800 && c < 0xE000)
            c = 0xFFFD;
        if (c < 0x80) out += (char)c;
        else if (c < 0x800) out += (char)(0xC0 | c >> 6), out += (char)(0x80 | (c & 0x3F));
        else if (c < 0x10000) out += (char)(0xE0 | c >> 12), out += (char)(0x80 | (c >> 6 & 0x3F)), out += (char)(0x80 | (c & 0x3F));
        else out += (char)(0xF0 | c >> 18), out += (char)(0x80 | (c >> 12 & 0x3F)), out += (char)(0x80 | (c >> 6 & 0x3F)), out += (char)(0x80 | (c & 0x3F));
    }
    if (wideLength < 0) out += '\0';
    if (byteLength == 0) return (int)out.size();
    if ((int)out.size() > byteLength) return (int)Failed(ERROR_INSUFFICIENT_BUFFER);
    memcpy(bytes, out.data(), out.size());
    return (int)out.size();
}

DWORD WINAPI GetFullPathNameW(const WCHAR *name, DWORD size, WCHAR *path, WCHAR **file)
{
    Wide full = Text(name);
    if (full.size() < 2 || full[1] != u':') full = u"C:\\work\\" + full;
    if (file) *file = nullptr;
    if (full.size() >= size) return (DWORD)full.size() + 1;
    for (size_t k = 0; k < full.size(); ++k) path[k] = full[k];
    path[full.size()] = 0;
    return (DWORD)full.size();
}

DWORD WINAPI GetModuleFileNameW(HMODULE, WCHAR *name, DWORD size)
{
    const Wide &self = W.selfPath;
    DWORD n = self.size() < size ? (DWORD)self.size() : size - 1;
    for (DWORD k = 0; k < n; ++k) name[k] = self[k];
    name[n] = 0;
    return self.size() < size ? n : size;
}

DWORD WINAPI GetFileAttributesW(const WCHAR *name)
{
    return W.files.count(Text(name)) ? FILE_ATTRIBUTE_NORMAL : INVALID_FILE_ATTRIBUTES;
}


HANDLE WINAPI CreateFileW(const WCHAR *name, DWORD, DWORD, SECURITY_ATTRIBUTES *, DWORD, DWORD, HANDLE)
{
    auto found = W.files.find(Text(name));
    if (found == W.files.end()) {
        W.lastError = ERROR_FILE_NOT_FOUND;
        return INVALID_HANDLE_VALUE;
    }
    HANDLE h = NewHandle(0, 0, true);
    OpenFiles[(UINT_PTR)h] = {&found->second, 0};
    return h;
}

HANDLE WINAPI GetStdHandle(DWORD)
{
    static const UINT_PTR input = 0x7;
    OpenFiles[input] = {&W.standardInput, OpenFiles.count(input) ? OpenFiles[input].second : 0};
    return (HANDLE)input;
}

BOOL WINAPI GetFileSizeEx(HANDLE file, LARGE_INTEGER *size)
{
    auto found = OpenFiles.find((UINT_PTR)file);
    if (found == OpenFiles.end()) return Failed(ERROR_INVALID_HANDLE);
    size->QuadPart = (int64_t)found->second.first->size();
    return TRUE;
}

BOOL WINAPI ReadFile(HANDLE file, LPVOID buffer, DWORD size, DWORD *done, LPVOID)
{
    auto found = OpenFiles.find((UINT_PTR)file);
    if (found == OpenFiles.end()) return Failed(ERROR_INVALID_HANDLE);
    const std::string &text = *found->second.first;
    size_t &at = found->second.second;
    size_t n = text.size() - at < size ? text.size() - at : size;
    memcpy(buffer, text.data() + at, n);
    at += n;
    *done = (DWORD)n;
    return TRUE;
}

// ---------------------------------------------------------------- USER32

static bool TopLevelSeen(const Window &w) { return !w.parent && !w.gone && w.appearsAt <= W.now && !w.otherDesktop; }

HWND WINAPI FindWindowW(const WCHAR *className, const WCHAR *title)
{
    Count("FindWindowW");
    for (Window &w : W.windows)
        if (TopLevelSeen(w) && w.cls == Text(className) && (!title || w.title == Text(title))) return w.handle;
    return nullptr;
}

static const HANDLE StationHandle = (HANDLE)0x51, ThreadDesktopHandle = (HANDLE)0x52, InputDesktopHandle = (HANDLE)0x53;

// The top-level windows of the companion's desktop, listed first, then
// handed to callback: windows that come and go meanwhile change nothing.
BOOL WINAPI EnumWindows(WNDENUMPROC callback, LPARAM parameter)
{
    Count("EnumWindows");
    return EnumDesktopWindows(ThreadDesktopHandle, callback, parameter);
}

BOOL WINAPI EnumDesktopWindows(HDESK desktop, WNDENUMPROC callback, LPARAM parameter)
{
    Count("EnumDesktopWindows");
    if (desktop && desktop != ThreadDesktopHandle) return Failed(ERROR_INVALID_HANDLE);
    std::vector<HWND> seen;
    for (Window &w : W.windows)
        if (TopLevelSeen(w)) seen.push_back(w.handle);
    for (HWND h : seen)
        if (!callback(h, parameter)) break;
    return TRUE;
}

HWND WINAPI GetWindow(HWND window, UINT relation)
{
    Count("GetWindow");
    if (relation != GW_HWNDNEXT) return nullptr;
    size_t k = 0;
    while (k < W.windows.size() && W.windows[k].handle != window) ++k;
    while (++k < W.windows.size())
        if (TopLevelSeen(W.windows[k])) return W.windows[k].handle;
    return nullptr;
}

HWND WINAPI GetDlgItem(HWND dialog, int id)
{
    for (Window &w : W.windows)
        if (w.parent == dialog && w.id == id && !w.gone) return w.handle;
    return (HWND)(UINT_PTR)Failed(ERROR_INVALID_WINDOW_HANDLE);
}

static int CopyOut(const Wide &text, WCHAR *to, int capacity)
{
    if (capacity <= 0) return 0;
    int n = (int)text.size() < capacity - 1 ? (int)text.size() : capacity - 1;
    for (int k = 0; k < n; ++k) to[k] = text[k];
    to[n] = 0;
    return n;
}

int WINAPI GetClassNameW(HWND window, WCHAR *name, int capacity)
{
    Count("GetClassNameW");
    if (W.onLook) W.onLook(window);
    Window *w = LiveWindow(window);
    if (!w) return (int)Failed(ERROR_INVALID_WINDOW_HANDLE);
    return CopyOut(w->cls, name, capacity);
}

int WINAPI GetWindowTextW(HWND window, WCHAR *text, int capacity)
{
    Count("GetWindowTextW");
    Window *w = LiveWindow(window);
    if (!w) return (int)Failed(ERROR_INVALID_WINDOW_HANDLE);
    return CopyOut(w->parent ? Wide() : w->title, text, capacity);
}

LONG_PTR WINAPI GetWindowLongPtrW(HWND window, int index)
{
    Count("GetWindowLongPtrW");
    Window *w = LiveWindow(window);
    if (!w || index != GWL_STYLE) return (LONG_PTR)Failed(ERROR_INVALID_WINDOW_HANDLE);
    return w->visible ? WS_VISIBLE : 0;
}

BOOL WINAPI IsWindowVisible(HWND window)
{
    Count("IsWindowVisible");
    Window *w = LiveWindow(window);
    return w && w->visible;
}

DWORD WINAPI GetWindowThreadProcessId(HWND window, DWORD *pid)
{
    Window *w = WindowOf(window);
    if (!w || w->gone) {
        if (pid) *pid = 0;
        return (DWORD)Failed(ERROR_INVALID_WINDOW_HANDLE);
    }
    if (pid) *pid = w->pid;
    return w->pid + 1;
}

LRESULT WINAPI SendMessageTimeoutW(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT, UINT milliseconds,
                                   DWORD_PTR *result)
{
    Count("SendMessageTimeoutW");
    Tick();
    Sent s = {window, message, wParam, message == WM_SETTEXT ? Text((const WCHAR *)lParam) : Wide(), milliseconds, W.now, 0};
    Window *w = LiveWindow(window);
    DWORD error = 0;
    bool applied = true;
    for (SendFailure &f : W.sendFailures)
        if ((!f.window || f.window == window) && f.message == message && ++f.seen == f.nth && !error) {
            error = f.error;
            applied = f.applied;
        }
    if (error) {
    } else if (!w) {
        error = ERROR_INVALID_WINDOW_HANDLE;
    } else if (ProcessOf(w->pid).elevated) {
        error = ERROR_ACCESS_DENIED;
    } else if (!ProcessOf(w->pid).answers) {
        error = ERROR_TIMEOUT;
    }
    if (error == ERROR_TIMEOUT) W.now += milliseconds;
    LRESULT answer = 0;
    if (w && (!error || (applied && error == ERROR_TIMEOUT))) answer = Handle(*w, message, wParam, lParam);
    s.error = error;
    W.sent.push_back(s);
    if (error) return Failed(error);
    if (result) *result = (DWORD_PTR)answer;
    return 1;
}

BOOL WINAPI PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM)
{
    Count("PostMessageW");
    Window *w = LiveWindow(window);
    if (!w) return Failed(ERROR_INVALID_WINDOW_HANDLE);
    Process &p = ProcessOf(w->pid);
    if (message == WM_CLOSE && w->handle == p.main) {
        if (p.answers) EndProcess(p.pid, 0);
        else p.closeQueued = true;
    } else if (message == WM_COMMAND && LOWORD(wParam) == IDOK && w->cls == u"#32770" && p.answers) {
        w->gone = true;
        if (p.onBoxAnswered) p.onBoxAnswered();
    }
    return TRUE;
}

HWINSTA WINAPI GetProcessWindowStation(void) { return StationHandle; }
HDESK WINAPI GetThreadDesktop(DWORD) { return ThreadDesktopHandle; }

HDESK WINAPI OpenInputDesktop(DWORD, BOOL, DWORD)
{
    Count("OpenInputDesktop");
    if (!W.inputDesktopOpens) return (HDESK)(UINT_PTR)Failed(ERROR_ACCESS_DENIED);
    return InputDesktopHandle;
}

BOOL WINAPI CloseDesktop(HDESK desktop)
{
    Count("CloseDesktop");
    return desktop == InputDesktopHandle || desktop == ThreadDesktopHandle;
}

BOOL WINAPI GetUserObjectInformationW(HANDLE object, int index, LPVOID information, DWORD size, DWORD *needed)
{
    if (index != UOI_NAME) return Failed(ERROR_INVALID_PARAMETER);
    const Wide *name = object == StationHandle         ? &W.windowStation
                       : object == ThreadDesktopHandle ? &W.threadDesktop
                       : object == InputDesktopHandle  ? &W.inputDesktop
                                                       : nullptr;
    if (!name) return Failed(ERROR_INVALID_HANDLE);
    DWORD bytes = (DWORD)(name->size() + 1) * sizeof(WCHAR);
    if (needed) *needed = bytes;
    if (size < bytes) return Failed(ERROR_INSUFFICIENT_BUFFER);
    CopyOut(*name, (WCHAR *)information, (int)(name->size() + 1));
    return TRUE;
}
