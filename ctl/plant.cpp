// plant.cpp: targets planted into a running Vantoriel from outside, as a
// debugger places memory in another process, and the record of them.
//
// The record is never in Vantoriel's memory, where a scanner would find the
// values: it is a named section of the companion's, its handle duplicated
// into Vantoriel, so that it lives exactly as long as that process. A named
// mutex keeps companions that plant at once apart.
#include "ctl/plant.h"
#include "ctl/memory.h"
#include "ctl/output.h"
#include "ctl/platform.h"

// ---------------------------------------------------------------- the record

// Byte by byte, through volatile: the compiler would make a library call of
// a loop that copies, and the companion has no library.
static void CopyBytes(void *to, const void *from, SIZE_T count)
{
    volatile BYTE *t = (volatile BYTE *)to;
    const BYTE *f = (const BYTE *)from;
    for (SIZE_T k = 0; k < count; ++k) t[k] = f[k];
}

static HANDLE Lock;
static PlantBook *Book;     // mapped, while the lock is held
static HANDLE BookSection;

static void ObjectName(const Remote *remote, const char *what, WCHAR *name)
{
    VantorielObjectName(remote->process, remote->pid, what, name);
}

// "Vantoriel64 (process N): " starts an error line about it.
static void BeginPlantError(const Remote *remote)
{
    BeginError();
    Put(remote->build == &Builds[1] ? "Vantoriel32" : "Vantoriel64");
    Put(" (process ");
    PutNumber(remote->pid);
    Put("): ");
}

// Why a call on Vantoriel's memory failed, after what failed.
static void PutCallFailure(DWORD error)
{
    Put(": ");
    if (error == ERROR_TIMEOUT) Put(MemoryStuckText);
    else Put("error "), PutNumber(error);
}

static UINT32 PlantError(const Remote *remote, const char *what, DWORD error, const char *tail = "")
{
    BeginPlantError(remote);
    Put(what);
    if (error == ERROR_TIMEOUT) {
        Put(": Vantoriel did not carry out the companion's memory call within ");
        PutNumber(MemoryBoundMs / 1000);
        Put(" s: stopped by a debugger or a scanner?");
    } else if (error) {
        Put(": error ");
        PutNumber(error);
    }
    Put(tail);
    return EndError();
}

// Takes the lock of remote's record and maps the record, made if create
// (and then handed to Vantoriel to keep); Book stays null when there is none.
static UINT32 OpenBook(const Remote *remote, BOOL create, const char *tail)
{
    WCHAR name[96];
    ObjectName(remote, "plants-lock", name);
    Lock = CreateMutexW(nullptr, FALSE, name);
    if (!Lock) return PlantError(remote, "cannot make the lock of its plants' record", GetLastError(), tail);
    DWORD waited = WaitForSingleObject(Lock, MemoryBoundMs);
    if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
        BeginError();
        Put("another companion holds the record of plants for longer than --timeout");
        Put(tail);
        return EndError();
    }
    ObjectName(remote, "plants", name);
    BookSection = OpenFileMappingW(FILE_MAP_READ | FILE_MAP_WRITE, FALSE, name);
    BOOL made = FALSE;
    if (!BookSection && create) {
        BookSection = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(PlantBook), name);
        made = BookSection != nullptr;
    }
    if (!BookSection) {
        DWORD error = GetLastError();
        return create || error != ERROR_FILE_NOT_FOUND ? PlantError(remote, "cannot open its plants' record", error, tail)
                                                       : (UINT32)ExitOk;
    }
    Book = (PlantBook *)MapViewOfFile(BookSection, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, sizeof(PlantBook));
    if (!Book) return PlantError(remote, "cannot map its plants' record", GetLastError(), tail);
    if (made) {
        // Vantoriel keeps a handle to it: the record goes when it ends.
        HANDLE kept;
        if (!DuplicateHandle(GetCurrentProcess(), BookSection, remote->process, &kept, 0, FALSE, DUPLICATE_SAME_ACCESS))
            return PlantError(remote, "cannot hand the record of its plants to it", GetLastError(), tail);
        Book->magic = BookMagic;
    }
    // The record is the companion's own, but any process may write it.
    if (Book->magic != BookMagic || Book->regionCount > BookRegions || Book->entryCount > BookEntries)
        return PlantError(remote, "its plants' record is damaged", 0, tail);
    for (UINT32 r = 0; r < Book->regionCount; ++r)
        if (Book->regions[r].how > RegionPair || Book->regions[r].base + Book->regions[r].size < Book->regions[r].base)
            return PlantError(remote, "its plants' record is damaged", 0, tail);
    for (UINT32 k = 0; k < Book->entryCount; ++k) {
        const PlantEntry &e = Book->entries[k];
        const PlantRegion *r = e.region < Book->regionCount ? &Book->regions[e.region] : nullptr;
        // Each entry lies whole in its region: nothing else is ever written or freed.
        if (!r || e.size == 0 || e.size > ValueBytesMax || e.copies == 0 || e.type >= TypeCount ||
            e.plantCase >= CaseCount || e.address < r->base || e.address - r->base > r->size ||
            (UINT64)e.copies * e.size > r->size - (e.address - r->base))
            return PlantError(remote, "its plants' record is damaged", 0, tail);
    }
    return ExitOk;
}

