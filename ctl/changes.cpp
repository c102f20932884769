// changes.cpp: comparing the memory of targets then and now, and naming
// what a wrong write looks like.
#include "ctl/changes.h"
#include "ctl/findings.h"
#include "ctl/output.h"
#include "ctl/platform.h"

static UINT64 Least(UINT64 a, UINT64 b)
{
    return a < b ? a : b;
}

void AroundOf(const Target &t, UINT64 low, UINT64 high, const UINT64 *statics, UINT32 count, UINT32 *before,
              UINT32 *after)
{
    UINT32 size = t.plant ? t.plant->size : 4;
    UINT64 end = t.address + size;
    *before = *after = 0;
    if (t.kind == KindStatic) {
        UINT64 last = t.address + (t.index < 4 ? StaticSizes[t.index] : 4);
        for (UINT32 k = 0; k < count; ++k)
            if (statics[k] >= end) last = Least(last, statics[k]);
        *after = last > end ? (UINT32)(last - end) : 0;
    } else if (t.kind == KindHeap) {
        *after = t.index < 6 ? HeapSizes[t.index] - 4 : 0;
    } else if (!(t.kind == KindPlanted && t.index == CaseDense)) {
        // A guarded plant's page lies between pages that are never read.
        if (t.kind == KindPlanted && t.index == CaseGuarded) {
            low = t.address & ~(UINT64)(PageBytes - 1);
            high = low + PageBytes;
        }
        *before = low <= t.address ? (UINT32)Least(AroundBytes, t.address - low) : 0;
        *after = high >= end ? (UINT32)Least(AroundBytes, high - end) : 0;
    }
}

// ------------------------------------------------------------------ reading

UINT32 ReadExpectation(const WCHAR *text, const Watched *watched, UINT32 count, const Module *module,
                       const Expectation *before, UINT32 n, Expectation *e, UINT32 *why)
{
    const WCHAR *equals = text;
    while (*equals && *equals != '=') ++equals;
    if (!*equals || equals == text || !equals[1]) return ExpectMalformed;
    BOOL typed = FALSE;
    UINT32 type = 0, split = SplitTypedText(equals + 1, e->text, &typed, &type);
    if (split != TypedTextOk)
        return split == TypedTextEmpty ? ExpectMalformed : split == TypedTextTooLong ? ExpectTooLong : ExpectUnknownType;
    // The address as a line of findings is read, in UTF-8.
    static char line[3 * 32768];
    UINT32 length = 0;
    for (const WCHAR *p = text; p < equals;) length += NextUtf8(&p, line + length);
    UINT64 address;
    if (AddressOfLine(line, line + length, module, &address) != AddressFound) return ExpectNoAddress;
    UINT32 k = 0;
    while (k < count && watched[k].address != address) ++k;
    if (k == count) return ExpectNoTarget;
    for (UINT32 j = 0; j < n; ++j)
        if (before[j].target == k) return ExpectTwice;
    const Watched &w = watched[k];
    e->target = k;
    *why = ReadValue(e->text, typed ? type : w.type, &e->value);
    if (*why != ValueOk) return ExpectBadValue;
    if (e->value.size > w.size + w.after) return ExpectTooWide;
    if (SameValue(w.then + w.before, &e->value)) return ExpectAlreadyHeld;
    return ExpectOk;
}

// ---------------------------------------------------------------- comparing

static BOOL SameSpan(const BYTE *a, const BYTE *b, UINT32 from, UINT32 to)
{
    for (UINT32 k = from; k < to; ++k)
        if (a[k] != b[k]) return FALSE;
    return TRUE;
}

static const UINT32 None = 0xFFFFFFFF;

