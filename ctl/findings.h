// findings.h: a memory scanner's found addresses, read from the text it
// printed or saved: one address a line at most.
#pragma once
#include <windows.h>

#include "ctl/target.h"

// A line that is not blank, no comment and gives no address of Vantoriel's,
// as the findings had it: its number (from 1) and its text, cut to fit.
enum { UnreadShown = 8, UnreadTextBytes = 120 };
struct UnreadLine {
    SIZE_T number;
    char text[UnreadTextBytes + 4]; // "..." ends a text that was cut
};

struct Findings {
    UINT64 *addresses;      // every address found, once each, rising
    SIZE_T count;
    SIZE_T lines;           // lines that gave an address
    SIZE_T withoutAddress;  // lines that are not blank, no comment, and give none
    UnreadLine unread[UnreadShown]; // the first of those
};

enum FindingsResult { FindingsRead, FindingsTooLarge, FindingsNoMemory, FindingsOddUtf16 };

// Findings of 2 GiB or more are refused: no list of addresses is that long.
const SIZE_T FindingsLimit = (SIZE_T)0x7FFFFFFF;

// Reads text of length bytes: UTF-8 (with or without its byte order mark),
// or UTF-16 of either byte order after its mark (an odd number of bytes is
// refused); lines end with CR LF, LF or CR. A line whose first non-blank
// character is # is a comment. field: 0 for the whole line, or the 1-based
// field that alone holds the address (see FieldOfLine). text may be changed.
// findings is emptied first; FreeFindings gives its memory back. module may
// be null.
UINT32 ReadFindings(unsigned char *text, SIZE_T length, const Module *module, UINT32 field, Findings *findings);
void FreeFindings(Findings *findings);

enum LineAddress { NoAddress, AddressFound, OtherModule, BeyondModule };

// The address on one line of UTF-8 bytes [line, end): the leftmost of the
// candidates, each a whole word (letters, digits, _ and `):
// - NAME+OFFSET, an address relative to a module: NAME a file name, perhaps
//   after its folder, or anything in double quotes, and not a number; OFFSET
//   hexadecimal, perhaps after 0x. Vantoriel's own module (case aside, with
//   or without .exe) gives its base plus OFFSET, when OFFSET lies inside the
//   image (BeyondModule else); any other name gives OtherModule;
// - a number written with 0x or 0X;
// - WinDbg's form, 1 to 8 hexadecimal digits, a backtick and 8 more;
// - a hexadecimal number of five or more digits;
// all of 64 bits at most. A decimal number in square brackets, as scanmem's
// index [10080], is skipped when another candidate follows it.
UINT32 AddressOfLine(const char *line, const char *end, const Module *module, UINT64 *address);

// Field number field (from 1) of the line [line, end), for lists the rule
// above misreads: fields are split at runs of blanks and tabs, with at most
// one comma in each run, and a field that starts with a double quote runs to
// its closing quote, blanks and commas included ("" inside is one quote, as
// CSV has it; decoded in place). Its start, and its end into *fieldEnd; null
// if the line has fewer fields.
char *FieldOfLine(char *line, char *end, UINT32 field, char **fieldEnd);

// Text of *length bytes that starts with a UTF-16 byte order mark, of
// either order, as UTF-8 in a new block for FreeBlock (*converted) of
// *length bytes; a lone surrogate becomes U+FFFD. Other text is left as it
// is (*converted null). FindingsRead, FindingsOddUtf16 or FindingsNoMemory.
UINT32 Utf16AsUtf8(const unsigned char *text, SIZE_T *length, unsigned char **converted);

// Sorts count numbers in place, rising.
void SortNumbers(UINT64 *numbers, SIZE_T count);