static void CloseBook()
{
    if (Book) UnmapViewOfFile(Book);
    if (BookSection) CloseHandle(BookSection);
    Book = nullptr;
    BookSection = nullptr;
    if (Lock) ReleaseMutex(Lock), CloseHandle(Lock);
    Lock = nullptr;
}

// A copy of the record, which the caller keeps.
static PlantBook *Copy;

static const PlantBook *CopyBook()
{
    if (!Book) return nullptr;
    if (!Copy) Copy = (PlantBook *)GrowBlock(nullptr, sizeof(PlantBook));
    if (!Copy) return nullptr;
    CopyBytes(Copy, Book, (SIZE_T)((const BYTE *)&Book->entries[Book->entryCount] - (const BYTE *)Book));
    return Copy;
}

UINT32 ReadPlants(const Remote *remote, const PlantBook **book, const char *tail)
{
    *book = nullptr;
    UINT32 result = OpenBook(remote, FALSE, tail);
    if (result == ExitOk && Book) {
        *book = CopyBook();
        if (!*book) result = Fail("out of memory for the record of plants", tail);
    }
    CloseBook();
    return result;
}

// ---------------------------------------------------------------- placing

// Free address ranges of Vantoriel (a 32-bit one's below 4 GiB): each
// region goes at an address chosen here, so that it is one the process can
// reach, and two regions can lie side by side.
enum { FreeMax = 512 };
static UINT64 FreeBase[FreeMax], FreeEnd[FreeMax];
static UINT32 FreeCount;

static BOOL FindFree(const Remote *remote)
{
    UINT64 limit = remote->build == &Builds[1] ? 0x100000000ull : 0x7FFFFFFF0000ull;
    FreeCount = 0;
    MEMORY_BASIC_INFORMATION m;
    for (UINT64 at = GrainBytes; at < limit && FreeCount < FreeMax;) {
        if (!QueryMemory(remote->process, at, &m)) return !MemoryStuck() && FreeCount > 0;
        UINT64 base = (UINT64)(UINT_PTR)m.BaseAddress, end = base + m.RegionSize;
        if (end <= at || m.RegionSize == 0) break;
        if (end > limit) end = limit;
        if (m.State == MEM_FREE) {
            UINT64 first = (base + GrainBytes - 1) & ~(UINT64)(GrainBytes - 1);
            if (first + GrainBytes <= end) {
                FreeBase[FreeCount] = first;
                FreeEnd[FreeCount++] = end & ~(UINT64)(GrainBytes - 1);
            }
            // Each query is a call Vantoriel carries out: a range larger
            // than any plant needs ends the search.
            if (end - first >= 64ull << 30) break;
        }
        at = end;
    }
    return TRUE;
}

// An address with bytes free from it, taken from the free ranges.
static BOOL TakeFree(UINT64 bytes, UINT64 *at)
{
    bytes = (bytes + GrainBytes - 1) & ~(UINT64)(GrainBytes - 1);
    for (UINT32 k = 0; k < FreeCount; ++k) {
        if (FreeEnd[k] - FreeBase[k] < bytes) continue;
        *at = FreeBase[k];
        FreeBase[k] += bytes;
        return TRUE;
    }
    return FALSE;
}

// What this call made, to record, or to take back if it fails.
struct Made {
    UINT64 base, size;
    UINT32 how, fill, plantCase;
    UINT64 readFrom, readSize;      // the bytes read back: its readable part
    HANDLE file;                    // the file of a file view, until it is handed over
};
enum { MadeMax = TypeCount * CaseCount * 2 };
static Made MadeList[MadeMax];
static UINT32 MadeCount;
static PlantEntry *Entries;         // this call's, to record
static UINT32 EntryCount, EntryCapacity;

