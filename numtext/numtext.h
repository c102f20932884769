// numtext.h: the program's own conversion between unsigned numbers and text.
#pragma once
#include <windows.h>

// Reads an unsigned 32-bit decimal number, or hexadecimal after 0x/0X, after
// leading spaces. *end gets the first character after the number, or null on
// overflow (the result is then 0xFFFFFFFF).
UINT32 ScanUnsigned(TCHAR *text, TCHAR **end);

// Writes value in base 10 or 16 at the end of buffer (length units, terminator
// included) and returns where the text starts. width > 0 pads with '0',
// width < 0 pads with spaces, to |width| characters, cutting higher digits.
TCHAR *FormatUnsigned(UINT_PTR value, UINT32 base, TCHAR *buffer, INT32 length, INT32 width);
