// numtext.cpp: number text conversion, with no library routine behind it.
#include "numtext/numtext.h"

static const TCHAR Digits[] = TEXT("0123456789ABCDEF");

// DigitValue: the value of an ASCII digit or letter digit, 16 for anything else.
static UINT32 DigitValue(TCHAR c)
{
    if (c >= '0' && c <= '9') return (UINT32)(c - '0');
    if (c >= 'A' && c <= 'F') return (UINT32)(c - 'A' + 10);
    if (c >= 'a' && c <= 'f') return (UINT32)(c - 'a' + 10);
    return 16;
}

UINT32 ScanUnsigned(TCHAR *text, TCHAR **end)
{
    TCHAR *p = text;
    while (*p == ' ') ++p;

    UINT32 base = 10;
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
        base = 16;
        p += 2;
    }

    UINT32 v = 0;
    for (;;) {
        UINT32 digit = DigitValue(*p);
        if (digit >= base) break;
        UINT32 next = v * base + digit;
        // The wrapped product is smaller than v * base exactly when it overflowed.
        if (v > next / base) {
            *end = nullptr;
            return 0xFFFFFFFFu;
        }
        v = next;
        ++p;
    }
    *end = p;
    return v;
}

TCHAR *FormatUnsigned(UINT_PTR value, UINT32 base, TCHAR *buffer, INT32 length, INT32 width)
{
    if (base != 10 && base != 16) {
        buffer[0] = 0;
        return buffer;
    }

    UINT32 m = width < 0 ? 0u - (UINT32)width : (UINT32)width;
    TCHAR pad = width > 0 ? '0' : ' ';

    TCHAR *out = buffer + (length - 1);
    TCHAR *limit = buffer;
    // length >= m + 1, written so that it cannot overflow for any m.
    if (m != 0 && (UINT32)(length - 1) >= m) limit = out - m;

    *out = 0;
    if (out != limit) {
        do {
            --out;
            *out = Digits[value % base];
            value /= base;
        } while (value != 0 && out != limit);
    }
    if (m != 0) {
        while (out != limit) *--out = pad;
    }
    return out;
}