static BOOL AddRow(Comparison *c, UINT32 *capacity, const Difference &d)
{
    if (c->count == *capacity) {
        UINT32 more = *capacity ? 2 * *capacity : 256;
        Difference *bigger = (Difference *)GrowBlock(c->rows, (SIZE_T)more * sizeof(Difference));
        if (!bigger) return FALSE;
        c->rows = bigger, *capacity = more;
    }
    // Field by field: a whole copy may become a library call.
    Difference &r = c->rows[c->count++];
    r.target = d.target, r.part = d.part, r.why = d.why, r.from = d.from, r.to = d.to, r.changed = d.changed;
    r.expectation = d.expectation, r.other = d.other, r.type = d.type, r.width = d.width;
    return TRUE;
}

// The other byte order's type of the same size, or TypeCount.
static UINT32 OtherOrder(UINT32 type)
{
    static const UINT32 pairs[][2] = {{TypeI16, TypeI16Be}, {TypeU16, TypeU16Be}, {TypeI32, TypeI32Be},
                                      {TypeU32, TypeU32Be}, {TypeI64, TypeI64Be}, {TypeU64, TypeU64Be},
                                      {TypeF32, TypeF32Be}, {TypeF64, TypeF64Be}};
    for (const auto &p : pairs) {
        if (p[0] == type) return p[1];
        if (p[1] == type) return p[0];
    }
    return TypeCount;
}

// Why an expected target does not hold its value although it changed: the
// value as another type, a write cut short, or something else.
static void ExplainWrong(const Watched &w, const Expectation &e, Difference *d)
{
    const BYTE *now = w.now + w.before, *then = w.then + w.before;
    UINT32 room = w.size + w.after, type = e.value.type;
    BOOL isFloat = IsFloatType(type);
    // The other byte order first, then the same number as a float (or as an
    // integer), littlest width first.
    static const UINT32 tries[] = {TypeF32, TypeF64, TypeF32Be, TypeF64Be, TypeI8,  TypeU8,  TypeI16, TypeU16,
                                   TypeI32, TypeU32, TypeI64,  TypeU64,   TypeI16Be, TypeU16Be, TypeI32Be,
                                   TypeU32Be, TypeI64Be, TypeU64Be};
    UINT32 order[1 + sizeof tries / sizeof tries[0]], n = 0;
    if (OtherOrder(type) != TypeCount) order[n++] = OtherOrder(type);
    // Of the same width as the type expected first: a write is as wide as
    // what it stores.
    for (UINT32 pass = 0; pass < 2 && type != TypeBytes; ++pass)
        for (UINT32 y : tries)
            if (y != type && y != OtherOrder(type) && IsFloatType(y) != isFloat &&
                (TypeSize(y) == e.value.size) == (pass == 0))
                order[n++] = y;
    for (UINT32 k = 0; k < n; ++k) {
        TypedValue as;
        if (ReadValue(e.text, order[k], &as) != ValueOk || as.size > room) continue;
        if (SameValue(now, &as) && !SameValue(then, &as)) {
            d->why = WhyOtherType, d->type = order[k];
            return;
        }
    }
    // Only its first bytes written: the rest as it was.
    if (type == TypeBytes || !IsBigEndianType(type))
        for (UINT32 width = e.value.size / 2; width; width /= 2)
            if (SameSpan(now, e.value.bytes, 0, width) && !SameSpan(now, then, 0, width) &&
                SameSpan(now, then, width, e.value.size)) {
                d->why = WhyCut, d->width = width;
                return;
            }
    d->why = WhyHoldsOther;
}

// Whether target w now holds e's value in bytes that changed: a write meant
// for e's target that went to w.
static BOOL HoldsInstead(const Watched &w, const Expectation &e)
{
    return w.now && e.value.size <= w.size + w.after && SameValue(w.now + w.before, &e.value) &&
           !SameSpan(w.now, w.then, w.before, w.before + e.value.size);
}

// The unmet expectation of another target whose value w holds instead, if any.
static UINT32 HeldInstead(const Watched &w, UINT32 self, const Expectation *expected,
                          UINT32 expectCount, const BYTE *met)
{
    for (UINT32 j = 0; j < expectCount; ++j)
        if (!met[j] && expected[j].target != self && HoldsInstead(w, expected[j])) return j;
    return None;
}

