// checks.cpp: snapshot, changes and watch against a running Vantoriel.
#include "ctl/checks.h"
#include "ctl/memory.h"
#include "ctl/output.h"
#include "ctl/platform.h"
#include "ctl/sheet.h"

// Reads the bytes of each target (from address - before, before + size +
// after of them) into bytes, one after the other, and points its now at
// them; null where they cannot be read. Targets whose bytes lie side by side
// (a dense plant's copies), or close together in one region, are read
// together, and all in one call. False when that call outlived its bound.
static BOOL ReadNow(HANDLE process, Watched *w, UINT32 count, BYTE *bytes)
{
    enum : UINT64 { Most = 1u << 20, Gap = 8192 };
    static ReadPiece *pieces, *retry;
    static UINT32 *firsts, *retryOf, capacity;
    static SIZE_T *retryAt;
    static BYTE *scratch;
    static SIZE_T scratchCapacity;
    if (count + 1 > capacity) {
        ReadPiece *p = (ReadPiece *)GrowBlock(pieces, (SIZE_T)(count + 1) * sizeof(ReadPiece));
        if (p) pieces = p;
        UINT32 *f = (UINT32 *)GrowBlock(firsts, (SIZE_T)(count + 2) * sizeof(UINT32));
        if (f) firsts = f;
        ReadPiece *q = (ReadPiece *)GrowBlock(retry, (SIZE_T)(count + 1) * sizeof(ReadPiece));
        if (q) retry = q;
        UINT32 *o = (UINT32 *)GrowBlock(retryOf, (SIZE_T)(count + 1) * sizeof(UINT32));
        if (o) retryOf = o;
        SIZE_T *a = (SIZE_T *)GrowBlock(retryAt, (SIZE_T)(count + 1) * sizeof(SIZE_T));
        if (a) retryAt = a;
        if (!p || !f || !q || !o || !a) return FALSE;
        capacity = count + 1;
    }
    // The groups, and the room their spans need.
    UINT32 groups = 0;
    SIZE_T span = 0;
    for (UINT32 k = 0; k < count;) {
        UINT64 from = w[k].address - w[k].before, to = w[k].address + w[k].size + w[k].after;
        UINT32 next = k + 1;
        for (; next < count; ++next) {
            UINT64 start = w[next].address - w[next].before, end = w[next].address + w[next].size + w[next].after;
            BOOL sameRegion = w[k].high && w[next].low == w[k].low && w[next].high == w[k].high;
            if (!(start == to || (sameRegion && start >= to && start - to <= Gap)) || end - from > Most) break;
            to = end;
        }
        firsts[groups] = k;
        pieces[groups].address = from;
        pieces[groups].size = to - from;
        span += (SIZE_T)(to - from);
        ++groups;
        k = next;
    }
    firsts[groups] = count;
    if (span > scratchCapacity) {
        BYTE *bigger = (BYTE *)GrowBlock(scratch, span);
        if (!bigger) return FALSE;
        scratch = bigger, scratchCapacity = span;
    }
    span = 0;
    for (UINT32 g = 0; g < groups; ++g) pieces[g].bytes = scratch + span, span += (SIZE_T)pieces[g].size;
    if (!ReadMemoryList(process, pieces, groups)) return FALSE;
    // Each target's bytes from its group's; those of a group that failed
    // are read again each alone, into their places.
    SIZE_T used = 0;
    UINT32 retries = 0;
    for (UINT32 g = 0; g < groups; ++g) {
        BOOL alone = !pieces[g].ok && firsts[g + 1] - firsts[g] > 1;
        for (UINT32 j = firsts[g]; j < firsts[g + 1]; ++j) {
            UINT64 from = w[j].address - w[j].before;
            SIZE_T size = w[j].before + w[j].size + w[j].after;
            const BYTE *source = (const BYTE *)pieces[g].bytes + (from - pieces[g].address);
            volatile BYTE *target = bytes + used; // a copying loop would become a library call
            for (SIZE_T b = 0; pieces[g].ok && b < size; ++b) target[b] = source[b];
            w[j].now = pieces[g].ok ? bytes + used : nullptr;
            if (alone) {
                // Into the group's own scratch: a read that outlives its
                // bound may still write there, never into the caller's.
                ReadPiece &r = retry[retries];
                r.address = from, r.size = size, r.bytes = (BYTE *)pieces[g].bytes + (from - pieces[g].address);
                retryAt[retries] = used;
                retryOf[retries++] = j;
            }
            used += size;
        }
    }
    if (retries && !ReadMemoryList(process, retry, retries)) return FALSE;
    for (UINT32 r = 0; r < retries; ++r) {
        volatile BYTE *target = bytes + retryAt[r];
        for (SIZE_T b = 0; retry[r].ok && b < retry[r].size; ++b) target[b] = ((const BYTE *)retry[r].bytes)[b];
        w[retryOf[r]].now = retry[r].ok ? bytes + retryAt[r] : nullptr;
    }
    return TRUE;
}

