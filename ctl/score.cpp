// score.cpp: a scanner's findings against the targets.
#include "ctl/score.h"
#include "ctl/output.h"
#include "ctl/platform.h"
#include "ctl/sheet.h"

static BOOL Contains(const UINT64 *rising, SIZE_T count, UINT64 address)
{
    SIZE_T low = 0, high = count;
    while (low < high) {
        SIZE_T middle = low + (high - low) / 2;
        if (rising[middle] < address) low = middle + 1;
        else high = middle;
    }
    return low < count && rising[low] == address;
}

UINT32 RoleOf(const Target &t, const Search *search)
{
    if (!search->haveValue) return t.kind == KindNearMiss ? RoleNearMiss : t.plant ? RoleNotSearched : RoleExpected;
    // Without a type, 32 bits: the first four bytes as an unsigned number.
    BYTE bytes[4] = {(BYTE)search->value, (BYTE)(search->value >> 8), (BYTE)(search->value >> 16),
                     (BYTE)(search->value >> 24)};
    TypedValue u32 = {TypeU32, 4, {bytes[0], bytes[1], bytes[2], bytes[3]}};
    const TypedValue *typed = search->typed ? search->typed : &u32;
    if (!t.plant) {
        // Vantoriel's own hold four bytes: a longer type is not searched in them.
        if (typed->size > 4) return RoleNotSearched;
        if (!t.readable) return RoleUnknown;
        BYTE own[4] = {(BYTE)t.memory, (BYTE)(t.memory >> 8), (BYTE)(t.memory >> 16), (BYTE)(t.memory >> 24)};
        return SameValue(own, typed) ? RoleExpected : RoleNotHolding;
    }
    BOOL holds = t.readable && t.known >= typed->size && SameValue(t.now, typed);
    // A near miss that holds the value as the type searched is a target of that search.
    if (t.kind == KindNearMiss) return holds ? RoleExpected : RoleNearMiss;
    if (!t.readable) return RoleUnknown;
    return holds ? RoleExpected : RoleNotHolding;
}

void FreeScore(Score *score)
{
    FreeBlock(score->role);
    FreeBlock(score->hit);
    score->role = nullptr;
    score->hit = nullptr;
}

BOOL CountScore(const Target *targets, UINT32 count, Findings *findings, const Search *search, Score *score)
{
    *score = {};
    score->search.haveValue = search->haveValue;
    score->search.value = search->value;
    score->search.typed = search->typed;
    score->lines = findings->lines;
    score->withoutAddress = findings->withoutAddress;
    score->unread = findings->unread;
    score->role = (BYTE *)GrowBlock(nullptr, count + 1);
    score->hit = (BOOL *)GrowBlock(nullptr, (SIZE_T)(count + 1) * sizeof(BOOL));
    UINT64 *sorted = (UINT64 *)GrowBlock(nullptr, (SIZE_T)(count + 1) * sizeof(UINT64));
    if (!score->role || !score->hit || !sorted) {
        FreeBlock(sorted);
        return FALSE;
    }
    for (UINT32 k = 0; k < count; ++k) {
        const Target &t = targets[k];
        BOOL hit = Contains(findings->addresses, findings->count, t.address);
        UINT32 role = RoleOf(t, search);
        score->hit[k] = hit;
        score->role[k] = (BYTE)role;
        sorted[k] = t.address;
        if (role == RoleUnknown) ++score->unreadable;
        if (role == RoleNotHolding) score->notHolding += hit;
        if (role == RoleNotSearched) score->notSearched += hit;
        if (role == RoleNearMiss) score->nearMisses += hit;
        if (role != RoleExpected) continue;
        ++score->expected[t.kind];
        score->found[t.kind] += hit;
        if (t.kind == KindPlanted) ++score->caseExpected[t.index], score->caseFound[t.index] += hit;
        // Read region by region, a value across two cannot be seen: named, not failed.
        if (!hit && t.kind == KindPlanted && t.index == CaseRegionStraddle) ++score->missedAcross;
        else if (!hit) ++score->missed;
    }
    // The addresses that are no target, in place.
    SortNumbers(sorted, count);
    SIZE_T others = 0;
    for (SIZE_T a = 0; a < findings->count; ++a)
        if (!Contains(sorted, count, findings->addresses[a])) findings->addresses[others++] = findings->addresses[a];
    FreeBlock(sorted);
    findings->count = others;
    score->others = findings->addresses;
    score->otherCount = others;
    return TRUE;
}