static PlantEntry *NewEntry()
{
    if (EntryCount == EntryCapacity) {
        UINT32 more = EntryCapacity ? EntryCapacity * 2 : 256;
        PlantEntry *bigger = (PlantEntry *)GrowBlock(Entries, more * sizeof(PlantEntry));
        if (!bigger) return nullptr;
        Entries = bigger;
        EntryCapacity = more;
    }
    return &Entries[EntryCount++];
}

static BOOL AddEntry(UINT64 address, UINT32 copies, const TypedValue *value, UINT32 plantCase, UINT32 nearMiss)
{
    PlantEntry *e = NewEntry();
    if (!e) return FALSE;
    e->address = address;
    e->copies = copies;
    e->region = MadeCount - 1;
    e->size = value->size;
    e->plantCase = (UINT8)plantCase;
    e->type = (UINT8)value->type;
    e->nearMiss = (UINT8)nearMiss;
    e->unused = 0;
    for (UINT32 k = 0; k < ValueBytesMax; ++k) e->bytes[k] = k < value->size ? value->bytes[k] : 0;
    return TRUE;
}

static Made *NewMade(UINT64 base, UINT64 size, UINT32 how, UINT32 fill, UINT32 plantCase)
{
    Made *m = &MadeList[MadeCount++];
    m->base = base;
    m->size = size;
    m->how = how;
    m->fill = fill;
    m->plantCase = plantCase;
    m->readFrom = base;
    m->readSize = size;
    m->file = nullptr;
    return m;
}

// A page or more of fill with values in it, as a region's bytes are written.
static BYTE *Image;
static UINT64 ImageCapacity;

static BYTE *FillImage(UINT64 size, BYTE fill)
{
    if (size > ImageCapacity) {
        BYTE *bigger = (BYTE *)GrowBlock(Image, (SIZE_T)size);
        if (!bigger) return nullptr;
        Image = bigger;
        ImageCapacity = size;
    }
    for (UINT64 k = 0; k < size; ++k) Image[k] = fill;
    return Image;
}

static void PutValue(BYTE *at, const TypedValue *value)
{
    for (UINT32 k = 0; k < value->size; ++k) at[k] = value->bytes[k];
}

// Why the last step failed, for the error line; 0 once said.
static const char *Failure;
static DWORD FailureError;

static BOOL Failed(const char *what)
{
    Failure = what;
    FailureError = GetLastError();
    return FALSE;
}

// Allocates bytes in Vantoriel, committed read-write where commit says
// (offset, size; all when size is 0), at a free address.
static BOOL Allocate(const Remote *remote, UINT64 bytes, UINT64 commitFrom, UINT64 commitSize, UINT64 *base)
{
    for (UINT32 tries = 0; tries < 8; ++tries) {
        UINT64 at;
        if (!TakeFree(bytes, &at)) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return Failed("no free address range is large enough");
        }
        if (!AllocateMemory(remote->process, at, bytes, MEM_RESERVE, PAGE_NOACCESS, base)) {
            if (MemoryStuck()) return Failed("cannot reserve memory");
            continue; // taken meanwhile
        }
        UINT64 done;
        if (AllocateMemory(remote->process, *base + commitFrom, commitSize ? commitSize : bytes, MEM_COMMIT,
                           PAGE_READWRITE, &done))
            return TRUE;
        DWORD error = GetLastError();
        FreeMemory(remote->process, *base);
        SetLastError(error);
        return Failed("cannot commit memory");
    }
    return Failed("cannot reserve memory");
}

static BOOL Write(const Remote *remote, UINT64 address, const BYTE *bytes, UINT64 size)
{
    // In pieces, each within the bound however slow the process.
    for (UINT64 done = 0; done < size;) {
        UINT64 piece = size - done < (1u << 20) ? size - done : (1u << 20);
        if (!WriteMemory(remote->process, address + done, bytes + done, piece)) return Failed("cannot write its memory");
        done += piece;
    }
    return TRUE;
}

static const DWORD CaseProtect[] = {PAGE_READWRITE, PAGE_READONLY, PAGE_EXECUTE_READ, PAGE_EXECUTE_READWRITE};