// A target as the checks watch it, its own bytes alone.
static void WatchedOf(const Target &t, Watched *w)
{
    w->address = t.address;
    w->kind = t.kind;
    w->slot = t.kind == KindMapped ? t.index : 0xFFFFFFFF;
    w->name = TargetName(t);
    w->type = t.plant ? (UINT32)t.plant->type : (UINT32)TypeU32;
    w->size = t.plant ? t.plant->size : 4;
    w->before = w->after = 0;
    w->low = t.low, w->high = t.high;
}

static SIZE_T TotalBytes(const Watched *w, UINT32 count)
{
    SIZE_T total = 0;
    for (UINT32 k = 0; k < count; ++k) total += w[k].before + w[k].size + w[k].after;
    return total;
}

// ----------------------------------------------------------------- snapshot

UINT32 SnapshotVerb(const Request *request, const Remote *remote, const Target *targets, UINT32 count,
                    const Module *image)
{
    UINT32 digits = remote->build->addressDigits;
    UINT64 statics[4];
    UINT32 staticCount = 0;
    for (UINT32 k = 0; k < count && staticCount < 4; ++k)
        if (targets[k].kind == KindStatic) statics[staticCount++] = targets[k].address;
    Watched *w = (Watched *)GrowBlock(nullptr, (SIZE_T)count * sizeof(Watched) + 1);
    if (!w) return Fail("out of memory for the snapshot");
    for (UINT32 k = 0; k < count; ++k) {
        const Target &t = targets[k];
        WatchedOf(t, &w[k]);
        AroundOf(t, t.low, t.high, statics, staticCount, &w[k].before, &w[k].after);
    }
    BYTE *bytes = (BYTE *)GrowBlock(nullptr, TotalBytes(w, count) + 1);
    UINT32 result = ExitOk;
    if (!bytes) result = Fail("out of memory for the snapshot");
    else if (!ReadNow(remote->process, w, count, bytes))
        result = Fail(MemoryStuck() ? MemoryStuckText : "out of memory for the snapshot", "; no snapshot was written");
    for (UINT32 k = 0; result == ExitOk && k < count; ++k) {
        w[k].then = w[k].now;
        if (w[k].now) continue;
        char text[120];
        DescribeTarget(w[k], digits, text, sizeof text);
        result = Fail(text, " cannot be read; no snapshot was written");
    }
    if (result == ExitOk) {
        SnapshotHeader h = {remote->pid, ProcessStart(remote->process), remote->build->program, image->name,
                            image->base, image->size, count};
        const WCHAR *path = request->values[OptOut];
        if (path) BeginCapture();
        PutSnapshotHeader(h, digits);
        for (UINT32 k = 0; k < count; ++k) PutSnapshotTarget(w[k], digits);
        if (path) {
            SIZE_T length = 0;
            char *document = EndCapture(&length);
            if (!document) {
                result = Fail("out of memory for the snapshot; no snapshot was written");
            } else if (!WriteWholeFile(path, document, length)) {
                DWORD error = GetLastError();
                BeginError();
                Put("the snapshot could not be written whole to ");
                PutWide(path);
                Put(": error ");
                PutNumber(error);
                result = EndError();
            } else {
                Put("snapshot of ");
                PutNumber(count);
                Put(" targets of ");
                Put(remote->build->program);
                Put(" (process ");
                PutNumber(remote->pid);
                Put(") written to ");
                PutWide(path);
                Put("\n");
            }
            FreeBlock(document);
        }
    }
    FreeBlock(bytes);
    FreeBlock(w);
    return result;
}

