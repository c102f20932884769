// target.h: a target of a running Vantoriel as the companion sees it, from
// its report and its memory, and the sheet that shows them.
#pragma once
#include <windows.h>

#include "ctl/kind.h"
#include "ctl/plants.h"

// Names of the kinds, of static targets (by place) and of heap targets (by
// place: allocator and size), as the program's target table orders them.
extern const char *const KindNames[5];
extern const char *const StaticNames[4];
extern const char *const HeapNames[6];
extern const UINT32 HeapSizes[6];
// The sizes of the static variables, by place: each target is its first four bytes.
extern const UINT32 StaticSizes[4];

struct Target {
    UINT32 kind, index;     // index: the mapped slot, or the place in its group (heap: 0xFFFFFFFF if unknown),
                            // a plant's case, or a near miss's reason number
    UINT64 address;
    UINT32 value;           // as the report shows it
    UINT32 memory;          // as memory holds it now, if readable (a plant's first four bytes)
    BOOL readable;
    const PlantEntry *plant; // a plant's record, or null
    BYTE now[ValueBytesMax]; // a plant's bytes now, from its address on
    UINT32 known;           // how many of them could be read
    DWORD protect;          // its page's protection, 0 if not known
    DWORD memoryType;       // MEM_PRIVATE, MEM_MAPPED or MEM_IMAGE, 0 if not known
    UINT64 low, high;       // the memory it lies in: a plant's region, or the committed region of its page
};
// More than any report holds.
enum { MaxTargets = 160 };

// The program's image in the running process: its file name and the base it
// is loaded at, against which NAME+OFFSET addresses resolve.
struct Module {
    const char *name;       // "Vantoriel64.exe", UTF-8, at most ModuleNameBytes; null when not known
    UINT64 base;
    UINT64 size;            // of the image in memory: offsets from 0 up to it are in it
};
enum { ModuleNameBytes = 200 };

// A static target's address as scanners print one in an image,
// "Vantoriel64.exe+3010"; "" for other targets or an unknown module.
const char *ModuleText(const Target &t, const Module *module);

// A target's name: its case, near miss reason, variable or allocator; ""
// for a mapped one.
const char *TargetName(const Target &t);

// Which target: kind, slot, name, size and address, in the sheet's columns
// from first on.
void SetTargetCells(UINT32 row, UINT32 first, const Target &t, UINT32 digits);

// The targets as a sheet, with the module-relative address of each static
// one. With a process id (start), JSON Lines begin with the process,
// {"kind":"process","pid":N,"program":NAME}, CSV gives each row a pid column
// first, and people read a line on the process first.
// Near misses are left out unless nearMisses. ExitOk, or ExitError after the
// error line when there was no memory for the sheet.
UINT32 WriteTargets(const Target *targets, UINT32 count, UINT32 digits, const Module *module, UINT32 format, UINT32 pid,
                    const char *program, BOOL nearMisses = FALSE);

// The targets that set writes: every one of a kind in kinds (bit k for kind
// k), and the one at each address given, read as a line of findings is (no
// longer than a command line). ExitOk, or ExitError after the error line of
// an argument that holds no address or none of a target.
UINT32 ChooseTargets(const Target *targets, UINT32 count, UINT32 kinds, const WCHAR *const *addresses, UINT32 n,
                     const Module *module, BOOL *chosen);