BOOL Compare(const Watched *watched, UINT32 count, const Expectation *expected, UINT32 expectCount, Comparison *c)
{
    c->rows = nullptr;
    c->count = c->changed = c->met = c->unmet = c->unexpected = 0;
    UINT32 capacity = 0;
    // Which target each expectation is for, and whether it was met.
    UINT32 *expectationOf = (UINT32 *)GrowBlock(nullptr, (SIZE_T)count * sizeof(UINT32) + 4);
    BYTE *met = (BYTE *)GrowBlock(nullptr, (SIZE_T)expectCount + 1);
    BOOL good = expectationOf && met;
    for (UINT32 k = 0; good && k < count; ++k) expectationOf[k] = None;
    for (UINT32 j = 0; good && j < expectCount; ++j) {
        const Watched &w = watched[expected[j].target];
        expectationOf[expected[j].target] = j;
        met[j] = w.now && SameValue(w.now + w.before, &expected[j].value);
    }
    for (UINT32 k = 0; good && k < count; ++k) {
        const Watched &w = watched[k];
        UINT32 j = expectationOf[k];
        UINT32 o = w.before, end = w.before + w.size + w.after;
        UINT32 covered = j != None ? expected[j].value.size : w.size;
        Difference d = {k, PartTarget, WhyChanged, o, o + covered, 0, j, None, TypeCount, 0};
        if (!w.now) {
            d.why = WhyUnreadable;
            ++c->changed, ++c->unexpected;
            c->unmet += j != None;
            good = AddRow(c, &capacity, d);
            continue;
        }
        for (UINT32 b = o; b < o + covered; ++b) d.changed += w.then[b] != w.now[b];
        BOOL changed = !SameSpan(w.then, w.now, 0, end);
        c->changed += changed;
        if (j != None) {
            if (met[j]) {
                d.why = WhyAsExpected, ++c->met;
            } else {
                ++c->unmet;
                if (d.changed) {
                    ExplainWrong(w, expected[j], &d);
                } else {
                    d.why = WhyNotWritten;
                    // Another target, not one expected to change.
                    for (UINT32 m = 0; m < count && d.why == WhyNotWritten; ++m)
                        if (m != k && expectationOf[m] == None && HoldsInstead(watched[m], expected[j]))
                            d.why = WhyWrittenElsewhere, d.other = m;
                }
            }
            good = AddRow(c, &capacity, d);
        } else if (d.changed) {
            if (expectCount) {
                UINT32 instead = HeldInstead(w, k, expected, expectCount, met);
                d.why = instead != None ? WhyInsteadOf : WhyUnexpected;
                d.other = instead != None ? expected[instead].target : None;
                ++c->unexpected;
            }
            good = AddRow(c, &capacity, d);
        }
        // The bytes around it: before its address, and after what it holds
        // (or what was expected to be written).
        BOOL written = d.changed != 0;
        UINT32 spans[2][2] = {{0, o}, {o + covered, end}};
        for (UINT32 side = 0; good && side < 2; ++side) {
            UINT32 first = spans[side][1], last = 0, n = 0;
            for (UINT32 b = spans[side][0]; b < spans[side][1]; ++b)
                if (w.then[b] != w.now[b]) first = first < b ? first : b, last = b, ++n;
            if (!n) continue;
            UINT32 part = side == 0 ? (UINT32)PartBefore : first < o + w.size ? (UINT32)PartRest : (UINT32)PartAfter;
            Difference a = {k, part, expectCount ? (UINT32)WhyUnexpected : (UINT32)WhyChanged,
                            first, last + 1, n, j, None, TypeCount, 0};
            // A run that begins (or ends) at what was written: one wider write.
            if (side == 1 && written && first == o + covered) a.why = WhyWider, a.width = last + 1 - o;
            if (side == 0 && written && last + 1 == o) a.why = WhyLower, a.width = o - first;
            c->unexpected += expectCount != 0;
            good = AddRow(c, &capacity, a);
        }
    }
    FreeBlock(expectationOf);
    FreeBlock(met);
    return good;
}