static UINT32 Sum(const UINT32 *byKind)
{
    return byKind[0] + byKind[1] + byKind[2] + byKind[3] + byKind[4];
}

// Nothing but expected targets in the findings: every line that is not
// blank gave an address, and each is a target that holds V.
static BOOL Exact(const Score *s)
{
    return !s->otherCount && !s->notHolding && !s->notSearched && !s->nearMisses && !s->withoutAddress;
}

static BOOL Missed(const Score *s, UINT32 k, const Target &t)
{
    return s->role[k] == RoleExpected && !s->hit[k] && !(t.kind == KindPlanted && t.index == CaseRegionStraddle);
}

static BOOL MissedAcross(const Score *s, UINT32 k, const Target &t)
{
    return s->role[k] == RoleExpected && !s->hit[k] && t.kind == KindPlanted && t.index == CaseRegionStraddle;
}

static const char AcrossReason[] = "its bytes span the end of one region and the start of the next, which a "
                                   "reader that reads region by region does not see";

// The value searched for: "7", or "12345 as i16".
static void PutValue(const Search *search)
{
    if (!search->typed) {
        PutNumber(search->value);
        return;
    }
    char text[ValueTextMax];
    ValueText(search->typed->bytes, search->typed->type, search->typed->size, text, sizeof text);
    Put(text);
    Put(" as ");
    Put(TypeName(search->typed->type));
}

// Which target: its kind, then its slot, name or case.
static void PutWhich(const Target &t)
{
    Put(KindNames[t.kind]);
    if (t.kind == KindMapped) {
        Put(" slot ");
        PutNumber(t.index);
    } else if (t.kind == KindStatic) {
        Put(" ");
        Put(StaticNames[t.index]);
    } else if (t.kind == KindHeap && t.index < 6) {
        Put(" ");
        Put(HeapNames[t.index]);
        Put(" ");
        PutNumber(HeapSizes[t.index]);
    } else if (t.kind == KindPlanted) {
        Put(" ");
        Put(CaseNames[t.index]);
        Put(" ");
        Put(TypeName(t.plant ? (UINT32)t.plant->type : (UINT32)TypeCount));
    } else if (t.plant) {
        Put(" ");
        Put(NearMissReason(t.plant));
        Put(" ");
        Put(TypeName(t.plant->type));
    }
}

// The targets of one outcome as a JSON array of addresses.
static void PutTargetArray(const Score *s, const Target *targets, UINT32 count, UINT32 digits, BOOL (*outcome)(const Score *, UINT32, const Target &))
{
    Put("[");
    const char *separator = "";
    for (UINT32 k = 0; k < count; ++k) {
        if (!outcome(s, k, targets[k])) continue;
        Put(separator);
        separator = ",";
        PutJsonString(AddressText(targets[k].address, digits));
    }
    Put("]");
}

static BOOL FoundNotHolding(const Score *s, UINT32 k, const Target &) { return s->role[k] == RoleNotHolding && s->hit[k]; }
static BOOL FoundNotSearched(const Score *s, UINT32 k, const Target &) { return s->role[k] == RoleNotSearched && s->hit[k]; }

static void PutCounts(const char *name, UINT32 expected, UINT32 found)
{
    Put(",\"");
    Put(name);
    Put("\":{\"expected\":");
    PutNumber(expected);
    Put(",\"found\":");
    PutNumber(found);
    Put("}");
}

