// End-to-end driver: starts a Vantoriel .exe under the same Wine prefix and
// checks from outside, as a memory tool would, everything the program lets
// an outsider observe. Prints one line per check and "N passed, N failed".
//
//   e2e_driver.exe PATH-TO-EXE [smoke|full]
#include <windows.h>
#include <psapi.h>

#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <wchar.h>

#include <string>
#include <vector>

static int Passed = 0, Failed = 0;
static const char *Scenario = "";

static bool Check(bool ok, const char *format, ...)
{
    char text[2048];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    printf("%s - [%s] %s\n", ok ? "ok" : "FAIL", Scenario, text);
    fflush(stdout);
    (ok ? Passed : Failed)++;
    return ok;
}

static std::string Narrow(const std::wstring &w)
{
    std::string s;
    for (wchar_t c : w) {
        if (c == '\r') s += "\\r";
        else if (c == '\n') s += "\\n";
        else if (c >= 0x20 && c < 0x7F) s.push_back((char)c);
        else {
            char buf[12];
            snprintf(buf, sizeof buf, "\\u%04X", (unsigned)c);
            s += buf;
        }
    }
    return s;
}

// ---------------------------------------------------------------- the build

struct Build {
    bool wide;            // Vantoriel64
    std::wstring name;    // class name and title
    unsigned mapped;      // mapped slots
    unsigned addressDigits;
};
static Build B;

static uint64_t MappedBase(unsigned i) { return (uint64_t)(2 * (i % 8) + 1) << (4 * (i / 8)); }

// The program's generator, for predicting what the commands write.
struct Generator {
    uint64_t state = 0x0ABCDEF7u;
    uint32_t Next()
    {
        if (B.wide) {
            uint64_t s = state * 0x6C32C5D3u + 0x76543219u;
            s ^= s >> 50;
            state = s;
            return (uint32_t)s;
        }
        uint32_t s = (uint32_t)state * 0x6C32C5D3u + 0x76543219u;
        s ^= s >> 25;
        state = s;
        return s;
    }
    uint32_t InRange(uint32_t low, uint32_t high)
    {
        uint32_t span = high - low, bits = 0, rest = span;
        do { ++bits; rest >>= 1; } while (rest);
        uint32_t c;
        do c = Next() >> (32 - bits); while (c > span);
        return low + c;
    }
};

// ---------------------------------------------------------------- processes

struct Target {
    PROCESS_INFORMATION pi = {};
    HWND window = nullptr;
    HWND controls[6] = {};
};

static std::wstring ExePath;

static bool Launch(Target &t, const wchar_t *arguments)
{
    std::wstring commandLine = L"\"" + ExePath + L"\"";
    if (arguments && *arguments) commandLine += std::wstring(L" ") + arguments;
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(0);
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    if (!CreateProcessW(ExePath.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &t.pi)) {
        Check(false, "CreateProcess %s failed: %lu", Narrow(commandLine).c_str(), GetLastError());
        return false;
    }
    return true;
}

struct FindData { DWORD pid; const wchar_t *cls; HWND found; };

static BOOL CALLBACK FindTopLevel(HWND w, LPARAM l)
{
    FindData *d = (FindData *)l;
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    wchar_t cls[64];
    if (pid == d->pid && GetClassNameW(w, cls, 64) && wcscmp(cls, d->cls) == 0 && IsWindowVisible(w)) {
        d->found = w;
        return FALSE;
    }
    return TRUE;
}

static HWND WaitForTopLevel(DWORD pid, const wchar_t *cls, DWORD milliseconds)
{
    for (DWORD waited = 0; waited <= milliseconds; waited += 50) {
        FindData d = {pid, cls, nullptr};
        EnumWindows(FindTopLevel, (LPARAM)&d);
        if (d.found) return d.found;
        Sleep(50);
    }
    return nullptr;
}