// A region of its own, one page committed, value at its case's offset, then
// protected as the case wants.
static BOOL PlantProtected(const Remote *remote, const TypedValue *value, UINT32 plantCase, BYTE fill)
{
    UINT64 base;
    if (!Allocate(remote, GrainBytes, 0, PageBytes, &base)) return FALSE;
    Made *m = NewMade(base, GrainBytes, RegionAllocated, fill, plantCase);
    m->readSize = PageBytes;
    BYTE *image = FillImage(PageBytes, fill);
    if (!image) return Failed("out of memory");
    UINT64 offset = CaseOffset(plantCase, value->size, 0);
    PutValue(image + offset, value);
    if (!Write(remote, base, image, PageBytes) || !AddEntry(base + offset, 1, value, plantCase, 0)) return FALSE;
    return ProtectMemory(remote->process, base, PageBytes, CaseProtect[plantCase], nullptr) ||
           Failed("cannot protect its memory");
}

// Between a guard page and a page no access is allowed to.
static BOOL PlantGuarded(const Remote *remote, const TypedValue *value, BYTE fill)
{
    UINT64 base;
    if (!Allocate(remote, GrainBytes, 0, 3 * PageBytes, &base)) return FALSE;
    Made *m = NewMade(base, GrainBytes, RegionAllocated, fill, CaseGuarded);
    m->readFrom = base + PageBytes;
    m->readSize = PageBytes;
    BYTE *image = FillImage(3 * PageBytes, fill);
    if (!image) return Failed("out of memory");
    UINT64 offset = CaseOffset(CaseGuarded, value->size, 0);
    PutValue(image + offset, value);
    return Write(remote, base, image, 3 * PageBytes) && AddEntry(base + offset, 1, value, CaseGuarded, 0) &&
           (ProtectMemory(remote->process, base, PageBytes, PAGE_READWRITE | PAGE_GUARD, nullptr) ||
            Failed("cannot make a guard page")) &&
           (ProtectMemory(remote->process, base + 2 * PageBytes, PageBytes, PAGE_NOACCESS, nullptr) ||
            Failed("cannot make a page no access is allowed to"));
}

// A view of a section: of the pagefile (shared), or of a file of its own
// that goes when its last handle does (file), which Vantoriel then holds.
static BOOL PlantView(const Remote *remote, const TypedValue *value, UINT32 plantCase, BYTE fill, UINT32 serial)
{
    BYTE *image = FillImage(GrainBytes, fill);
    if (!image) return Failed("out of memory");
    UINT64 offset = CaseOffset(plantCase, value->size, 0);
    PutValue(image + offset, value);
    HANDLE file = INVALID_HANDLE_VALUE;
    if (plantCase == CaseFile) {
        static WCHAR path[MAX_PATH + 64];
        DWORD n = GetTempPathW(MAX_PATH, path);
        if (n == 0 || n >= MAX_PATH) return Failed("no folder for temporary files");
        const char *parts[] = {"Vantoriel-plant-", NumberText(remote->pid), "-", NumberText(GetCurrentProcessId()), "-",
                               NumberText(serial), ".bin"};
        for (const char *part : parts)
            for (const char *p = part; *p; ++p) path[n++] = (WCHAR)*p;
        path[n] = 0;
        file = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (file == INVALID_HANDLE_VALUE) return Failed("cannot make its file");
        DWORD done = 0;
        if (!WriteFile(file, image, (DWORD)GrainBytes, &done, nullptr) || done != GrainBytes) {
            CloseHandle(file);
            return Failed("cannot write its file");
        }
    }
    HANDLE section = CreateFileMappingW(file, nullptr, PAGE_READWRITE, 0, (DWORD)GrainBytes, nullptr);
    if (!section) {
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
        return Failed("cannot make a section");
    }
    UINT64 at = 0, base = 0;
    BOOL free = TakeFree(GrainBytes, &at);
    if (!free) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    BOOL mapped = free && MapSection(remote->process, section, at, GrainBytes, &base);
    DWORD error = GetLastError();
    CloseHandle(section);
    if (!mapped) {
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
        SetLastError(error);
        return Failed("cannot map a section into it");
    }
    Made *m = NewMade(base, GrainBytes, RegionView, fill, plantCase);
    if (file != INVALID_HANDLE_VALUE) m->file = file;
    return (plantCase == CaseFile || Write(remote, base, image, GrainBytes)) &&
           AddEntry(base + offset, 1, value, plantCase, 0);
}