static void WriteJson(const Score *s, const Target *targets, UINT32 count, UINT32 digits)
{
    Put("{");
    if (s->search.typed) {
        char text[ValueTextMax];
        ValueText(s->search.typed->bytes, s->search.typed->type, s->search.typed->size, text, sizeof text);
        Put("\"value\":");
        PutJsonString(text);
        Put(",\"type\":");
        PutJsonString(TypeName(s->search.typed->type));
        Put(",");
    } else if (s->search.haveValue) {
        Put("\"value\":");
        PutNumber(s->search.value);
        Put(",");
    }
    Put("\"expected\":");
    PutNumber(Sum(s->expected));
    Put(",\"found\":");
    PutNumber(Sum(s->found));
    for (UINT32 kind = 0; kind < 5; ++kind)
        if (kind < 3 || s->expected[kind]) PutCounts(KindNames[kind], s->expected[kind], s->found[kind]);
    Put(",\"missed\":");
    PutTargetArray(s, targets, count, digits, Missed);
    Put(",\"not_holding\":");
    PutTargetArray(s, targets, count, digits, FoundNotHolding);
    Put(",\"not_targets\":[");
    for (SIZE_T k = 0; k < s->otherCount; ++k) {
        Put(k ? "," : "");
        PutJsonString(AddressText(s->others[k], digits));
    }
    Put("]");
    // What plants add, when there are any.
    BOOL plants = FALSE;
    for (UINT32 k = 0; k < count && !plants; ++k) plants = targets[k].plant != nullptr;
    if (plants) {
        Put(",\"cases\":{");
        const char *separator = "";
        for (UINT32 c = 0; c < CaseCount; ++c) {
            if (!s->caseExpected[c]) continue;
            Put(separator);
            separator = ",";
            Put("\"");
            Put(CaseNames[c]);
            Put("\":{\"expected\":");
            PutNumber(s->caseExpected[c]);
            Put(",\"found\":");
            PutNumber(s->caseFound[c]);
            Put("}");
        }
        Put("},\"missed_across_regions\":");
        PutTargetArray(s, targets, count, digits, MissedAcross);
        Put(",\"not_searched\":");
        PutTargetArray(s, targets, count, digits, FoundNotSearched);
        Put(",\"near_misses\":[");
        separator = "";
        for (UINT32 k = 0; k < count; ++k) {
            const Target &t = targets[k];
            if (s->role[k] != RoleNearMiss || !s->hit[k]) continue;
            Put(separator);
            separator = ",";
            Put("{\"address\":");
            PutJsonString(AddressText(t.address, digits));
            Put(",\"reason\":");
            PutJsonString(t.plant ? NearMissReason(t.plant) : "");
            Put(",\"type\":");
            PutJsonString(TypeName(t.plant ? (UINT32)t.plant->type : (UINT32)TypeCount));
            Put("}");
        }
        Put("]");
    }
    if (s->exact) Put(Exact(s) ? ",\"exact\":true" : ",\"exact\":false");
    Put(",\"lines\":");
    PutNumber(s->lines);
    Put(",\"lines_without_address\":");
    PutNumber(s->withoutAddress);
    Put(",\"unread_lines\":[");
    for (SIZE_T k = 0; k < s->withoutAddress && k < UnreadShown; ++k) {
        Put(k ? ",{\"line\":" : "{\"line\":");
        PutNumber(s->unread[k].number);
        Put(",\"text\":");
        PutJsonString(s->unread[k].text);
        Put("}");
    }
    Put("]}\n");
}

static const char *ResultOf(const Score *s, UINT32 k, const Target &t)
{
    switch (s->role[k]) {
    case RoleExpected: return s->hit[k] ? "found" : MissedAcross(s, k, t) ? "missed-across-regions" : "missed";
    case RoleNotHolding: return "not-holding";
    case RoleNotSearched: return "not-searched";
    case RoleNearMiss: return "near-miss";
    default: return "";
    }
}

