// output.cpp: what the companion prints.
#include "ctl/output.h"
#include "ctl/platform.h"

static char OutBytes[16384];
static UINT32 OutLength;
// The error line grows as it must: a line cut in two would be two errors.
static char *ErrorBytes;
static SIZE_T ErrorLength, ErrorCapacity;
static BOOL InError, ErrorLost;

static void Append(const char *bytes, UINT32 n)
{
    if (InError) {
        if (ErrorLength + n > ErrorCapacity) {
            SIZE_T capacity = ErrorCapacity ? 2 * ErrorCapacity : 256;
            while (capacity < ErrorLength + n) capacity *= 2;
            char *bigger = (char *)GrowBlock(ErrorBytes, capacity);
            if (!bigger) {
                ErrorLost = TRUE;
                return;
            }
            ErrorBytes = bigger;
            ErrorCapacity = capacity;
        }
        for (UINT32 k = 0; k < n; ++k) ErrorBytes[ErrorLength++] = bytes[k];
        return;
    }
    if (OutLength + n > sizeof OutBytes) Flush();
    for (UINT32 k = 0; k < n; ++k) OutBytes[OutLength++] = bytes[k];
}

void Put(const char *text)
{
    // In pieces no bigger than the buffer, whole characters each.
    while (*text) {
        UINT32 n = 0;
        while (text[n] && n < 4096) ++n;
        while (text[n] && n > 0 && ((unsigned char)text[n] & 0xC0) == 0x80) --n;
        Append(text, n);
        text += n;
    }
}

void PutWide(const WCHAR *text)
{
    while (*text) {
        char bytes[4];
        UINT32 n = NextUtf8(&text, bytes);
        if (n == 1 && (unsigned char)bytes[0] < 0x20 && InError)
            bytes[0] = '?'; // an argument's line break would make an error two lines
        Append(bytes, n);
    }
}

UINT32 NextUtf8(const WCHAR **text, char *bytes)
{
    const WCHAR *p = *text;
    UINT32 c = (UINT32)*p++;
    if (c >= 0xD800 && c < 0xDC00 && *p >= 0xDC00 && *p < 0xE000)
        c = 0x10000 + ((c - 0xD800) << 10) + ((UINT32)*p++ - 0xDC00);
    else if (c >= 0xD800 && c < 0xE000)
        c = 0xFFFD; // a lone surrogate: no character of its own
    *text = p;
    return Utf8Of(c, bytes);
}

UINT32 Utf8Of(UINT32 c, char *bytes)
{
    UINT32 n;
    if (c < 0x80) bytes[0] = (char)c, n = 1;
    else if (c < 0x800) bytes[0] = (char)(0xC0 | c >> 6), n = 2;
    else if (c < 0x10000) bytes[0] = (char)(0xE0 | c >> 12), n = 3;
    else bytes[0] = (char)(0xF0 | c >> 18), n = 4;
    for (UINT32 k = 1; k < n; ++k) bytes[k] = (char)(0x80 | ((c >> (6 * (n - 1 - k))) & 0x3F));
    return n;
}

void PutNumber(UINT64 value)
{
    Put(NumberText(value));
}

void PutSpaces(UINT32 count)
{
    while (count--) Append(" ", 1);
}

// Standard output kept in memory while captured.
static char *Captured;
static SIZE_T CapturedLength, CapturedCapacity;
static BOOL Capturing, CaptureLost;

void Flush()
{
    if (Capturing && !CaptureLost && CapturedLength + OutLength > CapturedCapacity) {
        SIZE_T capacity = CapturedCapacity ? 2 * CapturedCapacity : 65536;
        while (capacity < CapturedLength + OutLength) capacity *= 2;
        char *bigger = (char *)GrowBlock(Captured, capacity);
        if (bigger) Captured = bigger, CapturedCapacity = capacity;
        else CaptureLost = TRUE;
    }
    if (Capturing && !CaptureLost)
        for (UINT32 k = 0; k < OutLength; ++k) Captured[CapturedLength++] = OutBytes[k];
    else if (!Capturing)
        WriteStandard(StreamOutput, OutBytes, OutLength);
    OutLength = 0;
}

void BeginCapture()
{
    Flush();
    Capturing = TRUE;
    CaptureLost = FALSE;
    CapturedLength = 0;
}

char *EndCapture(SIZE_T *length)
{
    Flush();
    Capturing = FALSE;
    *length = CaptureLost ? 0 : CapturedLength;
    char *bytes = CaptureLost ? nullptr : Captured;
    if (CaptureLost) FreeBlock(Captured);
    Captured = nullptr;
    CapturedLength = CapturedCapacity = 0;
    return bytes;
}

void BeginError()
{
    InError = TRUE;
    ErrorLength = 0;
    ErrorLost = FALSE;
    Put("vantoriel-ctl: ");
}

UINT32 EndError()
{
    Put(ErrorLost ? " [...]\n" : "\n");
    InError = FALSE;
    Flush();
    WriteStandard(StreamError, ErrorBytes, (UINT32)ErrorLength);
    return ExitError;
}

UINT32 Fail(const char *a, const char *b, const char *c, const char *d)
{
    BeginError();
    Put(a);
    Put(b);
    Put(c);
    Put(d);
    return EndError();
}

static const char *Digits(UINT64 value, UINT32 base, UINT32 width, char *buffer, UINT32 size)
{
    char *p = buffer + size - 1;
    *p = 0;
    UINT32 n = 0;
    do {
        *--p = "0123456789ABCDEF"[value % base];
        value /= base;
        ++n;
    } while (value || n < width);
    return p;
}

const char *NumberText(UINT64 value)
{
    static char buffers[4][24];
    static UINT32 next;
    next = (next + 1) % 4;
    return Digits(value, 10, 1, buffers[next], 24);
}

const char *AddressText(UINT64 address, UINT32 digits)
{
    static char buffers[2][24];
    static UINT32 next;
    next = (next + 1) % 2;
    return Digits(address, 16, digits, buffers[next], 24);
}

UINT32 TextLength(const char *text)
{
    UINT32 n = 0;
    while (text[n]) ++n;
    return n;
}
