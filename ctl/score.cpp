// score.cpp: a scanner's findings against the targets.
#include "ctl/score.h"
#include "ctl/output.h"
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

void CountScore(const Target *targets, UINT32 count, Findings *findings, BOOL haveValue, UINT32 value, Score *score)
{
    *score = {};
    score->haveValue = haveValue;
    score->value = value;
    score->lines = findings->lines;
    score->withoutAddress = findings->withoutAddress;
    score->unread = findings->unread;
    for (UINT32 k = 0; k < count; ++k) {
        const Target &t = targets[k];
        score->hit[k] = Contains(findings->addresses, findings->count, t.address);
        // Memory that cannot be read holds V or not: nobody knows.
        score->counts[k] = !haveValue || (t.readable && t.memory == value);
        if (haveValue && !t.readable) {
            ++score->unreadable;
            continue;
        }
        if (!score->counts[k]) {
            score->notHolding += score->hit[k];
            continue;
        }
        ++score->expected[t.kind];
        if (score->hit[k]) ++score->found[t.kind];
        else ++score->missed;
    }
    // The addresses that are no target, in place.
    UINT64 sorted[MaxTargets];
    for (UINT32 k = 0; k < count; ++k) sorted[k] = targets[k].address;
    SortNumbers(sorted, count);
    SIZE_T others = 0;
    for (SIZE_T a = 0; a < findings->count; ++a)
        if (!Contains(sorted, count, findings->addresses[a])) findings->addresses[others++] = findings->addresses[a];
    findings->count = others;
    score->others = findings->addresses;
    score->otherCount = others;
}

static UINT32 Sum(const UINT32 *byKind)
{
    return byKind[0] + byKind[1] + byKind[2];
}

// Nothing but expected targets in the findings: every line that is not
// blank gave an address, and each is a target that holds V.
static BOOL Exact(const Score *s)
{
    return !s->otherCount && !s->notHolding && !s->withoutAddress;
}

// "missed", "not-holding": the targets of one outcome, as a JSON array.
static void PutTargetArray(const Score *s, const Target *targets, UINT32 count, UINT32 digits, BOOL missed)
{
    Put("[");
    const char *separator = "";
    for (UINT32 k = 0; k < count; ++k) {
        if (missed ? !s->counts[k] || s->hit[k] : s->counts[k] || !s->hit[k]) continue;
        Put(separator);
        separator = ",";
        PutJsonString(AddressText(targets[k].address, digits));
    }
    Put("]");
}