static UINT32 WriteCsv(const Score *s, const Target *targets, UINT32 count, UINT32 digits)
{
    static const Column columns[] = {{"result", FALSE}, {"kind", FALSE}, {"slot", TRUE},  {"name", FALSE},
                                     {"size", TRUE},    {"address", FALSE}, {"type", FALSE}};
    BeginSheet(columns, 7);
    for (UINT32 k = 0; k < count; ++k) {
        if (s->role[k] != RoleExpected && !s->hit[k]) continue;
        UINT32 row = AddRow();
        SetCell(row, 0, ResultOf(s, k, targets[k]));
        SetTargetCells(row, 1, targets[k], digits);
        SetCell(row, 6, TypeName(targets[k].plant ? (UINT32)targets[k].plant->type : (UINT32)TypeU32));
    }
    if (!SheetComplete()) return Fail("out of memory for the score");
    WriteSheet(FormatCsv);
    for (SIZE_T k = 0; k < s->otherCount; ++k) {
        Put("not-target,,,,,");
        Put(AddressText(s->others[k], digits));
        Put(",\n");
    }
    return ExitOk;
}

// "N found address(es) WHAT: " and the first eight of them (all with --exact,
// where each is a fault).
static void PutSomeAddresses(SIZE_T n, const char *what, const UINT64 *addresses, UINT32 digits, BOOL all)
{
    PutNumber(n);
    Put(n == 1 ? " found address is " : " found addresses are ");
    Put(what);
    SIZE_T shown = all || n <= 8 ? n : 8;
    for (SIZE_T k = 0; k < shown; ++k) {
        Put(k ? " " : ": ");
        Put(AddressText(addresses[k], digits));
    }
    Put(shown < n ? " ...\n" : "\n");
}

// Found targets of one role, a line each: the first eight (all with --exact).
static void PutFound(const Score *s, const Target *targets, UINT32 count, UINT32 digits, UINT32 role, const char *what)
{
    UINT32 n = 0;
    for (UINT32 k = 0; k < count; ++k) n += s->role[k] == role && s->hit[k];
    if (!n) return;
    PutNumber(n);
    Put(n == 1 ? " found address is " : " found addresses are ");
    Put(what);
    Put(":\n");
    UINT32 shown = 0;
    for (UINT32 k = 0; k < count && (s->exact || shown < 8); ++k) {
        if (s->role[k] != role || !s->hit[k]) continue;
        ++shown;
        Put("  ");
        Put(AddressText(targets[k].address, digits));
        Put(" ");
        PutWhich(targets[k]);
        Put("\n");
    }
    if (shown < n) Put("  ... and "), PutNumber(n - shown), Put(" more\n");
}

// "N found address(es) is/are a target that does not hold V: A B ...".
static void PutNotHolding(const Score *s, const Target *targets, UINT32 count, UINT32 digits)
{
    PutNumber(s->notHolding);
    Put(s->notHolding == 1 ? " found address is a target that does not hold "
                           : " found addresses are targets that do not hold ");
    PutValue(&s->search);
    UINT32 shown = 0;
    for (UINT32 k = 0; k < count && (s->exact || shown < 8); ++k) {
        if (s->role[k] != RoleNotHolding || !s->hit[k]) continue;
        Put(shown++ ? " " : ": ");
        Put(AddressText(targets[k].address, digits));
    }
    Put(shown < s->notHolding ? " ...\n" : "\n");
}

