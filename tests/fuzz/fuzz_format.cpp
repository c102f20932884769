// FormatUnsigned for any value, base, length and width within the callers'
// limits: it writes only inside the buffer, and the text is the reference's.
#include "numtext/numtext.h"
#include "reference.h"

#include <string.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < sizeof(UINT_PTR) + 3) return 0;
    UINT_PTR value;
    memcpy(&value, data, sizeof value);
    const UINT32 bases[] = {10, 16, 0, 1, 2, 8, 15, 17, 36, 0xFFFFFFFF};
    UINT32 base = bases[data[sizeof value] % 10];
    INT32 length = 1 + data[sizeof value + 1] % 40;
    INT32 width = (INT32)(int8_t)data[sizeof value + 2] % 48;

    const size_t guard = 16;
    TCHAR buffer[guard + 40 + guard];
    for (TCHAR &c : buffer) c = (TCHAR)0x5A;
    TCHAR *start = buffer + guard;
    TCHAR *text = FormatUnsigned(value, base, start, length, width);

    for (size_t k = 0; k < guard; ++k) Require(buffer[k] == 0x5A && start[length + k] == 0x5A);
    Require(text >= start && text < start + length);

    TextString expected;
    if (base == 10 || base == 16) {
        TextString digits;
        UINT_PTR v = value;
        do {
            digits.insert(digits.begin(), (TCHAR) "0123456789ABCDEF"[v % base]);
            v /= base;
        } while (v != 0);
        size_t m = width < 0 ? (size_t)-(long)width : (size_t)width;
        size_t room = (size_t)length - 1;
        size_t n = m == 0 ? (digits.size() < room ? digits.size() : room) : (m <= room ? m : room);
        TextString padded = digits;
        if (padded.size() < n) padded.insert(padded.begin(), n - padded.size(), (TCHAR)(width > 0 ? '0' : ' '));
        expected = padded.substr(padded.size() - n);
        Require(start[length - 1] == 0);
    } else {
        Require(text == start);
    }
    Require(TextString(text) == expected);
    return 0;
}