static void WriteJson(const Score *s, const Target *targets, UINT32 count, UINT32 digits)
{
    Put("{");
    if (s->haveValue) {
        Put("\"value\":");
        PutNumber(s->value);
        Put(",");
    }
    Put("\"expected\":");
    PutNumber(Sum(s->expected));
    Put(",\"found\":");
    PutNumber(Sum(s->found));
    for (UINT32 kind = 0; kind < 3; ++kind) {
        Put(",\"");
        Put(KindNames[kind]);
        Put("\":{\"expected\":");
        PutNumber(s->expected[kind]);
        Put(",\"found\":");
        PutNumber(s->found[kind]);
        Put("}");
    }
    Put(",\"missed\":");
    PutTargetArray(s, targets, count, digits, TRUE);
    Put(",\"not_holding\":");
    PutTargetArray(s, targets, count, digits, FALSE);
    Put(",\"not_targets\":[");
    for (SIZE_T k = 0; k < s->otherCount; ++k) {
        Put(k ? "," : "");
        PutJsonString(AddressText(s->others[k], digits));
    }
    Put("]");
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

static void WriteCsv(const Score *s, const Target *targets, UINT32 count, UINT32 digits)
{
    static const Column columns[] = {{"result", FALSE}, {"kind", FALSE}, {"slot", TRUE}, {"name", FALSE},
                                     {"size", TRUE},    {"address", FALSE}};
    BeginSheet(columns, 6);
    for (UINT32 k = 0; k < count; ++k) {
        if (!s->counts[k] && !s->hit[k]) continue;
        UINT32 row = AddRow();
        SetCell(row, 0, !s->counts[k] ? "not-holding" : s->hit[k] ? "found" : "missed");
        SetTargetCells(row, 1, targets[k], digits);
    }
    WriteSheet(FormatCsv);
    for (SIZE_T k = 0; k < s->otherCount; ++k) {
        Put("not-target,,,,,");
        Put(AddressText(s->others[k], digits));
        Put("\n");
    }
}

// "N found address(es) WHAT: " and the first eight of them (all with --exact,
// where each is a fault).
static void PutSomeAddresses(SIZE_T n, const char *what, const char *value, const UINT64 *addresses, UINT32 digits,
                             BOOL all)
{
    PutNumber(n);
    Put(n == 1 ? " found address is " : " found addresses are ");
    Put(what);
    Put(value);
    SIZE_T shown = all || n <= 8 ? n : 8;
    for (SIZE_T k = 0; k < shown; ++k) {
        Put(k ? " " : ": ");
        Put(AddressText(addresses[k], digits));
    }
    Put(shown < n ? " ...\n" : "\n");
}

static void WriteText(const Score *s, const Target *targets, UINT32 count, UINT32 digits)
{
    Put("found ");
    PutNumber(Sum(s->found));
    Put(" of ");
    PutNumber(Sum(s->expected));
    Put(s->haveValue ? " targets holding " : " targets");
    if (s->haveValue) PutNumber(s->value);
    Put("\n");
    for (UINT32 kind = 0; kind < 3; ++kind) {
        Put("  ");
        Put(KindNames[kind]);
        PutSpaces(8 - TextLength(KindNames[kind]));
        PutNumber(s->found[kind]);
        Put(" of ");
        PutNumber(s->expected[kind]);
        Put("\n");
    }
    UINT64 holding[MaxTargets];
    UINT32 notHolding = 0;
    for (UINT32 k = 0; k < count; ++k) {
        const Target &t = targets[k];
        if (!s->counts[k] && s->hit[k]) holding[notHolding++] = t.address;
        if (!s->counts[k] || s->hit[k]) continue;
        Put("missed ");
        Put(AddressText(t.address, digits));
        Put(" ");
        Put(KindNames[t.kind]);
        if (t.kind == KindMapped) {
            Put(" slot ");
            PutNumber(t.index);
        } else if (t.kind == KindStatic) {
            Put(" ");
            Put(StaticNames[t.index]);
        } else if (t.index < 6) {
            Put(" ");
            Put(HeapNames[t.index]);
            Put(" ");
            PutNumber(HeapSizes[t.index]);
        }
        Put("\n");
    }
    // The first few of each; --json and --csv give them all.
    if (s->haveValue)
        PutSomeAddresses(notHolding, notHolding == 1 ? "a target that does not hold " : "targets that do not hold ",
                         NumberText(s->value), holding, digits, s->exact);
    PutSomeAddresses(s->otherCount, "no target", "", s->others, digits, s->exact);
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
    PutNumber(s->value);
    Put(": ");
    PutNumber(s->unreadable);
    Put(s->unreadable == 1 ? " target cannot be read:" : " targets cannot be read:");
    for (UINT32 k = 0; k < count; ++k)
        if (!targets[k].readable) Put(" "), Put(AddressText(targets[k].address, digits));
    return EndError();
}

UINT32 ScoreFindings(const Target *targets, UINT32 count, Findings *findings, BOOL haveValue, UINT32 value,
                     BOOL exact, UINT32 digits, UINT32 format, const WCHAR *source)
{
    static Score s;
    CountScore(targets, count, findings, haveValue, value, &s);
    s.exact = exact;
    if (s.unreadable) return UnreadableTargets(&s, targets, count, digits);
    if (s.lines == 0) {
        BeginError();
        Put("no address in the findings ");
        if (source) PutWide(source);
        else Put("from standard input");
        return EndError();
    }
    if (Sum(s.expected) == 0) return Fail("no target holds ", NumberText(value));
    if (format == FormatJson) WriteJson(&s, targets, count, digits);
    else if (format == FormatCsv) WriteCsv(&s, targets, count, digits);
    else WriteText(&s, targets, count, digits);
    return s.missed || (exact && !Exact(&s)) ? ExitMissed : ExitOk;
}
