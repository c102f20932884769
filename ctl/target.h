// target.h: a target of a running Vantoriel as the companion sees it, from
// its report and its memory, and the sheet that shows them.
#pragma once
#include <windows.h>

#include "ctl/kind.h"

// Names of the kinds, of static targets (by place) and of heap targets (by
// place: allocator and size), as the program's target table orders them.
extern const char *const KindNames[3];
extern const char *const StaticNames[4];
extern const char *const HeapNames[6];
extern const UINT32 HeapSizes[6];

struct Target {
    UINT32 kind, index;     // index: the mapped slot, or the place in its group (heap: 0xFFFFFFFF if unknown)
    UINT64 address;
    UINT32 value;           // as the report shows it
    UINT32 memory;          // as memory holds it now, if readable
    BOOL readable;
};
// More than any report holds.
enum { MaxTargets = 160 };

// Which target: kind, slot, name, size and address, in the sheet's columns
// from first on.
void SetTargetCells(UINT32 row, UINT32 first, const Target &t, UINT32 digits);

// The targets as a sheet. With a process id (start), JSON Lines begin with
// the process, {"kind":"process","pid":N,"program":NAME}, CSV gives each row
// a pid column first, and people read a line on the process first.
void WriteTargets(const Target *targets, UINT32 count, UINT32 digits, UINT32 format, UINT32 pid, const char *program);
