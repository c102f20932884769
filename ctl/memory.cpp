// memory.cpp: calls on a Vantoriel's memory from outside, each within one
// bound. Under Wine a thread of the other process carries out every such
// call but the reads and writes, so a Vantoriel stopped by a debugger or a
// scanner would keep the caller waiting for good: a thread of the companion
// makes the calls, and the companion waits for each at most the bound.
#include "ctl/memory.h"
#include "ctl/remote.h"

DWORD MemoryBoundMs = 30000;
const char MemoryStuckText[] =
    "Vantoriel did not carry out the companion's memory call in time: stopped by a debugger or a scanner?";

enum MemoryOp { OpQuery, OpAllocate, OpProtect, OpFree, OpMap, OpUnmap, OpRead, OpWrite, OpReadList };

struct MemoryCall {
    UINT32 op;
    HANDLE process, section;
    UINT64 address, size;
    DWORD type, protect;
    void *buffer;
    BOOL ok;
    DWORD error;
    UINT64 result;
};

// One call at a time, in static memory: a call that outlives its bound
// finishes, if ever, into memory nothing else uses. So do its buffers: the
// companion ends soon after, and frees nothing it handed over.
static MemoryCall Call;

typedef LONG(WINAPI *MapViewCall)(HANDLE, HANDLE, PVOID *, ULONG_PTR, SIZE_T, PLARGE_INTEGER, PSIZE_T, DWORD, ULONG,
                                   ULONG);
typedef LONG(WINAPI *UnmapViewCall)(HANDLE, PVOID);

// The system's own calls for a section's view in another process; the
// documented ones map into the caller only.
static FARPROC Native(const char *name)
{
    HMODULE ntdll = GetModuleHandleW(WIDE("ntdll.dll"));
    return ntdll ? GetProcAddress(ntdll, name) : nullptr;
}

static void Carry(MemoryCall *c)
{
    LPVOID at = (LPVOID)(UINT_PTR)c->address;
    SIZE_T done = 0;
    c->ok = FALSE;
    switch (c->op) {
    case OpQuery: {
        MEMORY_BASIC_INFORMATION *m = (MEMORY_BASIC_INFORMATION *)c->buffer;
        c->ok = VirtualQueryEx(c->process, at, m, sizeof *m) == sizeof *m;
        break;
    }
    case OpAllocate: {
        LPVOID base = VirtualAllocEx(c->process, at, (SIZE_T)c->size, c->type, c->protect);
        c->result = (UINT64)(UINT_PTR)base;
        c->ok = base != nullptr;
        break;
    }
    case OpProtect: {
        DWORD old = 0;
        c->ok = VirtualProtectEx(c->process, at, (SIZE_T)c->size, c->protect, &old);
        c->result = old;
        break;
    }
    case OpFree: c->ok = VirtualFreeEx(c->process, at, 0, MEM_RELEASE); break;
    case OpMap: {
        MapViewCall map = (MapViewCall)(void *)Native("NtMapViewOfSection");
        PVOID base = at;
        SIZE_T size = (SIZE_T)c->size;
        LONG status = map ? map(c->section, c->process, &base, 0, 0, nullptr, &size, 2 /* ViewUnmap */, 0, c->protect)
                          : (LONG)0xC0000002; // not implemented
        c->ok = status == 0;
        c->result = (UINT64)(UINT_PTR)base;
        // No room there is a case not placed; any other failure, an error.
        if (!c->ok) SetLastError((UINT32)status == 0xC0000018 /* conflicting addresses */ ? ERROR_NOT_ENOUGH_MEMORY
                                 : (UINT32)status == 0xC0000022                         ? ERROR_ACCESS_DENIED
                                                                                       : ERROR_INVALID_PARAMETER);
        break;
    }
    case OpUnmap: {
        UnmapViewCall unmap = (UnmapViewCall)(void *)Native("NtUnmapViewOfSection");
        c->ok = unmap && unmap(c->process, at) == 0;
        break;
    }
    case OpRead:
        c->ok = ReadProcessMemory(c->process, at, c->buffer, (SIZE_T)c->size, &done) && done == c->size;
        break;
    case OpWrite:
        c->ok = WriteProcessMemory(c->process, at, c->buffer, (SIZE_T)c->size, &done) && done == c->size;
        break;
    case OpReadList:
        // Many reads for one hand-over: a watch reads every target each round.
        for (UINT64 k = 0; k < c->size; ++k) {
            ReadPiece &p = ((ReadPiece *)c->buffer)[k];
            p.ok = ReadProcessMemory(c->process, (LPCVOID)(UINT_PTR)p.address, p.bytes, (SIZE_T)p.size, &done) &&
                   done == p.size;
        }
        c->ok = TRUE;
        break;
    }
    c->error = c->ok ? 0 : GetLastError();
}

