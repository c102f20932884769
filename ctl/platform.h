// platform.h: the little that the companion's pure parts (output, sheets,
// command line, findings, score) need from the platform. console.cpp gives
// it on Windows; the host tests give their own.
#pragma once
#include <windows.h>

enum StandardStream { StreamOutput, StreamError };

// Writes length bytes of UTF-8 text to standard output or standard error.
void WriteStandard(UINT32 stream, const char *text, UINT32 length);

// A block of bytes from the heap, made bigger (block null: a new one), its
// contents kept; null when there is no memory for it (block is then kept).
void *GrowBlock(void *block, SIZE_T bytes);
void FreeBlock(void *block);

// A new file at path, replacing one there, holding length bytes; false
// (with the system's error) if it could not be written whole.
BOOL WriteWholeFile(const WCHAR *path, const char *bytes, SIZE_T length);

// Microseconds from a fixed moment, rising; a wait until one of them (at
// once if it is past).
UINT64 Microseconds();
void WaitUntil(UINT64 moment);
// Whether Ctrl+C or Ctrl+Break came since CatchInterrupt, which keeps them
// from ending the companion.
void CatchInterrupt();
BOOL Interrupted();