void FreeComparison(Comparison *c)
{
    FreeBlock(c->rows);
    c->rows = nullptr;
    c->count = 0;
}

UINT32 ComparisonExit(const Comparison *c, UINT32 expectCount)
{
    if (expectCount) return c->unmet == 0 && c->unexpected == 0 ? ExitOk : ExitMissed;
    return c->changed ? ExitMissed : ExitOk;
}

// ------------------------------------------------------------------ texts

struct Text {
    char *out;
    UINT32 capacity, n;
};

static void Add(Text *t, const char *s)
{
    for (; *s; ++s)
        if (t->n + 1 < t->capacity) t->out[t->n++] = *s;
    if (t->capacity) t->out[t->n < t->capacity ? t->n : t->capacity - 1] = 0;
}

static void AddValue(Text *t, const BYTE *bytes, UINT32 type, UINT32 size)
{
    char text[ValueTextMax];
    ValueText(bytes, type, size, text, sizeof text);
    Add(t, text);
}

static void Describe(Text *t, const Watched &w, UINT32 digits)
{
    if (w.kind == KindPlanted) Add(t, "the planted "), Add(t, TypeName(w.type)), Add(t, " target at ");
    else if (w.kind == KindNearMiss) Add(t, "the near miss ("), Add(t, w.name), Add(t, ") at ");
    else Add(t, "the "), Add(t, KindNames[w.kind < 3 ? w.kind : 0]), Add(t, " target at ");
    Add(t, AddressText(w.address, digits));
}

void DescribeTarget(const Watched &w, UINT32 digits, char *out, UINT32 capacity)
{
    Text t = {out, capacity, 0};
    Add(&t, "");
    Describe(&t, w, digits);
}

static void AddBytes(Text *t, UINT32 n, const char *where)
{
    Add(t, NumberText(n));
    Add(t, n == 1 ? " byte " : " bytes ");
    Add(t, where);
}