static void WriteText(const Score *s, const Target *targets, UINT32 count, UINT32 digits)
{
    Put("found ");
    PutNumber(Sum(s->found));
    Put(" of ");
    PutNumber(Sum(s->expected));
    Put(s->search.haveValue ? " targets holding " : " targets");
    if (s->search.haveValue) PutValue(&s->search);
    Put("\n");
    for (UINT32 kind = 0; kind < 5; ++kind) {
        if (kind >= 3 && !s->expected[kind]) continue;
        Put("  ");
        Put(KindNames[kind]);
        PutSpaces(TextLength(KindNames[kind]) < 8 ? 8 - TextLength(KindNames[kind]) : 1);
        PutNumber(s->found[kind]);
        Put(" of ");
        PutNumber(s->expected[kind]);
        Put("\n");
        for (UINT32 c = 0; kind == KindPlanted && c < CaseCount; ++c) {
            if (!s->caseExpected[c]) continue;
            Put("    planted ");
            Put(CaseNames[c]);
            PutSpaces(16 - TextLength(CaseNames[c]));
            PutNumber(s->caseFound[c]);
            Put(" of ");
            PutNumber(s->caseExpected[c]);
            Put("\n");
        }
    }
    for (UINT32 k = 0; k < count; ++k) {
        const Target &t = targets[k];
        if (s->role[k] != RoleExpected || s->hit[k]) continue;
        Put("missed ");
        Put(AddressText(t.address, digits));
        Put(" ");
        PutWhich(t);
        if (MissedAcross(s, k, t)) Put(": "), Put(AcrossReason);
        Put("\n");
    }
    // The first few of each; --json and --csv give them all.
    if (s->search.haveValue) PutNotHolding(s, targets, count, digits);
    PutFound(s, targets, count, digits, RoleNotSearched, "targets not searched for");
    PutFound(s, targets, count, digits, RoleNearMiss, "near misses: close to the value, never it");
    PutSomeAddresses(s->otherCount, "no target", s->others, digits, s->exact);
    PutNumber(s->withoutAddress);
    Put(s->withoutAddress == 1 ? " line holds no address of Vantoriel's" : " lines hold no address of Vantoriel's");
    Put(s->withoutAddress ? ":\n" : "\n");
    for (SIZE_T k = 0; k < s->withoutAddress && k < UnreadShown; ++k) {
        Put("  line ");
        PutNumber(s->unread[k].number);
        Put(": ");
        Put(s->unread[k].text);
        Put("\n");
    }
    if (s->withoutAddress > UnreadShown) {
        Put("  ... and ");
        PutNumber(s->withoutAddress - UnreadShown);
        Put(" more\n");
    }
    if (s->exact)
        Put(Exact(s) ? "exact: nothing was found but expected targets\n"
                     : "not exact: the findings hold more than the expected targets\n");
}

// The error line of a score with a value against targets that cannot be
// read: whether they hold it is unknown.
static UINT32 UnreadableTargets(const Score *s, const Target *targets, UINT32 count, UINT32 digits)
{
    BeginError();
    Put("cannot score against ");
    PutValue(&s->search);
    Put(": ");
    PutNumber(s->unreadable);
    Put(s->unreadable == 1 ? " target cannot be read:" : " targets cannot be read:");
    UINT32 shown = 0;
    for (UINT32 k = 0; k < count && shown < 16; ++k)
        if (s->role[k] == RoleUnknown) Put(" "), Put(AddressText(targets[k].address, digits)), ++shown;
    if (shown < s->unreadable) Put(" ...");
    return EndError();
}

UINT32 ScoreFindings(const Target *targets, UINT32 count, Findings *findings, BOOL haveValue, UINT32 value,
                     BOOL exact, UINT32 digits, UINT32 format, const WCHAR *source, const TypedValue *typed)
{
    Search search = {haveValue || typed, value, typed};
    static Score s;
    UINT32 result = ExitOk;
    if (!CountScore(targets, count, findings, &search, &s)) {
        result = Fail("out of memory for the score");
    } else if (s.exact = exact, s.unreadable) {
        result = UnreadableTargets(&s, targets, count, digits);
    } else if (s.lines == 0) {
        BeginError();
        Put("no address in the findings ");
        if (source) PutWide(source);
        else Put("from standard input");
        result = EndError();
    } else if (Sum(s.expected) == 0) {
        BeginError();
        Put("no target holds ");
        PutValue(&search);
        result = EndError();
    } else {
        if (format == FormatJson) WriteJson(&s, targets, count, digits);
        else if (format == FormatCsv) result = WriteCsv(&s, targets, count, digits);
        else WriteText(&s, targets, count, digits);
        if (result == ExitOk) result = s.missed || (exact && !Exact(&s)) ? ExitMissed : ExitOk;
    }
    FreeScore(&s);
    return result;
}
