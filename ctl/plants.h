// plants.h: targets the companion plants into a running Vantoriel from
// outside, in the memory and the values that scanners get wrong: the cases,
// where each puts its value, and the record that keeps them as long as that
// Vantoriel runs.
#pragma once
#include <windows.h>

#include "ctl/value.h"

// Each case is a kind of memory, or a placement of the value in private
// read-write memory, that some scanner misses.
enum PlantCase {
    CasePrivate, CaseReadonly, CaseExecRead, CaseExecReadwrite, CaseShared, CaseFile, CaseGuarded,
    CaseUnaligned1, CaseUnaligned2, CaseUnaligned3, CasePageStraddle, CaseRegionStraddle, CaseChunkEdges,
    CaseDense, CaseCount
};
extern const char *const CaseNames[CaseCount];
// Every case but dense, which is planted only when named.
const UINT32 DefaultCases = ((1u << CaseCount) - 1) & ~(1u << CaseDense);
// Cases placed at most once in a Vantoriel's life: their regions are large.
const UINT32 OnceCases = 1u << CaseChunkEdges | 1u << CaseDense;

// --case's list, NAME[,NAME...]: bit c for case c; false for an unknown or
// empty name, whose text goes into bad (capacity units).
BOOL ReadCases(const WCHAR *list, UINT32 *cases, WCHAR *bad, UINT32 capacity);

enum : UINT64 {
    PageBytes = 0x1000,
    GrainBytes = 0x10000,        // the granularity of allocations
    ChunkRegionBytes = 320ull << 20,
    DenseDefault = 1000000,
};
// chunk-edges: a value straddles each power of two from 64 KiB to 256 MiB.
enum { ChunkEdgeCount = 13 };

// Where a case puts its value in the region made for it (for chunk-edges,
// value k of ChunkEdgeCount), for a value of size bytes; the region's size.
// A private region holds the private case, the unaligned ones, the page
// straddle and the near misses of one type.
UINT64 CaseOffset(UINT32 plantCase, UINT32 size, UINT32 k);
UINT64 NearMissOffset(UINT32 k);
// Why a value of size bytes cannot be placed in a case, or null.
const char *CaseRefusal(UINT32 plantCase, const TypedValue *value);

// The next offset from `from` at which bytes [0, length) hold value as its
// type reads (floats as numbers: 0 and -0 both), or length if none.
SIZE_T FindValue(const BYTE *bytes, SIZE_T length, const TypedValue *value, SIZE_T from);

// A byte to fill a region around values and near misses with: one that is
// none of value's bytes, so that every occurrence of value lies in bytes the
// plant wrote, and none of the bytes that would make a value reading of
// the fill next to them equal value. Checked by the caller all the same.
BYTE ChooseFill(const TypedValue *value, UINT32 attempt);

// ---------------------------------------------------------------- the record

// A planted target, or a near miss, as the record keeps it.
struct PlantEntry {
    UINT64 address;         // of the first copy
    UINT32 copies;          // side by side from address (dense), else 1
    UINT32 region;          // the record's region that holds it
    UINT32 size;
    UINT8 plantCase, type;
    UINT8 nearMiss;         // 0 for a target, else the near miss's number + 1
    UINT8 unused;
    BYTE bytes[ValueBytesMax];
};

// Memory a plant made in Vantoriel.
enum RegionHow { RegionAllocated, RegionView, RegionPair }; // a pair: two allocations side by side
struct PlantRegion {
    UINT64 base, size;      // allocated or mapped
    UINT32 how;
    UINT32 fill;            // the byte around its values
    UINT32 live;            // entries in it; 0 once taken back
    UINT32 plantCase;
};

enum { BookMagic = 0x544E4C50, BookRegions = 8192, BookEntries = 32768 };
struct PlantBook {
    UINT32 magic;
    UINT32 calls;           // plant calls so far
    UINT32 regionCount, entryCount;
    UINT32 once;            // OnceCases placed
    UINT32 unused;
    PlantRegion regions[BookRegions];
    PlantEntry entries[BookEntries];
};

// A near miss's reason (its NearMissKind + 1 in the record).
const char *NearMissReason(const PlantEntry *entry);

// Whether a target of entries (of any type: a value as one type is found in
// another's bytes, and scores count it there too; near misses are none)
// starts at address; those of region are looked at first.
BOOL StartsTarget(const PlantEntry *entries, UINT32 count, UINT64 address, UINT32 region);

// The first offset, below starts, at which bytes [0, length), read from
// address base in region, hold one of values (which, into *which) where no
// target of entries starts; length if none. A piece of a larger region is
// read with the bytes a value may run on into the next piece, and starts
// keeps what begins there for the next.
SIZE_T StrayValue(const BYTE *bytes, SIZE_T length, SIZE_T starts, UINT64 base, const TypedValue *values, UINT32 count,
                  const PlantEntry *entries, UINT32 entryCount, UINT32 region, UINT32 *which);
