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