// The value's bytes across the end of one allocation and the start of the
// next, one page committed on each side.
static BOOL PlantRegionStraddle(const Remote *remote, const TypedValue *value, BYTE fill)
{
    UINT64 at, first, second;
    if (!TakeFree(2 * GrainBytes, &at)) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return Failed("no free address range is large enough");
    }
    // Reserved whole, committed only at the seam: every committed byte is written and read back.
    UINT64 done;
    if (!AllocateMemory(remote->process, at, GrainBytes, MEM_RESERVE, PAGE_NOACCESS, &first))
        return Failed("cannot allocate memory");
    if (!AllocateMemory(remote->process, at + GrainBytes, GrainBytes, MEM_RESERVE, PAGE_NOACCESS, &second)) {
        DWORD error = GetLastError();
        FreeMemory(remote->process, first);
        SetLastError(error);
        return Failed("cannot allocate the second of two regions side by side");
    }
    if (!AllocateMemory(remote->process, first + GrainBytes - PageBytes, PageBytes, MEM_COMMIT, PAGE_READWRITE, &done) ||
        !AllocateMemory(remote->process, second, PageBytes, MEM_COMMIT, PAGE_READWRITE, &done)) {
        DWORD error = GetLastError();
        FreeMemory(remote->process, first);
        FreeMemory(remote->process, second);
        SetLastError(error);
        return Failed("cannot commit memory");
    }
    Made *m = NewMade(first, 2 * GrainBytes, RegionPair, fill, CaseRegionStraddle);
    m->readFrom = first + GrainBytes - PageBytes;
    m->readSize = 2 * PageBytes;
    BYTE *image = FillImage(2 * PageBytes, fill);
    if (!image) return Failed("out of memory");
    UINT64 offset = PageBytes - value->size / 2;
    PutValue(image + offset, value);
    // One write for each allocation: a write may not cross from one to the other.
    return Write(remote, first + GrainBytes - PageBytes, image, PageBytes) &&
           Write(remote, second, image + PageBytes, PageBytes) &&
           AddEntry(first + GrainBytes - PageBytes + offset, 1, value, CaseRegionStraddle, 0);
}

static BOOL PlantChunkEdges(const Remote *remote, const TypedValue *value)
{
    UINT64 base;
    // Committed, never touched but for the values: zero bytes around them.
    if (!Allocate(remote, ChunkRegionBytes, 0, 0, &base)) return FALSE;
    NewMade(base, ChunkRegionBytes, RegionAllocated, 0, CaseChunkEdges);
    for (UINT32 k = 0; k < ChunkEdgeCount; ++k) {
        UINT64 offset = CaseOffset(CaseChunkEdges, value->size, k);
        if (!Write(remote, base + offset, value->bytes, value->size) ||
            !AddEntry(base + offset, 1, value, CaseChunkEdges, 0))
            return FALSE;
    }
    return TRUE;
}

static BOOL PlantDense(const Remote *remote, const TypedValue *value, UINT32 copies, BYTE fill)
{
    UINT64 bytes = (UINT64)copies * value->size, size = (bytes + PageBytes - 1) & ~(PageBytes - 1);
    UINT64 base;
    if (!Allocate(remote, size, 0, 0, &base)) return FALSE;
    NewMade(base, size, RegionAllocated, fill, CaseDense);
    BYTE *image = FillImage(size, fill);
    if (!image) return Failed("out of memory");
    for (UINT64 k = 0; k < bytes; ++k) image[k] = value->bytes[k % value->size];
    return Write(remote, base, image, size) && AddEntry(base, copies, value, CaseDense, 0);
}

// The private region of one type: the private case, the unaligned ones, the
// page straddle, and the near misses, with fill between them.
static BOOL PlantPrivate(const Remote *remote, const TypedValue *value, UINT32 cases, BYTE fill)
{
    static const UINT32 here[] = {CasePrivate, CaseUnaligned1, CaseUnaligned2, CaseUnaligned3, CasePageStraddle};
    UINT64 base;
    if (!Allocate(remote, GrainBytes, 0, 2 * PageBytes, &base)) return FALSE;
    Made *m = NewMade(base, GrainBytes, RegionAllocated, fill, CasePrivate);
    m->readSize = 2 * PageBytes;
    BYTE *image = FillImage(2 * PageBytes, fill);
    if (!image) return Failed("out of memory");
    for (UINT32 c : here) {
        if (!(cases >> c & 1) || CaseRefusal(c, value)) continue;
        UINT64 offset = CaseOffset(c, value->size, 0);
        PutValue(image + offset, value);
        if (!AddEntry(base + offset, 1, value, c, 0)) return Failed("out of memory");
    }
    NearMiss misses[MissKindCount];
    UINT32 n = NearMisses(value, misses);
    for (UINT32 k = 0; k < n; ++k) {
        PutValue(image + NearMissOffset(k), &misses[k].value);
        if (!AddEntry(base + NearMissOffset(k), 1, &misses[k].value, CasePrivate, misses[k].kind + 1))
            return Failed("out of memory");
    }
    return Write(remote, base, image, 2 * PageBytes);
}

