// snapshot.cpp: a snapshot's document, written and read.
#include "ctl/snapshot.h"
#include "ctl/output.h"
#include "ctl/platform.h"
#include "ctl/sheet.h"

// ------------------------------------------------------------------ writing

static void PutKey(const char *key)
{
    Put(",\"");
    Put(key);
    Put("\":");
}

static void PutQuoted(const char *text)
{
    Put("\"");
    Put(text);
    Put("\"");
}

void PutSnapshotHeader(const SnapshotHeader &h, UINT32 digits)
{
    Put("{\"snapshot\":1");
    PutKey("pid"), PutNumber(h.pid);
    PutKey("start"), PutQuoted(AddressText(h.start, 16));
    PutKey("program"), PutJsonString(h.program);
    if (h.module) {
        PutKey("module"), PutJsonString(h.module);
        PutKey("base"), PutQuoted(AddressText(h.base, digits));
        PutKey("image"), PutNumber(h.image);
    }
    PutKey("targets"), PutNumber(h.targets);
    Put("}\n");
}

void PutSnapshotTarget(const Watched &w, UINT32 digits)
{
    Put("{\"address\":");
    PutQuoted(AddressText(w.address, digits));
    PutKey("kind"), PutJsonString(KindNames[w.kind]);
    if (w.slot != 0xFFFFFFFF) PutKey("slot"), PutNumber(w.slot);
    PutKey("name"), PutJsonString(w.name);
    PutKey("type"), PutJsonString(TypeName(w.type));
    PutKey("size"), PutNumber(w.size);
    PutKey("before"), PutNumber(w.before);
    PutKey("after"), PutNumber(w.after);
    static char text[2 * 4096 + 2];
    ValueText(w.then + w.before, w.type, w.size, text, sizeof text);
    PutKey("value"), PutJsonString(text);
    PutKey("bytes");
    Put("\"");
    // In pieces that fit the buffer: a static block holds 4 KiB after its target.
    for (UINT32 k = 0, total = w.before + w.size + w.after; k < total; k += 4096) {
        HexOf(w.then + k, total - k < 4096 ? total - k : 4096, text);
        Put(text);
    }
    Put("\"}\n");
}

// ------------------------------------------------------------------ reading

// One "key":value of a flat object; a string is decoded in place.
struct Pair {
    char *key, *value;      // both ended by a null
    UINT32 valueLength;
    BOOL string;
};

static char *SkipBlanks(char *p, char *end)
{
    while (p < end && (*p == ' ' || *p == '\t')) ++p;
    return p;
}

static UINT32 HexValue(char c)
{
    return c >= '0' && c <= '9' ? (UINT32)(c - '0') : (c | 32) >= 'a' && (c | 32) <= 'f' ? (UINT32)((c | 32) - 'a' + 10) : 16;
}

// A JSON string from *p (at its quote), decoded in place and ended by a
// null; false if it is not one.
static BOOL ReadString(char **p, char *end, char **text, UINT32 *length)
{
    char *in = *p + 1, *out = in;
    *text = in;
    for (;;) {
        if (in >= end) return FALSE;
        char c = *in++;
        if (c == '"') break;
        if ((unsigned char)c < 0x20) return FALSE;
        if (c != '\\') {
            *out++ = c;
            continue;
        }
        if (in >= end) return FALSE;
        c = *in++;
        if (c == 'u') {
            UINT32 unit = 0;
            for (UINT32 k = 0; k < 4; ++k) {
                UINT32 d = in < end ? HexValue(*in++) : 16;
                if (d > 15) return FALSE;
                unit = unit << 4 | d;
            }
            // Not a pair of surrogates here: a lone one is U+FFFD.
            if (unit >= 0xD800 && unit < 0xE000) unit = 0xFFFD;
            char bytes[4];
            UINT32 n = Utf8Of(unit, bytes);
            for (UINT32 k = 0; k < n; ++k) *out++ = bytes[k];
            continue;
        }
        const char *from = "\"\\/bfnrt", *to = "\"\\/\b\f\n\r\t";
        UINT32 k = 0;
        while (from[k] && from[k] != c) ++k;
        if (!from[k]) return FALSE;
        *out++ = to[k];
    }
    *length = (UINT32)(out - *text);
    *out = 0; // the decoded text is no longer than its source, quote included
    *p = in;
    return TRUE;
}