void DifferenceText(const Difference &d, const Watched *watched, const Expectation *expected, UINT32 digits,
                    char *out, UINT32 capacity)
{
    Text t = {out, capacity, 0};
    Add(&t, "");
    const Watched &w = watched[d.target];
    const Expectation *e = d.expectation != 0xFFFFFFFF ? &expected[d.expectation] : nullptr;
    UINT32 type = e ? e->value.type : w.type, size = e ? e->value.size : w.size;
    const BYTE *now = w.now ? w.now + w.before : nullptr, *then = w.then + w.before;
    if (d.part != PartTarget) {
        AddBytes(&t, d.changed, d.part == PartBefore ? "before " : "after ");
        // After a value narrower than its target: the rest of the target.
        if (e && d.part == PartRest)
            Add(&t, "the "), Add(&t, TypeName(type)), Add(&t, " expected at "), Add(&t, AddressText(w.address, digits));
        else Describe(&t, w, digits);
        Add(&t, " changed");
        if (d.why == WhyWider) Add(&t, ": written "), Add(&t, NumberText(d.width)), Add(&t, " bytes wide?");
        else if (d.why == WhyLower) Add(&t, ": written from "), Add(&t, NumberText(d.width)), Add(&t, d.width == 1 ? " byte before it?" : " bytes before it?");
        else if (d.why == WhyUnexpected) Add(&t, ", not expected");
        return;
    }
    switch (d.why) {
    case WhyChanged:
    case WhyUnexpected:
        Add(&t, "changed from "), AddValue(&t, then, type, size), Add(&t, " to "), AddValue(&t, now, type, size);
        Add(&t, " as "), Add(&t, TypeName(type));
        if (d.why == WhyUnexpected) Add(&t, ", not expected");
        break;
    case WhyAsExpected:
        Add(&t, "holds "), AddValue(&t, now, type, size), Add(&t, " as "), Add(&t, TypeName(type)), Add(&t, ", as expected");
        break;
    case WhyUnreadable: Add(&t, "cannot be read now"); break;
    case WhyNotWritten:
        Add(&t, "was not written: it still holds "), AddValue(&t, then, type, size), Add(&t, " as "), Add(&t, TypeName(type));
        break;
    case WhyWrittenElsewhere: {
        const Watched &o = watched[d.other];
        Add(&t, "was not written; "), Describe(&t, o, digits), Add(&t, " holds ");
        AddValue(&t, e->value.bytes, type, size);
        Add(&t, " instead: ");
        if (o.kind == KindNearMiss) Add(&t, "written to a near miss?");
        else if (o.size == w.size && SameSpan(o.then + o.before, then, 0, w.size)) Add(&t, "written to a stale match?");
        else Add(&t, "written to another target?");
        break;
    }
    case WhyInsteadOf: {
        const Watched &o = watched[d.other];
        Add(&t, "changed, not expected: it holds the value expected at "), Add(&t, AddressText(o.address, digits));
        Add(&t, w.kind == KindNearMiss ? ": written to this near miss instead?"
                : o.size == w.size && SameSpan(o.then + o.before, then, 0, w.size) ? ": written to this stale match instead?"
                                                                                    : ": written here instead?");
        break;
    }
    case WhyOtherType: {
        Add(&t, "holds ");
        char text[ValueTextMax];
        ValueText(now, d.type, TypeSize(d.type), text, sizeof text);
        Add(&t, text), Add(&t, " as "), Add(&t, TypeName(d.type)), Add(&t, ", not ");
        AddValue(&t, e->value.bytes, type, size), Add(&t, " as "), Add(&t, TypeName(type));
        Add(&t, d.type == OtherOrder(type)  ? ": in the other byte order?"
                : IsFloatType(d.type) ? ": stored as a float?"
                                      : ": stored as an integer?");
        break;
    }
    case WhyCut:
        Add(&t, "holds "), AddValue(&t, now, type, size), Add(&t, " as "), Add(&t, TypeName(type)), Add(&t, ", not ");
        AddValue(&t, e->value.bytes, type, size);
        Add(&t, ": only its first "), Add(&t, NumberText(d.width)), Add(&t, d.width == 1 ? " byte was" : " bytes were");
        Add(&t, " written: cut to the type's width?");
        break;
    default:
        Add(&t, "holds "), AddValue(&t, now, type, size), Add(&t, " as "), Add(&t, TypeName(type)), Add(&t, ", not ");
        AddValue(&t, e ? e->value.bytes : then, type, size);
        break;
    }
}

// ------------------------------------------------------------------ numbers

void HexOf(const BYTE *bytes, UINT32 count, char *out)
{
    for (UINT32 k = 0; k < count; ++k) {
        out[2 * k] = "0123456789ABCDEF"[bytes[k] >> 4];
        out[2 * k + 1] = "0123456789ABCDEF"[bytes[k] & 15];
    }
    out[2 * count] = 0;
}

static UINT32 HexDigit(char c)
{
    return c >= '0' && c <= '9' ? (UINT32)(c - '0') : c >= 'A' && c <= 'F' ? (UINT32)(c - 'A' + 10) : 16;
}

BOOL ReadHex(const char *text, UINT32 length, BYTE *bytes)
{
    if (length % 2) return FALSE;
    for (UINT32 k = 0; k < length; k += 2) {
        UINT32 high = HexDigit(text[k]), low = HexDigit(text[k + 1]);
        if (high > 15 || low > 15) return FALSE;
        bytes[k / 2] = (BYTE)(high << 4 | low);
    }
    return TRUE;
}

UINT64 Percentile(UINT64 *numbers, SIZE_T count, UINT32 percent)
{
    SortNumbers(numbers, count);
    // The nearest rank: the smallest that percent of them do not exceed.
    SIZE_T rank = ((SIZE_T)percent * count + 99) / 100;
    return numbers[rank ? rank - 1 : 0];
}