// ---------------------------------------------------------------- checking

// Every occurrence of a value of this call, in every region it made, is
// where a target of it starts; else the region and the address of the first
// that is not. Of chunk-edges only the pages beside its values are read:
// elsewhere its memory is untouched, zero bytes, which hold no value that
// has another byte (one of zero bytes only is not placed there), and
// reading the rest would bring it into memory.
static BOOL OnlyWherePlanted(const Remote *remote, const TypedValue *values, UINT32 count, UINT32 *badRegion,
                             UINT32 *badValue, UINT64 *badAddress)
{
    enum : UINT64 { Piece = 1u << 20 };
    static BYTE *buffer;
    if (!buffer) buffer = (BYTE *)GrowBlock(nullptr, Piece + ValueBytesMax);
    if (!buffer) return Failed("out of memory");
    for (UINT32 r = 0; r < MadeCount; ++r) {
        const Made &m = MadeList[r];
        BOOL edges = m.plantCase == CaseChunkEdges;
        for (UINT32 k = 0; k < (edges ? ChunkEdgeCount : 1); ++k) {
            UINT64 from = edges ? m.base + (GrainBytes << k) - 2 * PageBytes : m.readFrom;
            UINT64 total = edges ? 4 * PageBytes : m.readSize;
            // Each piece is read with the bytes a value may run on into the next.
            for (UINT64 done = 0; done < total; done += Piece) {
                UINT64 size = total - done < Piece + ValueBytesMax ? total - done : Piece + ValueBytesMax;
                if (!ReadMemory(remote->process, from + done, buffer, size)) return Failed("cannot read back its memory");
                UINT64 starts = size < Piece ? size : Piece; // occurrences that start in this piece
                UINT32 which = 0;
                SIZE_T at = StrayValue(buffer, (SIZE_T)size, (SIZE_T)starts, from + done, values, count, Entries,
                                       EntryCount, r, &which);
                if (at < size) {
                    *badRegion = r;
                    *badValue = which;
                    *badAddress = from + done + at;
                    return FALSE;
                }
            }
        }
    }
    return TRUE;
}

// Whether the allocation or view at base is gone: freed now, or before (a
// pair half freed, or a call that ran on after its bound).
static BOOL Gone(const Remote *remote, UINT64 base, UINT32 how)
{
    MEMORY_BASIC_INFORMATION m;
    BOOL released = how == RegionView ? UnmapSection(remote->process, base) : FreeMemory(remote->process, base);
    if (released || MemoryStuck()) return released;
    DWORD error = GetLastError();
    if (QueryMemory(remote->process, base, &m) && m.State == MEM_FREE) return TRUE;
    SetLastError(error);
    return FALSE;
}

static BOOL Release(const Remote *remote, UINT64 base, UINT32 how)
{
    return Gone(remote, base, how) && (how != RegionPair || Gone(remote, base + GrainBytes, how));
}

// Takes back what this call made; false if some of it stays.
static BOOL TakeBack(const Remote *remote)
{
    BOOL all = TRUE;
    for (UINT32 r = MadeCount; r-- > 0;) {
        const Made &m = MadeList[r];
        all = Release(remote, m.base, m.how) && all;
        if (m.file) CloseHandle(m.file);
    }
    MadeCount = 0;
    return all;
}

