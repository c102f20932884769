// Benchmarks under Wine, each a ratio measured side by side in one run:
// start-up and a command round trip against the baseline program, and the
// VirtualAlloc attempts of the mapped-slot search, derived from the report.
//   bench.exe VANTORIEL.EXE BASELINE.EXE RUNS
#include <windows.h>

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>

#include <algorithm>
#include <string>
#include <vector>

static std::wstring WindowsPath(std::wstring p)
{
    if (!p.empty() && p[0] == L'/') {
        for (wchar_t &c : p)
            if (c == L'/') c = L'\\';
        p = L"Z:" + p;
    }
    return p;
}

static double Now()
{
    LARGE_INTEGER c, f;
    QueryPerformanceCounter(&c);
    QueryPerformanceFrequency(&f);
    return 1000.0 * (double)c.QuadPart / (double)f.QuadPart;
}

static double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

struct Running {
    PROCESS_INFORMATION pi = {};
    HWND window = nullptr, report = nullptr;
};

// A program that does not start ends the benchmark with no figures at all.
[[noreturn]] static void NotStarted(const std::wstring &exe, const char *why)
{
    fprintf(stderr, "bench: %ls did not start (%s); no figures\n", exe.c_str(), why);
    exit(1);
}

// Starts exe and waits until its report field (id 1005) has text; the time
// from CreateProcess to then.
static double Start(const std::wstring &exe, const wchar_t *cls, Running &r)
{
    std::wstring line = L"\"" + exe + L"\"";
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    double t0 = Now();
    if (!CreateProcessW(exe.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &r.pi))
        NotStarted(exe, "CreateProcess failed");
    for (;;) {
        HWND w = FindWindowW(cls, nullptr);
        DWORD pid = 0;
        if (w) GetWindowThreadProcessId(w, &pid);
        if (w && pid == r.pi.dwProcessId) {
            HWND e = GetDlgItem(w, 1005);
            if (e && SendMessageW(e, WM_GETTEXTLENGTH, 0, 0) > 0) {
                r.window = w;
                r.report = e;
                return Now() - t0;
            }
        }
        if (Now() - t0 > 30000) {
            TerminateProcess(r.pi.hProcess, 1);
            NotStarted(exe, "no report within 30 s");
        }
        SwitchToThread();
    }
}

static void Stop(Running &r)
{
    PostMessageW(r.window, WM_CLOSE, 0, 0);
    WaitForSingleObject(r.pi.hProcess, 10000);
    CloseHandle(r.pi.hThread);
    CloseHandle(r.pi.hProcess);
}

static std::wstring Text(HWND w)
{
    std::vector<wchar_t> buf((size_t)SendMessageW(w, WM_GETTEXTLENGTH, 0, 0) + 1);
    SendMessageW(w, WM_GETTEXT, buf.size(), (LPARAM)buf.data());
    return buf.data();
}

static uint64_t Base(unsigned i) { return (uint64_t)(2 * (i % 8) + 1) << (4 * (i / 8)); }

int wmain(int argc, wchar_t **argv)
{
    if (argc < 4) return 2;
    std::wstring exe = WindowsPath(argv[1]), baseline = WindowsPath(argv[2]);
    int runs = _wtoi(argv[3]);
    bool wide = exe.find(L"Vantoriel64") != std::wstring::npos;
    const wchar_t *cls = wide ? L"Vantoriel64" : L"Vantoriel32";

    std::vector<double> startProgram, startBaseline, commandProgram, commandBaseline;
    for (int k = 0; k < runs; ++k) {
        Running a, b;
        startProgram.push_back(Start(exe, cls, a));
        Stop(a);
        startBaseline.push_back(Start(baseline, L"VantorielBaseline", b));
        Stop(b);
    }
    Running a, b;
    Start(exe, cls, a);
    Start(baseline, L"VantorielBaseline", b);
    std::wstring report = Text(a.report);
    for (int k = 0; k < runs * 3; ++k) {
        double t0 = Now();
        SendMessageW(GetDlgItem(a.window, 1003), BM_CLICK, 0, 0);
        std::wstring after = Text(a.report);
        commandProgram.push_back(Now() - t0);
        t0 = Now();
        SendMessageW(b.report, WM_SETTEXT, 0, (LPARAM)after.c_str());
        Text(b.report);
        commandBaseline.push_back(Now() - t0);
    }
    Stop(a);
    Stop(b);

    // Attempts of the search, from where the targets landed: a placed slot
    // took one attempt per granule from its first address; an absent one
    // tried every granule of its interval between min and max.
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    uint64_t min = 0x10000, gran = 0x10000;
    uint64_t max = wide ? (uint64_t)(uintptr_t)info.lpMaximumApplicationAddress : 0xFFFCFFFFull; // Wine, large-address-aware
    unsigned mapped = wide ? 128 : 64;
    std::vector<uint64_t> placed(mapped, 0);
    size_t p = 0;
    while (p < report.size()) {
        size_t e = report.find(L"\r\n", p);
        std::wstring line = report.substr(p, e - p);
        p = e + 2;
        if (line == L"--") break;
        if (line.empty()) continue;
        uint64_t address = wcstoull(line.substr(0, wide ? 16 : 8).c_str(), nullptr, 16);
        placed[(address & 0xFFFF) / 4] = address;
    }
    uint64_t attempts = 0, worst = 0;
    unsigned worstSlot = 0;
    for (unsigned i = 0; i < mapped; ++i) {
        uint64_t first = Base(i) + 4 * i, end = i + 1 < mapped ? Base(i + 1) : ~0ull;
        uint64_t n = 0;
        if (placed[i]) n = (placed[i] - first) / gran + 1;
        else if (first >= min && first <= max) n = ((std::min(end - 1, max) - first) / gran) + 1;
        attempts += n;
        if (n > worst) worst = n, worstSlot = i;
    }

    double sp = Median(startProgram), sb = Median(startBaseline);
    double cp = Median(commandProgram), cb = Median(commandBaseline);
    printf("%ls: start-up median %.1f ms vs baseline %.1f ms: %.2f x (%d runs each)\n", cls, sp, sb, sp / sb, runs);
    printf("%ls: Write(B) round trip median %.2f ms vs setting the same text %.2f ms: %.2f x (%d each)\n", cls, cp, cb,
           cp / cb, runs * 3);
    printf("%ls: mapped-slot search under Wine: %llu VirtualAlloc attempts in all, most for one slot %llu (slot %u)\n",
           cls, (unsigned long long)attempts, (unsigned long long)worst, worstSlot);
    return 0;
}
