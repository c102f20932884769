// targets.cpp: placement, allocation and release of the target table.
#include "targets/targets.h"

TargetSlot TargetTable[TargetCount];

UINT32 StaticWordA;
alignas(8) UINT64 StaticQword;
BYTE StaticBlock[4100];
UINT32 StaticWordB;

UINT_PTR MappedBase(UINT32 index)
{
    UINT_PTR digit = 2 * (index % 8) + 1;
    return digit << (4 * (index / 8));
}

// PlaceMappedTarget: walks slot i's interval one granule at a time; the
// offset 4 * i within the granule marks the address with the slot's index.
static void PlaceMappedTarget(UINT32 i, UINT_PTR min, UINT_PTR max, UINT_PTR gran)
{
    TargetSlot &slot = TargetTable[i];
    UINT_PTR end = TargetTable[i + 1].base;
    UINT_PTR address = slot.base + 4 * i;
    for (;;) {
        if (address < min) break;
        if (address > max) break;
        if (address >= end) break;
        if (address < slot.base) break; // wrapped past the top
        void *block = VirtualAlloc((void *)address, 4, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
        if (block != nullptr) {
            slot.block = block;
            slot.value = (volatile UINT32 *)address;
            return;
        }
        address += gran;
    }
    slot.block = nullptr;
    slot.value = nullptr;
}

static void SetTarget(UINT32 index, void *block)
{
    TargetTable[index].block = block;
    TargetTable[index].value = (volatile UINT32 *)block;
}

void AllocateTargets()
{
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    UINT_PTR min = (UINT_PTR)info.lpMinimumApplicationAddress;
    UINT_PTR max = (UINT_PTR)info.lpMaximumApplicationAddress;
    UINT_PTR gran = info.dwAllocationGranularity;

    // Every base is set before the first search: slot i's interval ends at
    // slot i + 1's base, and the last one ends at the first static slot's.
    for (UINT32 i = 0; i < MappedTargetCount; ++i) TargetTable[i].base = MappedBase(i);
    TargetTable[FirstStaticTarget].base = ~(UINT_PTR)0;

    for (UINT32 i = 0; i < MappedTargetCount; ++i) PlaceMappedTarget(i, min, max, gran);

    SetTarget(FirstStaticTarget + 0, &StaticWordA);
    SetTarget(FirstStaticTarget + 1, &StaticQword);
    SetTarget(FirstStaticTarget + 2, StaticBlock);
    SetTarget(FirstStaticTarget + 3, &StaticWordB);

    for (UINT32 n = 0; n < 2; ++n) {
        SIZE_T size = 4096 * n + 4;
        UINT32 first = FirstHeapTarget + 3 * n;
        SetTarget(first + 0, HeapAlloc(GetProcessHeap(), 0, size));
        SetTarget(first + 1, GlobalAlloc(GMEM_FIXED, size));
        SetTarget(first + 2, LocalAlloc(LMEM_FIXED, size));
    }
}

void ReleaseTargets()
{
    for (UINT32 i = 0; i < MappedTargetCount; ++i) {
        if (TargetTable[i].block != nullptr) VirtualFree(TargetTable[i].block, 0, MEM_RELEASE);
    }
    for (UINT32 n = 0; n < 2; ++n) {
        UINT32 first = FirstHeapTarget + 3 * n;
        if (TargetTable[first + 0].block != nullptr) HeapFree(GetProcessHeap(), 0, TargetTable[first + 0].block);
        if (TargetTable[first + 1].block != nullptr) GlobalFree(TargetTable[first + 1].block);
        if (TargetTable[first + 2].block != nullptr) LocalFree(TargetTable[first + 2].block);
    }
}