static bool WaitForMainWindow(Target &t)
{
    for (int k = 0; k < 400; ++k) {
        HWND w = FindWindowW(B.name.c_str(), B.name.c_str());
        DWORD pid = 0;
        if (w) GetWindowThreadProcessId(w, &pid);
        if (w && pid == t.pi.dwProcessId && IsWindowVisible(w)) {
            t.window = w;
            for (int i = 0; i < 6; ++i) t.controls[i] = GetDlgItem(w, 1000 + i);
            return true;
        }
        if (WaitForSingleObject(t.pi.hProcess, 50) == WAIT_OBJECT_0) break;
    }
    return Check(false, "main window of class and title %s appears", Narrow(B.name).c_str());
}

static DWORD Close(Target &t)
{
    DWORD code = 0xDEAD;
    if (t.window) PostMessageW(t.window, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(t.pi.hProcess, 20000) != WAIT_OBJECT_0) {
        Check(false, "process %lu ends within 20 s of WM_CLOSE", t.pi.dwProcessId);
        TerminateProcess(t.pi.hProcess, 1);
        WaitForSingleObject(t.pi.hProcess, 5000);
    }
    GetExitCodeProcess(t.pi.hProcess, &code);
    CloseHandle(t.pi.hThread);
    CloseHandle(t.pi.hProcess);
    t = Target();
    return code;
}

static std::wstring GetText(HWND w)
{
    LRESULT n = SendMessageW(w, WM_GETTEXTLENGTH, 0, 0);
    std::vector<wchar_t> buf((size_t)n + 2);
    SendMessageW(w, WM_GETTEXT, (WPARAM)buf.size(), (LPARAM)buf.data());
    return buf.data();
}

static void SetText(HWND w, const wchar_t *text) { SendMessageW(w, WM_SETTEXT, 0, (LPARAM)text); }

static void Click(Target &t, int id) { SendMessageW(t.controls[id - 1000], BM_CLICK, 0, 0); }

// ---------------------------------------------------------------- the report

struct ReportLine {
    std::wstring text;
    bool target = false;
    uint64_t address = 0;
    uint32_t value = 0;     // from the value column (its last W digits)
    std::wstring valueColumn, bytes;
};

static std::vector<ReportLine> ParseReport(const std::wstring &report, unsigned width, bool &wellFormed)
{
    std::vector<ReportLine> lines;
    wellFormed = true;
    size_t start = 0;
    while (start < report.size()) {
        size_t end = report.find(L"\r\n", start);
        if (end == std::wstring::npos) {
            wellFormed = false;
            break;
        }
        ReportLine line;
        line.text = report.substr(start, end - start);
        start = end + 2;
        if (line.text.empty() || line.text == L"--") {
            lines.push_back(line);
            continue;
        }
        size_t expectedLength = B.addressDigits + 2 + width + 1 + 8;
        bool ok = line.text.size() == expectedLength;
        for (size_t k = 0; ok && k < line.text.size(); ++k) {
            wchar_t c = line.text[k];
            bool hex = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
            if (k < B.addressDigits || k >= B.addressDigits + 2 + width + 1) ok = hex;
            else if (k < B.addressDigits + 2 || k == B.addressDigits + 2 + width) ok = c == ' ';
        }
        if (!ok) {
            Check(false, "report line matches the layout: [%s]", Narrow(line.text).c_str());
            wellFormed = false;
            continue;
        }
        line.target = true;
        line.address = wcstoull(line.text.substr(0, B.addressDigits).c_str(), nullptr, 16);
        line.valueColumn = line.text.substr(B.addressDigits + 2, width);
        line.bytes = line.text.substr(B.addressDigits + 2 + width + 1, 8);
        line.value = (uint32_t)wcstoul(line.valueColumn.c_str(), nullptr, 10);
        lines.push_back(line);
    }
    return lines;
}

static std::vector<ReportLine> Targets(const std::vector<ReportLine> &lines)
{
    std::vector<ReportLine> t;
    for (auto &l : lines)
        if (l.target) t.push_back(l);
    return t;
}