// The pairs of one flat object on [line, end): into pairs (capacity), their
// count; false if the line is not such an object.
static BOOL ReadObject(char *line, char *end, Pair *pairs, UINT32 capacity, UINT32 *count)
{
    char *p = SkipBlanks(line, end);
    *count = 0;
    if (p >= end || *p++ != '{') return FALSE;
    p = SkipBlanks(p, end);
    if (p < end && *p == '}') return SkipBlanks(p + 1, end) == end;
    for (;;) {
        if (*count == capacity || p >= end || *p != '"') return FALSE;
        Pair &pair = pairs[(*count)++];
        UINT32 length;
        if (!ReadString(&p, end, &pair.key, &length)) return FALSE;
        p = SkipBlanks(p, end);
        if (p >= end || *p++ != ':') return FALSE;
        p = SkipBlanks(p, end);
        if (p < end && *p == '"') {
            pair.string = TRUE;
            if (!ReadString(&p, end, &pair.value, &pair.valueLength)) return FALSE;
        } else {
            // A whole number: what else this document holds.
            pair.string = FALSE;
            pair.value = p;
            while (p < end && *p >= '0' && *p <= '9') ++p;
            pair.valueLength = (UINT32)(p - pair.value);
            if (!pair.valueLength) return FALSE;
        }
        char *after = SkipBlanks(p, end);
        if (after >= end) return FALSE;
        char next = *after;
        if (!pair.string) *p = 0; // ends the number; its end was a blank, a comma or the brace
        p = SkipBlanks(after + 1, end);
        if (next == '}') return p == end;
        if (next != ',') return FALSE;
    }
}

static BOOL SameKey(const char *a, const char *b)
{
    while (*a && *a == *b) ++a, ++b;
    return *a == *b;
}

static const Pair *Find(const Pair *pairs, UINT32 count, const char *key, BOOL string)
{
    for (UINT32 k = 0; k < count; ++k)
        if (SameKey(pairs[k].key, key)) return pairs[k].string == string ? &pairs[k] : nullptr;
    return nullptr;
}

static BOOL NumberOf(const Pair *pair, UINT64 limit, UINT64 *value)
{
    if (!pair) return FALSE;
    UINT64 v = 0;
    for (UINT32 k = 0; k < pair->valueLength; ++k) {
        v = v * 10 + (UINT32)(pair->value[k] - '0');
        if (v > limit) return FALSE;
    }
    *value = v;
    return TRUE;
}

static BOOL HexNumberOf(const Pair *pair, UINT64 *value)
{
    if (!pair || pair->valueLength == 0 || pair->valueLength > 16) return FALSE;
    UINT64 v = 0;
    for (UINT32 k = 0; k < pair->valueLength; ++k) {
        UINT32 d = HexValue(pair->value[k]);
        if (d > 15) return FALSE;
        v = v << 4 | d;
    }
    *value = v;
    return TRUE;
}

// The largest of a target's bytes with those around it: a static block's.
enum { WindowMax = 8192 };

static BOOL ReadTarget(const Pair *pairs, UINT32 count, Watched *w, BYTE *bytes, SIZE_T *used, SIZE_T room)
{
    const Pair *kind = Find(pairs, count, "kind", TRUE), *type = Find(pairs, count, "type", TRUE);
    const Pair *name = Find(pairs, count, "name", TRUE), *hex = Find(pairs, count, "bytes", TRUE);
    UINT64 address, size, before, after, slot = 0xFFFFFFFF;
    if (!kind || !type || !name || !hex || !HexNumberOf(Find(pairs, count, "address", TRUE), &address) ||
        !NumberOf(Find(pairs, count, "size", FALSE), ValueBytesMax, &size) || size == 0 ||
        !NumberOf(Find(pairs, count, "before", FALSE), WindowMax, &before) ||
        !NumberOf(Find(pairs, count, "after", FALSE), WindowMax, &after))
        return FALSE;
    const Pair *slotPair = Find(pairs, count, "slot", FALSE);
    if (slotPair && !NumberOf(slotPair, 0xFFFFFFFE, &slot)) return FALSE;
    w->kind = 5;
    for (UINT32 k = 0; k < 5; ++k)
        if (SameKey(kind->value, KindNames[k])) w->kind = k;
    w->type = TypeCount;
    for (UINT32 k = 0; k < TypeCount; ++k)
        if (SameKey(type->value, TypeName(k))) w->type = k;
    UINT64 total = before + size + after;
    if (w->kind == 5 || w->type == TypeCount || (TypeSize(w->type) && TypeSize(w->type) != size) || total > WindowMax ||
        hex->valueLength != 2 * total || *used + total > room || address < before)
        return FALSE;
    if (!ReadHex(hex->value, hex->valueLength, bytes + *used)) return FALSE;
    w->address = address;
    w->slot = (UINT32)slot;
    w->name = name->value;
    w->size = (UINT32)size, w->before = (UINT32)before, w->after = (UINT32)after;
    w->then = bytes + *used;
    w->now = nullptr;
    w->low = w->high = 0;
    *used += total;
    return TRUE;
}

