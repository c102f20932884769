// findings.h: a memory scanner's found addresses, read from the text it
// printed or saved: one address a line at most.
#pragma once
#include <windows.h>

#include "ctl/target.h"

struct Findings {
    UINT64 *addresses;      // every address found, once each, rising
    SIZE_T count;
    SIZE_T lines;           // lines that gave an address
    SIZE_T withoutAddress;  // lines that are not blank and give none
};

enum FindingsResult { FindingsRead, FindingsTooLarge, FindingsNoMemory };


// Findings of 2 GiB or more are refused: no list of addresses is that long.
const SIZE_T FindingsLimit = (SIZE_T)0x7FFFFFFF;

// Reads text of length bytes: UTF-8 (with or without its byte order mark),
// or UTF-16 of either byte order after its mark; lines end with CR LF, LF
// or CR. UTF-16 text is brought to bytes in place. findings is emptied
// first; FreeFindings gives its memory back. module may be null.
UINT32 ReadFindings(unsigned char *text, SIZE_T length, const Module *module, Findings *findings);
void FreeFindings(Findings *findings);

// The address on one line of ASCII bytes [line, end). First an address
// relative to a module, as scanners print one of an image: NAME+OFFSET, the
// name perhaps in double quotes, the offset hexadecimal, perhaps after 0x.
// The program's module (case aside, with or without .exe) gives its base
// plus the offset; another module's name (one with an extension) means that
// the line has no address the program can have. Else, ignoring a bracketed
// or colon-ended decimal index: the first number written with 0x, or the
// first hexadecimal number of five or more digits; a number in WinDbg's form
// 00000000`01dc00c0 is one.
BOOL AddressOfLine(const char *line, const char *end, const Module *module, UINT64 *address);

// Sorts count numbers in place, rising.
void SortNumbers(UINT64 *numbers, SIZE_T count);