UINT32 Plant(const Remote *remote, const TypedValue *values, UINT32 count, UINT32 cases, UINT32 copies,
             NotPlaced *notPlaced, UINT32 *notPlacedCount, const PlantBook **book, UINT32 *first)
{
    *notPlacedCount = 0;
    MadeCount = EntryCount = 0;
    Failure = nullptr;
    UINT32 result = OpenBook(remote, TRUE, "; nothing was planted");
    if (result != ExitOk) {
        CloseBook();
        return result;
    }
    UINT32 once = Book->once;
    if (!FindFree(remote)) {
        result = PlantError(remote, "cannot list its free memory", GetLastError(), "; nothing was planted");
        CloseBook();
        return result;
    }
    UINT32 serial = Book->calls * TypeCount;
    BOOL good = TRUE;
    for (UINT32 v = 0; v < count && good; ++v) {
        const TypedValue *value = &values[v];
        // A fill that holds no copy of the value with the values beside it.
        BYTE fill = ChooseFill(value, 0);
        good = PlantPrivate(remote, value, cases, fill);
        for (UINT32 c = 0; c < CaseCount && good; ++c) {
            if (!(cases >> c & 1)) continue;
            const char *refusal = CaseRefusal(c, value);
            BOOL inPrivate = c == CasePrivate || c == CaseUnaligned1 || c == CaseUnaligned2 || c == CaseUnaligned3 ||
                             c == CasePageStraddle;
            // There already, with the value it was first planted with: not
            // placed for this type.
            BOOL there = (OnceCases >> c & 1) && (once >> c & 1);
            if (there && !refusal) refusal = "placed once a Vantoriel process, and there already with the value first planted";
            if (!refusal && !inPrivate) {
                UINT32 before = MadeCount;
                good = c <= CaseExecReadwrite                 ? PlantProtected(remote, value, c, fill)
                       : c == CaseShared || c == CaseFile     ? PlantView(remote, value, c, fill, serial + v)
                       : c == CaseGuarded                     ? PlantGuarded(remote, value, fill)
                       : c == CaseRegionStraddle              ? PlantRegionStraddle(remote, value, fill)
                       : c == CaseChunkEdges                  ? PlantChunkEdges(remote, value)
                                                              : PlantDense(remote, value, copies, fill);
                // A region that does not fit is a case not placed, not a failure.
                if (!good && MadeCount == before && FailureError == ERROR_NOT_ENOUGH_MEMORY && !MemoryStuck()) {
                    refusal = Failure;
                    good = TRUE;
                    Failure = nullptr;
                    FailureError = 0;
                }
                if (good && !refusal && (OnceCases >> c & 1)) once |= 1u << c;
            }
            if (refusal) {
                NotPlaced &n = notPlaced[(*notPlacedCount)++];
                n.plantCase = c;
                n.type = value->type;
                n.reason = refusal;
            }
        }
    }
    UINT32 badRegion = 0, badValue = 0;
    UINT64 badAddress = 0;
    BOOL checked = good && OnlyWherePlanted(remote, values, count, &badRegion, &badValue, &badAddress);
    if (!checked) {
        BOOL stuck = MemoryStuck();
        BOOL back = stuck ? FALSE : TakeBack(remote);
        BeginPlantError(remote);
        if (good && !Failure) {
            // Which value, where, and in whose memory: a near miss of one
            // type, or the bytes around a value, may hold another type's.
            char text[ValueTextMax];
            ValueText(values[badValue].bytes, values[badValue].type, values[badValue].size, text, sizeof text);
            Put(text);
            Put(" as ");
            Put(TypeName(values[badValue].type));
            Put(" lies at ");
            Put(AddressText(badAddress, remote->build->addressDigits));
            Put(", where no target starts, in the memory of case ");
            Put(CaseNames[MadeList[badRegion].plantCase]);
            const PlantEntry *own = nullptr;
            for (UINT32 e = 0; e < EntryCount && !own; ++e)
                if (Entries[e].region == badRegion) own = &Entries[e];
            if (own) Put(" for "), Put(TypeName(own->type));
            if (own && MadeList[badRegion].plantCase == CasePrivate) Put(" (with its near misses)");
        } else {
            Put(Failure ? Failure : "planting failed");
            if (FailureError) PutCallFailure(FailureError);
        }
        Put(back ? "; what this call placed was taken back" : "; some of what this call placed may remain: close that Vantoriel");
        CloseBook();
        return EndError();
    }
    // Vantoriel holds the files: they go when it ends.
    for (UINT32 r = 0; r < MadeCount; ++r) {
        if (!MadeList[r].file) continue;
        HANDLE kept;
        DuplicateHandle(GetCurrentProcess(), MadeList[r].file, remote->process, &kept, 0, FALSE, DUPLICATE_SAME_ACCESS);
        CloseHandle(MadeList[r].file);
        MadeList[r].file = nullptr;
    }
    if (Book->regionCount + MadeCount > BookRegions || Book->entryCount + EntryCount > BookEntries) {
        BOOL back = TakeBack(remote);
        CloseBook();
        return Fail("the record of plants is full", back ? "; nothing of this call was planted" : "; some of this call's plants may remain: close that Vantoriel");
    }
    UINT32 firstRegion = Book->regionCount;
    for (UINT32 r = 0; r < MadeCount; ++r) {
        PlantRegion &p = Book->regions[firstRegion + r];
        p.base = MadeList[r].base;
        p.size = MadeList[r].size;
        p.how = MadeList[r].how;
        p.fill = MadeList[r].fill;
        p.plantCase = MadeList[r].plantCase;
        p.live = 0;
    }
    *first = Book->entryCount;
    for (UINT32 e = 0; e < EntryCount; ++e) {
        PlantEntry &to = Book->entries[Book->entryCount++];
        CopyBytes(&to, &Entries[e], sizeof(PlantEntry));
        to.region += firstRegion;
        ++Book->regions[to.region].live;
    }
    Book->regionCount += MadeCount;
    Book->once = once;
    ++Book->calls;
    *book = CopyBook();
    CloseBook();
    return *book ? (UINT32)ExitOk : Fail("out of memory for the record of plants");
}

