// Independent references for the fuzz targets: the same results by other
// means (wide arithmetic, standard strings), and input helpers.
#pragma once
#include <windows.h>

#include <stddef.h>
#include <stdint.h>

#include <string>

using TextString = std::basic_string<TCHAR>;

// Fuzz bytes as text units: pairs of bytes for 16-bit units, bytes otherwise.
// Stops at a zero unit, as the platform's texts do.
inline TextString TextFrom(const uint8_t *data, size_t size)
{
    TextString text;
    for (size_t k = 0; k + sizeof(TCHAR) <= size; k += sizeof(TCHAR)) {
        UINT32 unit = data[k];
        if (sizeof(TCHAR) == 2) unit |= (UINT32)data[k + 1] << 8;
        if (unit == 0) break;
        text.push_back((TCHAR)unit);
    }
    return text;
}

struct ScanResult {
    UINT32 value;
    long end; // units from the start, -1 for overflow
};

// The number at the start of text after spaces, with arbitrary precision
// (a value of more than 32 bits only needs to be known as "too large").
inline ScanResult ReferenceScan(const TextString &text)
{
    size_t p = 0;
    while (p < text.size() && text[p] == ' ') ++p;
    unsigned base = 10;
    if (p + 1 < text.size() && text[p] == '0' && (text[p + 1] == 'x' || text[p + 1] == 'X')) {
        base = 16;
        p += 2;
    }
    unsigned long long value = 0;
    for (; p < text.size(); ++p) {
        UINT32 c = (UINT32)(sizeof(TCHAR) == 1 ? (unsigned char)text[p] : (UINT32)text[p]);
        unsigned digit;
        if (c >= '0' && c <= '9') digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        else break;
        value = value * base + digit;
        if (value > 0xFFFFFFFFull) return {0xFFFFFFFFu, -1};
    }
    return {(UINT32)value, (long)p};
}

inline void Require(bool condition)
{
    if (!condition) __builtin_trap();
}
