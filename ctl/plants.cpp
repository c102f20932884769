// plants.cpp: the cases of planted targets and where each puts its value.
#include "ctl/plants.h"

const char *const CaseNames[CaseCount] = {
    "private",     "readonly",    "exec-read",     "exec-readwrite", "shared",          "file",        "guarded",
    "unaligned-1", "unaligned-2", "unaligned-3",   "page-straddle",  "region-straddle", "chunk-edges", "dense",
};

BOOL ReadCases(const WCHAR *list, UINT32 *cases, WCHAR *bad, UINT32 capacity)
{
    *cases = 0;
    for (const WCHAR *p = list;; ++p) {
        const WCHAR *end = p;
        while (*end && *end != ',') ++end;
        UINT32 c = 0;
        for (; c < CaseCount; ++c) {
            const char *name = CaseNames[c];
            const WCHAR *q = p;
            while (q < end && *name && (UINT32)*q == (UINT32)(unsigned char)*name) ++q, ++name;
            if (q == end && !*name) break;
        }
        if (c == CaseCount) {
            UINT32 n = 0;
            for (const WCHAR *q = p; q < end && n + 1 < capacity; ++q) bad[n++] = *q;
            bad[n] = 0;
            return FALSE;
        }
        *cases |= 1u << c;
        if (!*end) return TRUE;
        p = end;
    }
}

UINT64 CaseOffset(UINT32 plantCase, UINT32 size, UINT32 k)
{
    switch (plantCase) {
    case CaseUnaligned1: return 0x201;
    case CaseUnaligned2: return 0x302;
    case CaseUnaligned3: return 0x403;
    // Half the value on each side of the boundary.
    case CasePageStraddle: return PageBytes - size / 2;
    case CaseRegionStraddle: return GrainBytes - size / 2;
    case CaseChunkEdges: return (GrainBytes << k) - size / 2;
    // Between a guard page and a page no access is allowed to.
    case CaseGuarded: return PageBytes + PageBytes / 2;
    case CaseDense: return 0;
    default: return 0x100;
    }
}

UINT64 NearMissOffset(UINT32 k)
{
    return 0x800 + 0x80 * (UINT64)k;
}

const char *CaseRefusal(UINT32 plantCase, const TypedValue *value)
{
    BOOL straddles = plantCase == CasePageStraddle || plantCase == CaseRegionStraddle || plantCase == CaseChunkEdges;
    if (straddles && value->size < 2) return "a value of one byte cannot span a boundary";
    BOOL zero = TRUE;
    for (UINT32 k = 0; k < value->size; ++k) zero = zero && value->bytes[k] == 0;
    // Its region is left untouched but for the values: zero bytes all round.
    if (plantCase == CaseChunkEdges && zero)
        return "its value's bytes are all zero, as is the untouched memory around it";
    return nullptr;
}

// Whether value's bytes, or those of the other float zero, lie at bytes.
static BOOL Holds(const BYTE *bytes, const TypedValue *value, const BYTE *other)
{
    BOOL same = TRUE, sameOther = other != nullptr;
    for (UINT32 k = 0; k < value->size && (same || sameOther); ++k) {
        same = same && bytes[k] == value->bytes[k];
        sameOther = sameOther && bytes[k] == other[k];
    }
    return same || sameOther;
}

SIZE_T FindValue(const BYTE *bytes, SIZE_T length, const TypedValue *value, SIZE_T from)
{
    // The one float that equals V with other bytes: the zero of the other sign.
    BYTE other[8];
    volatile BYTE *copy = other; // a copying loop would become a library call
    BOOL zero = FALSE;
    UINT32 sign = 0;
    if (IsFloatType(value->type)) {
        sign = IsBigEndianType(value->type) ? 0 : value->size - 1;
        zero = TRUE;
        for (UINT32 k = 0; k < value->size; ++k) {
            copy[k] = value->bytes[k];
            zero = zero && (value->bytes[k] & (k == sign ? 0x7F : 0xFF)) == 0;
        }
        copy[sign] ^= 0x80;
    }
    if (length < value->size) return length;
    // A byte the value holds at the same place in either encoding, other
    // than zero when it has one: memory is mostly zero bytes, and the scan
    // for it is quick.
    UINT32 anchor = 0;
    while (anchor + 1 < value->size && (value->bytes[anchor] == 0 || (zero && anchor == sign))) ++anchor;
    if (zero && anchor == sign) anchor = sign ? 0 : 1;
    BYTE b = value->bytes[anchor];
    for (SIZE_T at = from + anchor; at + value->size - anchor <= length; ++at)
        if (bytes[at] == b && Holds(bytes + at - anchor, value, zero ? other : nullptr)) return at - anchor;
    return length;
}

BYTE ChooseFill(const TypedValue *value, UINT32 attempt)
{
    // Bytes far from common values first; a byte V holds never.
    static const BYTE preferred[] = {0xA5, 0x5A, 0xC3, 0x3C, 0x96, 0x69};
    BOOL used[256] = {};
    for (UINT32 k = 0; k < value->size; ++k) used[value->bytes[k]] = TRUE;
    UINT32 n = 0;
    for (UINT32 k = 0; k < sizeof preferred; ++k)
        if (!used[preferred[k]] && n++ == attempt) return preferred[k];
    for (UINT32 b = 1; b < 256; ++b)
        if (!used[b] && n++ == attempt) return (BYTE)b;
    return 0;
}

const char *NearMissReason(const PlantEntry *entry)
{
    return entry->nearMiss == 0 ? "" : entry->nearMiss <= MissKindCount ? NearMissReasons[entry->nearMiss - 1] : "near miss";
}

BOOL StartsTarget(const PlantEntry *entries, UINT32 count, UINT64 address, UINT32 region)
{
    for (UINT32 pass = 0; pass < 2; ++pass)
        for (UINT32 e = 0; e < count; ++e) {
            const PlantEntry &p = entries[e];
            if (p.nearMiss || (p.region == region) != (pass == 0) || address < p.address) continue;
            UINT64 offset = address - p.address;
            if (offset < (UINT64)p.copies * p.size && offset % p.size == 0) return TRUE;
        }
    return FALSE;
}

SIZE_T StrayValue(const BYTE *bytes, SIZE_T length, SIZE_T starts, UINT64 base, const TypedValue *values, UINT32 count,
                  const PlantEntry *entries, UINT32 entryCount, UINT32 region, UINT32 *which)
{
    SIZE_T first = length;
    for (UINT32 v = 0; v < count; ++v)
        for (SIZE_T at = FindValue(bytes, length, &values[v], 0); at < starts && at < first;
             at = FindValue(bytes, length, &values[v], at + 1))
            if (!StartsTarget(entries, entryCount, base + at, region)) {
                first = at;
                *which = v;
            }
    return first;
}