// ------------------------------------------------------------------ changes

// The text of an expectation that was refused.
static UINT32 ExpectRefused(const WCHAR *text, UINT32 read, UINT32 why, const Expectation &e)
{
    BeginError();
    Put("--expect ");
    PutWide(text);
    switch (read) {
    case ExpectMalformed: Put(" is not ADDRESS=VALUE[:TYPE]"); break;
    case ExpectNoAddress: Put(" names no address of Vantoriel's"); break;
    case ExpectNoTarget: Put(" names no target of the snapshot"); break;
    case ExpectUnknownType: Put(" names an unknown type (see vantoriel-ctl --help)"); break;
    case ExpectTwice: Put(" names a target expected before"); break;
    case ExpectTooWide: Put(": its value runs past the bytes the snapshot holds of that target"); break;
    case ExpectAlreadyHeld: Put(": the target held that value in the snapshot, so its write cannot be seen"); break;
    case ExpectTooLong: Put(": the value is longer than any value's text"); break;
    default:
        Put(why == ValueOutOfRange    ? ": the value is out of the range of "
            : why == ValueNotFinite   ? ": the value is no finite number, as "
            : why == ValueTooLong     ? ": the value is longer than 64 bytes, as "
                                      : ": the value is no value of type ");
        Put(TypeName(e.value.type));
        Put(why == ValueNotFinite ? " needs" : "");
    }
    Put("; nothing was compared");
    return EndError();
}

static const char *ResultText(const Difference &d, UINT32 expectCount)
{
    if (!expectCount) return "changed";
    if (d.part == PartTarget && d.expectation != 0xFFFFFFFF) return d.why == WhyAsExpected ? "expected" : "wrong";
    return "unexpected";
}