UINT32 ReadSnapshot(char *text, SIZE_T length, Snapshot *s, SIZE_T *line)
{
    s->targets = nullptr;
    s->bytes = nullptr;
    s->count = 0;
    *line = 0;
    char *end = text + length, *p = text;
    // A byte order mark, as an editor may leave.
    if (length >= 3 && (BYTE)p[0] == 0xEF && (BYTE)p[1] == 0xBB && (BYTE)p[2] == 0xBF) p += 3;
    static Pair pairs[16];
    UINT32 count = 0;
    SIZE_T used = 0, room = 0;
    for (SIZE_T number = 1; p < end; ++number) {
        char *eol = p;
        while (eol < end && *eol != '\n') ++eol;
        char *next = eol < end ? eol + 1 : eol;
        if (eol > p && eol[-1] == '\r') --eol;
        *line = number;
        if (SkipBlanks(p, eol) == eol) {
            p = next;
            continue;
        }
        if (!ReadObject(p, eol, pairs, 16, &count)) return number == 1 ? SnapshotNoHeader : SnapshotBadLine;
        if (!s->targets) {
            // The header: the first line, and the count of lines after it.
            UINT64 one = 0, pid, targets, image = 0;
            const Pair *module = Find(pairs, count, "module", TRUE), *program = Find(pairs, count, "program", TRUE);
            SnapshotHeader &h = s->header;
            if (!NumberOf(Find(pairs, count, "snapshot", FALSE), 1, &one) || one != 1 || !program ||
                !NumberOf(Find(pairs, count, "pid", FALSE), 0xFFFFFFFF, &pid) ||
                !HexNumberOf(Find(pairs, count, "start", TRUE), &h.start) ||
                !NumberOf(Find(pairs, count, "targets", FALSE), 0x7FFFFFFF, &targets) ||
                (module && (!HexNumberOf(Find(pairs, count, "base", TRUE), &h.base) ||
                            !NumberOf(Find(pairs, count, "image", FALSE), 0xFFFFFFFF, &image))))
                return SnapshotNoHeader;
            h.pid = (UINT32)pid;
            h.program = program->value;
            h.module = module ? module->value : nullptr;
            h.image = image;
            h.targets = (UINT32)targets;
            // A target's line is longer than 64 bytes: a count beyond what
            // the rest could hold is a damaged header.
            if (targets > (UINT64)(end - next) / 64 + 1) return SnapshotCutShort;
            // Each target's line holds twice its bytes: room for all of them.
            room = (SIZE_T)(end - p) / 2 + 1;
            s->targets = (Watched *)GrowBlock(nullptr, (SIZE_T)(targets + 1) * sizeof(Watched));
            s->bytes = (BYTE *)GrowBlock(nullptr, room);
            if (!s->targets || !s->bytes) return SnapshotNoMemory;
        } else {
            if (s->count == s->header.targets) return SnapshotTooLong;
            if (!ReadTarget(pairs, count, &s->targets[s->count], s->bytes, &used, room)) return SnapshotBadLine;
            ++s->count;
        }
        p = next;
    }
    if (!s->targets) return SnapshotNoHeader;
    return s->count == s->header.targets ? SnapshotOk : SnapshotCutShort;
}

void FreeSnapshot(Snapshot *s)
{
    FreeBlock(s->targets);
    FreeBlock(s->bytes);
    s->targets = nullptr;
    s->bytes = nullptr;
    s->count = 0;
}