static std::wstring BytesOf(uint32_t v)
{
    wchar_t buf[16];
    swprintf(buf, 16, L"%02X%02X%02X%02X", v & 0xFF, (v >> 8) & 0xFF, (v >> 16) & 0xFF, v >> 24);
    return buf;
}

static unsigned DigitsOf(uint32_t v) { return (unsigned)std::to_string(v).size(); }

static std::vector<ReportLine> ReadReport(Target &t, unsigned width)
{
    bool ok;
    std::vector<ReportLine> lines = ParseReport(GetText(t.controls[5]), width, ok);
    Check(ok, "report parses with value width %u (%zu lines)", width, lines.size());
    return lines;
}

// ---------------------------------------------------------------- scenarios

static void Smoke()
{
    Scenario = "smoke";
    Target t;
    if (!Launch(t, L"") || !WaitForMainWindow(t)) return;
    std::vector<ReportLine> targets = Targets(ReadReport(t, 3));
    Check(!targets.empty() && targets[0].value == 151, "first reported value is 151 (got %u)",
          targets.empty() ? 0u : targets[0].value);
    DWORD code = Close(t);
    Check(code == 0, "exit code after WM_CLOSE is 0 (got %lu)", code);
}


// Start-up: window, controls, layout, focus.
static void StartUp(const wchar_t *arguments, int ctrl, int font, int gap)
{
    (void)font;
    char label[64];
    snprintf(label, sizeof label, "start-up \"%s\"", Narrow(arguments).c_str());
    Scenario = label;
    Target t;
    if (!Launch(t, arguments) || !WaitForMainWindow(t)) return;

    wchar_t cls[64] = L"", title[64] = L"";
    GetClassNameW(t.window, cls, 64);
    GetWindowTextW(t.window, title, 64);
    Check(B.name == cls, "class name %s", Narrow(cls).c_str());
    Check(B.name == title, "title %s", Narrow(title).c_str());
    Check(IsWindowUnicode(t.window) == (B.wide ? TRUE : FALSE), "a %s window", B.wide ? "wide" : "narrow");

    RECT r;
    GetWindowRect(t.window, &r);
    int width = (int)(15u * ctrl + 2u * gap), height = (int)(21u * (ctrl + gap) + gap);
    Check(r.right - r.left == width && r.bottom - r.top == height, "window size %ldx%ld, expected %dx%d",
          r.right - r.left, r.bottom - r.top, width, height);
    LONG_PTR mainStyle = GetWindowLongPtrW(t.window, GWL_STYLE);
    Check((mainStyle & WS_OVERLAPPEDWINDOW) == WS_OVERLAPPEDWINDOW, "main style has WS_OVERLAPPEDWINDOW (0x%08lX)",
          (unsigned long)mainStyle);

    struct Expect { const wchar_t *cls; DWORD style; const wchar_t *text; };
    const Expect expected[6] = {
        {L"Edit", 0x50810080, L"100"},      {L"Edit", 0x50810080, L"200"},   {L"Button", 0x50010000, L"Write(A)"},
        {L"Button", 0x50010000, L"Write(B)"}, {L"Button", 0x50010000, L"Read"}, {L"Edit", 0x50A10884, nullptr},
    };
    for (int k = 0; k < 6; ++k) {
        HWND c = t.controls[k];
        if (!Check(c != nullptr, "control %d exists", 1000 + k)) continue;
        GetClassNameW(c, cls, 64);
        Check(_wcsicmp(cls, expected[k].cls) == 0, "control %d class %s", 1000 + k, Narrow(cls).c_str());
        DWORD style = (DWORD)GetWindowLongPtrW(c, GWL_STYLE);
        // Wine's edit draws its own border (WS_BORDER leaves the style) and a
        // multi-line edit gains ES_AUTOVSCROLL; every bit asked for is there.
        DWORD seen = style;
        if (expected[k].cls[0] == L'E') seen |= WS_BORDER;
        if (k == 5) seen &= ~(DWORD)ES_AUTOVSCROLL;
        Check(seen == expected[k].style, "control %d style 0x%08lX (as read 0x%08lX), expected 0x%08lX", 1000 + k,
              (unsigned long)seen, (unsigned long)style, (unsigned long)expected[k].style);
        Check(GetDlgCtrlID(c) == 1000 + k, "control %d id", 1000 + k);
        if (expected[k].text) {
            std::wstring text = GetText(c);
            Check(text == expected[k].text, "control %d text \"%s\"", 1000 + k, Narrow(text).c_str());
        }
        if (k == 0 || k == 1) {
            LRESULT limit = SendMessageW(c, EM_GETLIMITTEXT, 0, 0);
            Check(limit == 10, "control %d text limit %ld", 1000 + k, (long)limit);
        }
        if (k == 0 || k == 1 || k == 5) {
            LRESULT m = SendMessageW(c, EM_GETMARGINS, 0, 0);
            Check(LOWORD(m) >= 2, "control %d left margin %u >= 2", 1000 + k, LOWORD(m));
        }
    }
    GUITHREADINFO gui = {};
    gui.cbSize = sizeof gui;
    GetGUIThreadInfo(t.pi.dwThreadId, &gui);
    Check(gui.hwndFocus == t.controls[3], "keyboard focus on Write(B)");

    auto checkLayout = [&](const char *when) {
        RECT client;
        GetClientRect(t.window, &client);
        int w = client.right - 2 * gap;
        if (w < 0) w = 0;
        int y = gap;
        for (int k = 0; k < 6; ++k) {
            int h = k < 5 ? ctrl : client.bottom - gap - y;
            if (h < 0) h = 0;
            RECT c;
            GetWindowRect(t.controls[k], &c);
            MapWindowPoints(nullptr, t.window, (POINT *)&c, 2);
            Check(c.left == gap && c.top == y && c.right - c.left == w && c.bottom - c.top == h,
                  "%s: control %d at (%ld,%ld) %ldx%ld, expected (%d,%d) %dx%d", when, 1000 + k, c.left, c.top,
                  c.right - c.left, c.bottom - c.top, gap, y, w, h);
            y += h + gap;
        }
    };
    checkLayout("opened");
    SetWindowPos(t.window, nullptr, 0, 0, width + 123, height + 77, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    checkLayout("resized larger");
    SetWindowPos(t.window, nullptr, 0, 0, 200, 150, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    checkLayout("resized smaller than the controls");

    DWORD code = Close(t);
    Check(code == 0, "exit code 0 after WM_CLOSE (got %lu)", code);
}

int wmain(int argc, wchar_t **argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: e2e_driver PATH-TO-EXE [smoke|full]\n");
        return 2;
    }
    ExePath = argv[1];
    if (ExePath[0] == L'/') { // a Linux path: Wine shows the root as drive Z:
        for (wchar_t &c : ExePath)
            if (c == L'/') c = L'\\';
        ExePath = L"Z:" + ExePath;
    }
    std::wstring mode = argc > 2 ? argv[2] : L"full";
    B.wide = ExePath.find(L"Vantoriel64") != std::wstring::npos;
    B.name = B.wide ? L"Vantoriel64" : L"Vantoriel32";
    B.mapped = B.wide ? 128 : 64;
    B.addressDigits = B.wide ? 16 : 8;

    if (mode == L"smoke") {
        Smoke();
    } else {
        StartUp(L"", 22, 16, 6);
        StartUp(L"22 16 6", 22, 16, 6);
        StartUp(L"30 20 4 Courier New", 30, 20, 4);
        StartUp(L"16", 16, 10, 6);
        StartUp(L"40 30 0", 40, 30, 0);
    }
    printf("%d passed, %d failed\n", Passed, Failed);
    return Failed == 0 && Passed > 0 ? 0 : 1;
}