UINT32 ChangesVerb(const Request *request, const Remote *remote, Snapshot *s, UINT32 format)
{
    UINT32 digits = remote->build->addressDigits;
    UINT64 start = ProcessStart(remote->process);
    const char *program = remote->build->program, *named = s->header.program;
    while (*program && *program == *named) ++program, ++named;
    if (start != s->header.start || *program != *named) {
        BeginError();
        Put("the snapshot is of another start of process ");
        PutNumber(s->header.pid);
        Put(" (it was started at ");
        Put(AddressText(s->header.start, 16));
        Put(", this one at ");
        Put(AddressText(start, 16));
        Put("); nothing was compared");
        return EndError();
    }
    Module module = {s->header.module, s->header.base, s->header.image};
    static Expectation *expected;
    expected = (Expectation *)GrowBlock(expected, (SIZE_T)request->expectCount * sizeof(Expectation) + 1);
    if (!expected) return Fail("out of memory for the expectations");
    for (UINT32 j = 0; j < request->expectCount; ++j) {
        UINT32 why = 0;
        UINT32 read = ReadExpectation(request->expects[j], s->targets, s->count, &module, expected, j, &expected[j], &why);
        if (read != ExpectOk) return ExpectRefused(request->expects[j], read, why, expected[j]);
    }
    BYTE *bytes = (BYTE *)GrowBlock(nullptr, TotalBytes(s->targets, s->count) + 1);
    if (!bytes) return Fail("out of memory for the comparison");
    if (!ReadNow(remote->process, s->targets, s->count, bytes)) {
        FreeBlock(bytes);
        return Fail(MemoryStuck() ? MemoryStuckText : "out of memory for the comparison", "; nothing was compared");
    }
    Comparison c;
    UINT32 result = ExitOk;
    if (!Compare(s->targets, s->count, expected, request->expectCount, &c)) result = Fail("out of memory for the comparison");
    static const Column columns[] = {{"result", FALSE}, {"kind", FALSE},  {"slot", TRUE},       {"name", FALSE},
                                     {"address", FALSE}, {"part", FALSE},  {"at", FALSE},        {"type", FALSE},
                                     {"then", FALSE},   {"now", FALSE},   {"value_then", TRUE}, {"value_now", TRUE},
                                     {"note", FALSE}};
    static const char *const parts[] = {"target", "before", "after", "rest"};
    static char note[512], hex[2][2 * 8192 + 2], value[2][ValueTextMax];
    if (result == ExitOk && format != FormatText) BeginSheet(columns, 13);
    for (UINT32 r = 0; result == ExitOk && r < c.count; ++r) {
        const Difference &d = c.rows[r];
        const Watched &w = s->targets[d.target];
        DifferenceText(d, s->targets, expected, digits, note, sizeof note);
        if (format == FormatText) {
            Put(ResultText(d, request->expectCount));
            Put(": ");
            if (d.part == PartTarget) DescribeTarget(w, digits, value[0], sizeof value[0]), Put(value[0]), Put(" ");
            Put(note);
            // The bytes, the first 16 of a longer span.
            UINT32 shown = d.to - d.from < 16 ? d.to - d.from : 16;
            HexOf(w.then + d.from, shown, hex[0]);
            Put(" [");
            Put(hex[0]);
            if (w.now) HexOf(w.now + d.from, shown, hex[1]), Put(" -> "), Put(hex[1]);
            Put(shown < d.to - d.from ? " ...]" : "]");
            if (w.kind == KindPlanted) Put(" (case "), Put(w.name), Put(")");
            Put("\n");
            continue;
        }
        UINT32 row = AddRow();
        SetCell(row, 0, ResultText(d, request->expectCount));
        SetCell(row, 1, KindNames[w.kind]);
        if (w.slot != 0xFFFFFFFF) SetCell(row, 2, NumberText(w.slot));
        SetCell(row, 3, w.name);
        SetCell(row, 4, AddressText(w.address, digits));
        SetCell(row, 5, parts[d.part]);
        SetCell(row, 6, AddressText(w.address - w.before + d.from, digits));
        UINT32 type = d.expectation != 0xFFFFFFFF ? expected[d.expectation].value.type : w.type;
        UINT32 size = d.expectation != 0xFFFFFFFF ? expected[d.expectation].value.size : w.size;
        SetCell(row, 7, TypeName(type));
        HexOf(w.then + d.from, d.to - d.from, hex[0]);
        SetCell(row, 8, hex[0]);
        if (w.now) HexOf(w.now + d.from, d.to - d.from, hex[1]), SetCell(row, 9, hex[1]);
        if (d.part == PartTarget) {
            ValueText(w.then + w.before, type, size, value[0], ValueTextMax);
            SetCell(row, 10, value[0]);
            if (w.now) ValueText(w.now + w.before, type, size, value[1], ValueTextMax), SetCell(row, 11, value[1]);
        }
        SetCell(row, 12, note);
    }
    if (result == ExitOk && format != FormatText) {
        if (!SheetComplete()) result = Fail("out of memory for the changes");
        else WriteSheet(format);
    }
    if (result == ExitOk) {
        result = ComparisonExit(&c, request->expectCount);
        if (format == FormatJson) {
            Put("{\"kind\":\"verdict\",\"targets\":");
            PutNumber(s->count);
            Put(",\"changed\":");
            PutNumber(c.changed);
            if (request->expectCount) {
                Put(",\"expected\":");
                PutNumber(request->expectCount);
                Put(",\"met\":");
                PutNumber(c.met);
                Put(",\"unexpected\":");
                PutNumber(c.unexpected);
            }
            Put(",\"exact\":");
            Put(result == ExitOk ? "true" : "false");
            Put("}\n");
        } else if (format == FormatText) {
            if (request->expectCount) {
                PutNumber(c.met);
                Put(" of ");
                PutNumber(request->expectCount);
                Put(" expected writes as expected; ");
                PutNumber(c.unexpected);
                Put(c.unexpected == 1 ? " other change\n" : " other changes\n");
                Put(result == ExitOk ? "exact: the expected writes and nothing else\n"
                                     : "not exact: see above\n");
            } else if (c.changed) {
                PutNumber(c.changed);
                Put(c.changed == 1 ? " of " : " of ");
                PutNumber(s->count);
                Put(" targets changed\n");
            } else {
                Put("nothing changed in ");
                PutNumber(s->count);
                Put(" targets\n");
            }
        }
    }
    FreeComparison(&c);
    FreeBlock(bytes);
    return result;
}

