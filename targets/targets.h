// targets.h: the table of 32-bit locations that a memory tool has to find.
#pragma once
#include <windows.h>

struct TargetSlot {
    void *block;            // what was obtained for the slot; null: absent
    UINT_PTR base;          // mapped slot: start of its search interval
    volatile UINT32 *value; // the target itself; null exactly when block is
};

// Eight bases per hexadecimal digit of a pointer: 128 or 64.
const UINT32 MappedTargetCount = 16 * sizeof(void *);
const UINT32 StaticTargetCount = 4;
const UINT32 HeapTargetCount = 6;
const UINT32 TargetCount = MappedTargetCount + StaticTargetCount + HeapTargetCount;
const UINT32 FirstStaticTarget = MappedTargetCount;
const UINT32 FirstHeapTarget = MappedTargetCount + StaticTargetCount;

extern TargetSlot TargetTable[TargetCount];

// The static targets, in the program's zero-initialised data.
extern UINT32 StaticWordA;
extern UINT64 StaticQword;
extern BYTE StaticBlock[4100];
extern UINT32 StaticWordB;

// base(i) of mapped slot i: one odd hexadecimal digit followed by i / 8 zeros.
UINT_PTR MappedBase(UINT32 index);

// Fills the table once: places the mapped regions, points at the static
// variables, allocates the heap blocks. Failures leave slots absent.
void AllocateTargets();

// Gives back every mapped region and heap block; static slots stay.
void ReleaseTargets();
