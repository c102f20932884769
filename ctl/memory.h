// memory.h: calls on another process's memory, each within MemoryBoundMs.
// A call not carried out in time gives false with ERROR_TIMEOUT, and so do
// all later ones: the process is stopped or stuck. Buffers handed to a call
// must stay valid after a timeout.
#pragma once
#include <windows.h>

#ifndef WIDE
#define WIDE(q) L##q
#endif

extern DWORD MemoryBoundMs;

// Whether a call has outlived its bound, and what an error line says of it.
BOOL MemoryStuck();
extern const char MemoryStuckText[];

BOOL QueryMemory(HANDLE process, UINT64 address, MEMORY_BASIC_INFORMATION *m);
BOOL AllocateMemory(HANDLE process, UINT64 address, UINT64 size, DWORD type, DWORD protect, UINT64 *base);
BOOL ProtectMemory(HANDLE process, UINT64 address, UINT64 size, DWORD protect, DWORD *old);
BOOL FreeMemory(HANDLE process, UINT64 base);
// A read-write view of section into process, at address (0: where the system chooses).
BOOL MapSection(HANDLE process, HANDLE section, UINT64 address, UINT64 size, UINT64 *base);
BOOL UnmapSection(HANDLE process, UINT64 base);
BOOL ReadMemory(HANDLE process, UINT64 address, void *bytes, UINT64 size);
BOOL WriteMemory(HANDLE process, UINT64 address, const void *bytes, UINT64 size);

// Pieces read in one call: each piece's ok tells whether it was read whole.
// False only when the call outlived its bound.
struct ReadPiece {
    UINT64 address, size;
    void *bytes;
    BOOL ok;
};
BOOL ReadMemoryList(HANDLE process, ReadPiece *pieces, UINT32 count);
