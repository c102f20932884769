// plant_standin.cpp: the calls on another process's memory through the
// stand-in's memory calls, and a Vantoriel with no plants: what the verbs
// need of the planting room on the host.
#include "ctl/memory.h"
#include "ctl/output.h"
#include "ctl/plant.h"
#include "ctl_standin.h"

DWORD MemoryBoundMs = 30000;
const char MemoryStuckText[] = "stuck";

BOOL MemoryStuck() { return FALSE; }

BOOL QueryMemory(HANDLE process, UINT64 address, MEMORY_BASIC_INFORMATION *m)
{
    return VirtualQueryEx(process, (LPCVOID)(UINT_PTR)address, m, sizeof *m) == sizeof *m;
}

BOOL ReadMemory(HANDLE process, UINT64 address, void *bytes, UINT64 size)
{
    SIZE_T done = 0;
    return ReadProcessMemory(process, (LPCVOID)(UINT_PTR)address, bytes, (SIZE_T)size, &done) && done == size;
}

BOOL ReadMemoryList(HANDLE process, ReadPiece *pieces, UINT32 count)
{
    for (UINT32 k = 0; k < count; ++k) {
        pieces[k].ok = ReadMemory(process, pieces[k].address, pieces[k].bytes, pieces[k].size);
        ctlfake::Clock += ctlfake::ReadCost;
        if (ctlfake::OnRead) ctlfake::OnRead();
    }
    return TRUE;
}

UINT32 ReadPlants(const Remote *, const PlantBook **book, const char *)
{
    *book = nullptr;
    return ExitOk;
}

UINT32 Plant(const Remote *, const TypedValue *, UINT32, UINT32, UINT32, NotPlaced *, UINT32 *notPlacedCount,
             const PlantBook **book, UINT32 *)
{
    *notPlacedCount = 0;
    *book = nullptr;
    return Fail("planting is not stood in on the host");
}

UINT32 Unplant(const Remote *, UINT32, UINT32 *removed)
{
    *removed = 0;
    return Fail("planting is not stood in on the host");
}

BOOL WriteMemory(HANDLE process, UINT64 address, const void *bytes, UINT64 size)
{
    SIZE_T done = 0;
    return WriteProcessMemory(process, (LPVOID)(UINT_PTR)address, bytes, (SIZE_T)size, &done) && done == size;
}

BOOL ProtectMemory(HANDLE, UINT64, UINT64, DWORD, DWORD *)
{
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}