static void CarryCall(void *call)
{
    Carry((MemoryCall *)call);
}
static BoundedWorker Worker = {CarryCall, &Call, nullptr, nullptr, FALSE, FALSE};

static BOOL Run()
{
    if (!RunBounded(&Worker, MemoryBoundMs)) return FALSE;
    SetLastError(Call.error);
    return Call.ok;
}

static void Prepare(UINT32 op, HANDLE process, UINT64 address, UINT64 size)
{
    Call.op = op;
    Call.process = process;
    Call.section = nullptr;
    Call.address = address;
    Call.size = size;
    Call.type = Call.protect = 0;
    Call.buffer = nullptr;
    Call.result = 0;
}

BOOL MemoryStuck()
{
    return Worker.stuck;
}

BOOL QueryMemory(HANDLE process, UINT64 address, MEMORY_BASIC_INFORMATION *m)
{
    static MEMORY_BASIC_INFORMATION answer;
    Prepare(OpQuery, process, address, 0);
    Call.buffer = &answer;
    if (!Run()) return FALSE;
    // Field by field: a compiler may make a library call of a whole copy.
    m->BaseAddress = answer.BaseAddress;
    m->AllocationBase = answer.AllocationBase;
    m->AllocationProtect = answer.AllocationProtect;
    m->RegionSize = answer.RegionSize;
    m->State = answer.State;
    m->Protect = answer.Protect;
    m->Type = answer.Type;
    return TRUE;
}

BOOL AllocateMemory(HANDLE process, UINT64 address, UINT64 size, DWORD type, DWORD protect, UINT64 *base)
{
    Prepare(OpAllocate, process, address, size);
    Call.type = type;
    Call.protect = protect;
    if (!Run()) return FALSE;
    *base = Call.result;
    return TRUE;
}

BOOL ProtectMemory(HANDLE process, UINT64 address, UINT64 size, DWORD protect, DWORD *old)
{
    Prepare(OpProtect, process, address, size);
    Call.protect = protect;
    if (!Run()) return FALSE;
    if (old) *old = (DWORD)Call.result;
    return TRUE;
}

BOOL FreeMemory(HANDLE process, UINT64 base)
{
    Prepare(OpFree, process, base, 0);
    return Run();
}

BOOL MapSection(HANDLE process, HANDLE section, UINT64 address, UINT64 size, UINT64 *base)
{
    Prepare(OpMap, process, address, size);
    Call.section = section;
    Call.protect = PAGE_READWRITE;
    if (!Run()) return FALSE;
    *base = Call.result;
    return TRUE;
}

BOOL UnmapSection(HANDLE process, UINT64 base)
{
    Prepare(OpUnmap, process, base, 0);
    return Run();
}

BOOL ReadMemory(HANDLE process, UINT64 address, void *bytes, UINT64 size)
{
    Prepare(OpRead, process, address, size);
    Call.buffer = bytes;
    return Run();
}

BOOL WriteMemory(HANDLE process, UINT64 address, const void *bytes, UINT64 size)
{
    Prepare(OpWrite, process, address, size);
    Call.buffer = (void *)bytes;
    return Run();
}

BOOL ReadMemoryList(HANDLE process, ReadPiece *pieces, UINT32 count)
{
    Prepare(OpReadList, process, 0, count);
    Call.buffer = pieces;
    return Run();
}