// ---------------------------------------------------------------- taking back

UINT32 Unplant(const Remote *remote, UINT32 cases, UINT32 *removed)
{
    *removed = 0;
    UINT32 result = OpenBook(remote, FALSE, "; nothing was taken back");
    if (result != ExitOk || !Book) {
        CloseBook();
        return result;
    }
    // Targets of the cases go; then near misses in regions left without a target.
    static BYTE gone[BookEntries];
    static UINT32 targets[BookRegions], left[BookRegions];
    static BOOL released[BookRegions];
    UINT32 regions = Book->regionCount, entries = Book->entryCount;
    for (UINT32 r = 0; r < regions; ++r) targets[r] = left[r] = 0, released[r] = FALSE;
    for (UINT32 e = 0; e < entries; ++e) {
        const PlantEntry &p = Book->entries[e];
        gone[e] = !p.nearMiss && (cases >> p.plantCase & 1);
        targets[p.region] += !p.nearMiss && !gone[e];
    }
    for (UINT32 e = 0; e < entries; ++e) {
        if (Book->entries[e].nearMiss && targets[Book->entries[e].region] == 0) gone[e] = TRUE;
        left[Book->entries[e].region] += !gone[e];
    }
    // What is taken back leaves the record; what could not be, stays in it.
    BOOL good = TRUE;
    for (UINT32 e = 0; e < entries && good; ++e) {
        const PlantEntry &p = Book->entries[e];
        if (!gone[e] || left[p.region] == 0) continue;
        // Its region stays for others: its bytes become fill again.
        static BYTE fill[ValueBytesMax];
        for (UINT32 k = 0; k < p.size; ++k) fill[k] = (BYTE)Book->regions[p.region].fill;
        good = WriteMemory(remote->process, p.address, fill, p.size);
        gone[e] = good ? 2 : 1;
    }
    for (UINT32 r = 0; r < regions && good; ++r) {
        if (left[r] != 0) continue;
        good = Release(remote, Book->regions[r].base, Book->regions[r].how);
        released[r] = good;
    }
    DWORD error = good ? 0 : GetLastError();
    // Entries whose region went, or whose bytes were filled, go; so do regions taken back.
    static UINT32 renumber[BookRegions];
    UINT32 keptRegions = 0;
    for (UINT32 r = 0; r < regions; ++r) {
        renumber[r] = keptRegions;
        if (released[r]) {
            if (OnceCases >> Book->regions[r].plantCase & 1) Book->once &= ~(1u << Book->regions[r].plantCase);
            continue;
        }
        if (keptRegions != r) CopyBytes(&Book->regions[keptRegions], &Book->regions[r], sizeof(PlantRegion));
        Book->regions[keptRegions++].live = 0;
    }
    UINT32 kept = 0;
    for (UINT32 e = 0; e < entries; ++e) {
        UINT32 region = Book->entries[e].region;
        if (released[region] || gone[e] == 2) {
            ++*removed;
            continue;
        }
        if (kept != e) CopyBytes(&Book->entries[kept], &Book->entries[e], sizeof(PlantEntry));
        Book->entries[kept].region = renumber[region];
        ++Book->regions[renumber[region]].live;
        ++kept;
    }
    Book->entryCount = kept;
    Book->regionCount = keptRegions;
    if (!good) {
        BeginPlantError(remote);
        Put("cannot take back every plant");
        PutCallFailure(error);
        Put("; ");
        PutNumber(*removed);
        Put(" were taken back, and the record lists the rest");
        CloseBook();
        return EndError();
    }
    CloseBook();
    return ExitOk;
}
