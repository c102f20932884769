// output.h: what the companion prints. Standard output is buffered and
// written as UTF-8; an error is one line on standard error, written whole.
#pragma once
#include <windows.h>

enum ExitCode { ExitOk = 0, ExitMissed = 1, ExitError = 2 };

// Standard output, or the error line between BeginError and EndError.
void Put(const char *text);             // ASCII or UTF-8
void PutWide(const WCHAR *text);        // UTF-16, as the platform gives paths and arguments
void PutNumber(UINT64 value);           // decimal
void PutSpaces(UINT32 count);
void Flush();
// Standard output kept in memory from BeginCapture on; EndCapture gives it
// (a block for FreeBlock, or null when memory ran out) and ends the capture.
void BeginCapture();
char *EndCapture(SIZE_T *length);

// "vantoriel-ctl: " starts the error line; EndError ends it, writes it whole
// to standard error (after what standard output holds) and gives ExitError.
void BeginError();
UINT32 EndError();
// A whole error line of ASCII pieces.
UINT32 Fail(const char *a, const char *b = "", const char *c = "", const char *d = "");

// The UTF-8 bytes of character c (below 0x110000) into bytes: their count.
UINT32 Utf8Of(UINT32 c, char *bytes);
// The UTF-8 bytes of the character at *text into bytes, *text moved past it
// (a pair of surrogates is one character, a lone one U+FFFD): their count.
UINT32 NextUtf8(const WCHAR **text, char *bytes);

// Decimal text of value, in one of four buffers that take turns.
const char *NumberText(UINT64 value);
// An address as the report writes it: digits upper-case hexadecimal digits,
// with leading zeros; an address too big for them whole.
const char *AddressText(UINT64 address, UINT32 digits);
UINT32 TextLength(const char *text);
