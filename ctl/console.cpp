// console.cpp: the companion's platform side for its pure parts.
#include "ctl/platform.h"

void WriteStandard(UINT32 stream, const char *text, UINT32 length)
{
    HANDLE h = GetStdHandle(stream == StreamError ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    DWORD mode, done;
    if (GetConsoleMode(h, &mode)) {
        // A console shows wide text whatever its code page.
        static WCHAR wide[16384];
        while (length) {
            // Whole characters only: a piece never ends inside one.
            UINT32 piece = length < 8192 ? length : 8192;
            while (piece < length && ((unsigned char)text[piece] & 0xC0) == 0x80) --piece;
            int n = MultiByteToWideChar(CP_UTF8, 0, text, (int)piece, wide, 16384);
            WriteConsoleW(h, wide, (DWORD)n, &done, nullptr);
            text += piece;
            length -= piece;
        }
        return;
    }
    while (length && WriteFile(h, text, length, &done, nullptr) && done) {
        text += done;
        length -= done;
    }
}

void *GrowBlock(void *block, SIZE_T bytes)
{
    HANDLE heap = GetProcessHeap();
    return block ? HeapReAlloc(heap, 0, block, bytes) : HeapAlloc(heap, 0, bytes);
}

void FreeBlock(void *block)
{
    if (block) HeapFree(GetProcessHeap(), 0, block);
}

BOOL WriteWholeFile(const WCHAR *path, const char *bytes, SIZE_T length)
{
    HANDLE h = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return FALSE;
    DWORD done = 0, error = 0;
    BOOL good = TRUE;
    while (good && length) {
        DWORD piece = length > (1u << 20) ? (1u << 20) : (DWORD)length;
        BOOL written = WriteFile(h, bytes, piece, &done, nullptr);
        error = !written ? GetLastError() : done < piece ? (DWORD)ERROR_DISK_FULL : 0;
        good = written && done == piece;
        bytes += piece;
        length -= piece;
    }
    // What the system keeps back is written by the close, which may fail too.
    if (!CloseHandle(h) && good) good = FALSE, error = GetLastError();
    SetLastError(error);
    return good;
}

UINT64 Microseconds()
{
    static LARGE_INTEGER frequency;
    if (!frequency.QuadPart) QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    // Whole seconds and the rest apart: the product would overflow in days.
    UINT64 f = (UINT64)frequency.QuadPart, n = (UINT64)now.QuadPart;
    return n / f * 1000000 + n % f * 1000000 / f;
}

void WaitUntil(UINT64 moment)
{
    // Sleep's ticks may be 15.6 ms on Windows: a timer of high resolution
    // where the system has one, else Sleep for what it can do and a spin
    // for the rest.
    static HANDLE timer;
    static BOOL tried;
    if (!tried) {
        tried = TRUE;
        timer = CreateWaitableTimerExW(nullptr, nullptr, 0x2 /* CREATE_WAITABLE_TIMER_HIGH_RESOLUTION */,
                                       TIMER_ALL_ACCESS);
    }
    UINT64 now = Microseconds();
    if (now >= moment) return;
    if (timer) {
        LARGE_INTEGER due;
        due.QuadPart = -(LONGLONG)((moment - now) * 10); // relative, in 100 ns
        if (SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE) && WaitForSingleObject(timer, INFINITE) == WAIT_OBJECT_0)
            return;
    }
    while ((now = Microseconds()) < moment) Sleep(moment - now > 2000 ? (DWORD)((moment - now) / 1000 - 1) : 0);
}

static volatile LONG InterruptCount;

static BOOL WINAPI OnInterrupt(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
    InterlockedIncrement(&InterruptCount);
    return TRUE;
}

void CatchInterrupt()
{
    SetConsoleCtrlHandler(OnInterrupt, TRUE);
}

BOOL Interrupted()
{
    return InterruptCount != 0;
}