// -------------------------------------------------------------------- watch

// A time since the start, in seconds with three decimals.
static const char *SecondsText(UINT64 microseconds)
{
    static char text[32];
    UINT64 ms = microseconds / 1000;
    const char *whole = NumberText(ms / 1000);
    UINT32 n = 0;
    for (; whole[n]; ++n) text[n] = whole[n];
    text[n++] = '.';
    text[n++] = (char)('0' + ms / 100 % 10);
    text[n++] = (char)('0' + ms / 10 % 10);
    text[n++] = (char)('0' + ms % 10);
    text[n] = 0;
    return text;
}

// Milliseconds with one decimal, from microseconds.
static const char *MillisecondsText(UINT64 microseconds)
{
    static char text[2][32];
    static UINT32 turn;
    char *t = text[turn++ & 1];
    UINT64 tenths = (microseconds + 50) / 100;
    const char *whole = NumberText(tenths / 10);
    UINT32 n = 0;
    for (; whole[n]; ++n) t[n] = whole[n];
    t[n++] = '.';
    t[n++] = (char)('0' + tenths % 10);
    t[n] = 0;
    return t;
}

// One event of a watch, printed at once: a write of set's, or a change seen.
static void PutEvent(UINT32 format, const char *event, UINT64 at, const Target &t, UINT32 type, UINT32 size,
                     const BYTE *before, const BYTE *after, UINT32 digits)
{
    char then[ValueTextMax], now[ValueTextMax];
    if (before) ValueText(before, type, size, then, sizeof then);
    else then[0] = 0;
    if (after) ValueText(after, type, size, now, sizeof now);
    else now[0] = 0;
    if (format == FormatJson) {
        Put("{\"kind\":");
        PutJsonString(event);
        Put(",\"seconds\":");
        Put(SecondsText(at));
        Put(",\"address\":\"");
        Put(AddressText(t.address, digits));
        Put("\",\"target\":");
        PutJsonString(KindNames[t.kind]);
        if (t.kind == KindMapped) Put(",\"slot\":"), PutNumber(t.index);
        if (*TargetName(t)) Put(",\"name\":"), PutJsonString(TargetName(t));
        Put(",\"type\":");
        PutJsonString(TypeName(type));
        if (before) Put(",\"before\":"), PutJsonString(then);
        if (after) Put(",\"after\":"), PutJsonString(now);
        if (!after) Put(",\"readable\":false");
        Put("}\n");
    } else if (format == FormatCsv) {
        Put(event);
        Put(",");
        Put(SecondsText(at));
        Put(",");
        Put(AddressText(t.address, digits));
        Put(",");
        Put(KindNames[t.kind]);
        Put(",");
        if (t.kind == KindMapped) PutNumber(t.index);
        Put(",");
        Put(TargetName(t));
        Put(",");
        Put(TypeName(type));
        Put(",\"");
        Put(then);
        Put("\",\"");
        Put(after ? now : "unreadable");
        Put("\"\n");
    } else {
        const char *seconds = SecondsText(at);
        PutSpaces(TextLength(seconds) < 9 ? 9 - TextLength(seconds) : 0);
        Put(seconds);
        Put(" s  ");
        Put(event);
        PutSpaces(TextLength(event) < 6 ? 7 - TextLength(event) : 1);
        Put(AddressText(t.address, digits));
        Put(" ");
        Put(KindNames[t.kind]);
        if (*TargetName(t)) Put(" "), Put(TargetName(t));
        if (t.kind == KindMapped) Put(" "), PutNumber(t.index);
        Put(" ");
        Put(TypeName(type));
        Put(": ");
        Put(before ? then : "unreadable");
        Put(" -> ");
        Put(after ? now : "unreadable");
        Put("\n");
    }
}

// The error line of a Vantoriel that ended during a watch, after what it saw.
static UINT32 Ended(const Remote *remote, UINT64 at)
{
    Flush();
    BeginError();
    Put(remote->build->program);
    Put(" (process ");
    PutNumber(remote->pid);
    Put(") ended after ");
    Put(SecondsText(at));
    Put(" s of the watch; what it saw is above");
    return EndError();
}

UINT32 WatchVerb(const Request *request, const Remote *remote, const Target *targets, UINT32 count,
                 const BOOL *chosen, const Written *written, UINT32 writtenCount, UINT64 writtenAt, UINT32 format)
{
    UINT32 digits = remote->build->addressDigits;
    UINT32 n = 0;
    for (UINT32 k = 0; k < count; ++k) n += chosen[k] != 0;
    // The chosen targets' own bytes, as Watched without bytes around them.
    Watched *w = (Watched *)GrowBlock(nullptr, (SIZE_T)n * sizeof(Watched) + 1);
    UINT32 *which = (UINT32 *)GrowBlock(nullptr, (SIZE_T)n * sizeof(UINT32) + 1);
    if (!w || !which) {
        FreeBlock(w);
        FreeBlock(which);
        return Fail("out of memory for the watch", writtenCount ? "; what --set wrote stays written" : "");
    }
    for (UINT32 k = 0, j = 0; k < count; ++k) {
        if (!chosen[k]) continue;
        which[j] = k;
        WatchedOf(targets[k], &w[j++]);
    }
    SIZE_T total = TotalBytes(w, n);
    BYTE *last = (BYTE *)GrowBlock(nullptr, total + 1), *now = (BYTE *)GrowBlock(nullptr, total + 1);
    BYTE *known = (BYTE *)GrowBlock(nullptr, (SIZE_T)n + 1);
    UINT64 *periods = nullptr;
    SIZE_T periodCount = 0, periodCapacity = 0;
    UINT32 result = ExitOk;
    // An error after --set's write says that it stays.
    const char *stays = writtenCount ? "; what --set wrote stays written" : "";
    if (!last || !now || !known) result = Fail("out of memory for the watch", stays);
    UINT64 every = (UINT64)request->everyMs * 1000, bound = (UINT64)request->forSeconds * 1000000;
    UINT64 begin = Microseconds(), previous = begin, reads = 0, changes = 0;
    // What set wrote, at time 0, then what the targets hold after it.
    if (result == ExitOk) {
        if (format == FormatCsv) Put("event,seconds,address,kind,slot,name,type,before,after\n");
        if (format == FormatText) {
            Put("watching ");
            PutNumber(n);
            Put(n == 1 ? " target of " : " targets of ");
            Put(remote->build->program);
            Put(" (process ");
            PutNumber(remote->pid);
            Put(") every ");
            PutNumber(request->everyMs);
            Put(" ms for ");
            PutNumber(request->forSeconds);
            Put(" s; Ctrl+C ends it\n");
        }
        for (UINT32 k = 0; k < writtenCount; ++k) {
            const Written &x = written[k];
            PutEvent(format, "set", 0, targets[x.target], x.type, x.size, x.before, x.after, digits);
        }
        Flush();
        if (!ReadNow(remote->process, w, n, last))
            result = Fail(MemoryStuck() ? MemoryStuckText : "out of memory for the watch", stays);
        for (UINT32 j = 0; j < n; ++j) known[j] = w[j].now != nullptr;
        // What set wrote, not what the read found: a tool may have put its
        // value back already.
        SIZE_T offset = 0;
        for (UINT32 j = 0; j < n; offset += w[j++].size)
            for (UINT32 k = 0; k < writtenCount; ++k)
                if (written[k].target == which[j] && written[k].size == w[j].size) {
                    known[j] = TRUE;
                    for (UINT32 b = 0; b < w[j].size; ++b) last[offset + b] = written[k].after[b];
                }
        CatchInterrupt();
        begin = previous = writtenCount ? writtenAt : Microseconds();
    }
    BOOL interrupted = FALSE;
    for (UINT64 next = begin + every; result == ExitOk;) {
        // In slices of 100 ms at most: Ctrl+C ends a long period at once.
        UINT64 until = next < begin + bound ? next : begin + bound;
        for (UINT64 now = Microseconds(); now < until && !Interrupted(); now = Microseconds())
            WaitUntil(until - now > 100000 ? now + 100000 : until);
        if (Interrupted()) {
            interrupted = TRUE;
            break;
        }
        UINT64 at = Microseconds();
        if (WaitForSingleObject(remote->process, 0) == WAIT_OBJECT_0) {
            result = Ended(remote, at - begin);
            break;
        }
        if (at - begin >= bound) break;
        if (periodCount == periodCapacity) {
            SIZE_T more = periodCapacity ? 2 * periodCapacity : 4096;
            UINT64 *bigger = (UINT64 *)GrowBlock(periods, more * sizeof(UINT64));
            if (!bigger) {
                result = Fail("out of memory for the watch's periods", stays);
                break;
            }
            periods = bigger, periodCapacity = more;
        }
        periods[periodCount++] = at - previous;
        previous = at;
        ++reads;
        if (!ReadNow(remote->process, w, n, now)) {
            Flush();
            result = Fail(MemoryStuck() ? MemoryStuckText : "out of memory for the watch", "; what changed before is above", stays);
            break;
        }
        // Memory gone because Vantoriel ended during the read is no change.
        BOOL lost = FALSE;
        for (UINT32 j = 0; j < n; ++j) lost = lost || (known[j] && !w[j].now);
        if (lost && WaitForSingleObject(remote->process, 0) == WAIT_OBJECT_0) {
            result = Ended(remote, at - begin);
            break;
        }
        SIZE_T offset = 0;
        for (UINT32 j = 0; j < n; ++j) {
            const Watched &v = w[j];
            BOOL readable = v.now != nullptr, same = readable == (known[j] != 0);
            for (UINT32 b = 0; same && readable && b < v.size; ++b) same = last[offset + b] == now[offset + b];
            if (!same) {
                PutEvent(format, "change", at - begin, targets[which[j]], v.type, v.size, known[j] ? last + offset : nullptr,
                         readable ? now + offset : nullptr, digits);
                ++changes;
                known[j] = (BYTE)readable;
                for (UINT32 b = 0; readable && b < v.size; ++b) last[offset + b] = now[offset + b];
            }
            offset += v.size;
        }
        Flush();
        // A round that took longer than the period: the next one at once,
        // and no burst to catch up after it.
        next += every;
        UINT64 after = Microseconds();
        if (after > next) next = after;
    }
    if (result == ExitOk) {
        UINT64 ended = Microseconds() - begin;
        UINT64 median = periodCount ? Percentile(periods, periodCount, 50) : 0;
        UINT64 high = periodCount ? Percentile(periods, periodCount, 95) : 0;
        if (format == FormatJson) {
            Put("{\"kind\":\"summary\",\"seconds\":");
            Put(SecondsText(ended));
            Put(",\"targets\":");
            PutNumber(n);
            Put(",\"reads\":");
            PutNumber(reads);
            Put(",\"every_ms\":");
            PutNumber(request->everyMs);
            if (periodCount) {
                Put(",\"period_median_ms\":");
                Put(MillisecondsText(median));
                Put(",\"period_p95_ms\":");
                Put(MillisecondsText(high));
            }
            Put(",\"changes\":");
            PutNumber(changes);
            Put(",\"ended\":");
            Put(interrupted ? "\"interrupted\"" : "\"bound\"");
            Put("}\n");
        } else {
            Put(format == FormatCsv ? "# watched " : "watched ");
            Put(SecondsText(ended));
            Put(" s");
            Put(interrupted ? " (ended by Ctrl+C): " : ": ");
            PutNumber(reads);
            Put(reads == 1 ? " read" : " reads");
            if (periodCount) {
                Put(", period median ");
                Put(MillisecondsText(median));
                Put(" ms, 95th percentile ");
                Put(MillisecondsText(high));
                Put(" ms");
            }
            Put("; ");
            PutNumber(changes);
            Put(changes == 1 ? " change\n" : " changes\n");
        }
    }
    FreeBlock(periods);
    FreeBlock(known);
    FreeBlock(now);
    FreeBlock(last);
    FreeBlock(which);
    FreeBlock(w);
    return result;
}
