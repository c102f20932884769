// findings.cpp: a memory scanner's found addresses.
#include "ctl/findings.h"
#include "ctl/output.h"
#include "ctl/platform.h"

// Letters of any script (bytes of UTF-8 sequences), digits, _ and WinDbg's
// backtick: 00000000`01dc00c0x is one word, and no number.
static BOOL IsWordChar(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == '`' ||
           (unsigned char)c >= 0x80;
}

static BOOL IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

static UINT32 HexValue(char c)
{
    if (c >= '0' && c <= '9') return (UINT32)(c - '0');
    if (c >= 'A' && c <= 'F') return (UINT32)(c - 'A' + 10);
    if (c >= 'a' && c <= 'f') return (UINT32)(c - 'a' + 10);
    return 16;
}

// Whether [p, end) is nothing but hexadecimal digits, at least one, of a
// value that fits 64 bits (leading zeros cost nothing); the value.
static BOOL HexDigits(const char *p, const char *end, UINT64 *value)
{
    UINT64 v = 0;
    BOOL fits = TRUE;
    if (p == end) return FALSE;
    for (; p < end; ++p) {
        UINT32 d = HexValue(*p);
        if (d > 15) return FALSE;
        if (v >> 60) fits = FALSE;
        v = v << 4 | d;
    }
    *value = v;
    return fits;
}

static BOOL HasHexPrefix(const char *p, const char *end)
{
    return end - p >= 2 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X');
}

// Whether the word [p, end) is a number, and which value: 0x digits,
// WinDbg's HIGH`LOW (perhaps after 0x), or five or more hexadecimal digits.
static BOOL NumberWord(const char *p, const char *end, UINT64 *value)
{
    const char *tick = p;
    while (tick < end && *tick != '`') ++tick;
    if (tick < end) {
        const char *high = HasHexPrefix(p, tick) ? p + 2 : p;
        UINT64 h, l;
        if (tick - high > 8 || end - (tick + 1) != 8 || !HexDigits(high, tick, &h) || !HexDigits(tick + 1, end, &l))
            return FALSE;
        *value = h << 32 | l;
        return TRUE;
    }
    if (HasHexPrefix(p, end)) return HexDigits(p + 2, end, value);
    return end - p >= 5 && HexDigits(p, end, value);
}

// Whether the word [p, end) is a decimal number between square brackets,
// blanks aside, as scanmem writes its index: [10080], [ 7].
static BOOL IsBracketedIndex(const char *line, const char *p, const char *end, const char *lineEnd)
{
    for (const char *c = p; c < end; ++c)
        if (*c < '0' || *c > '9') return FALSE;
    const char *before = p, *after = end;
    while (before > line && IsBlank(before[-1])) --before;
    while (after < lineEnd && IsBlank(*after)) ++after;
    return before > line && before[-1] == '[' && after < lineEnd && *after == ']';
}

static char Lower(char c)
{
    return c >= 'A' && c <= 'Z' ? (char)(c - 'A' + 'a') : c;
}

// Whether [name, name + n) is the module's name, case aside, with or without ".exe".
static BOOL IsModule(const char *name, SIZE_T n, const char *module)
{
    SIZE_T k = 0;
    while (k < n && module[k] && Lower(name[k]) == Lower(module[k])) ++k;
    if (k < n) return FALSE;
    const char *rest = module + k;
    return !rest[0] || (rest[0] == '.' && Lower(rest[1]) == 'e' && Lower(rest[2]) == 'x' && Lower(rest[3]) == 'e' &&
                        !rest[4]);
}

// What a file name and its folder are written with, unquoted; a colon only
// as a drive's.
static BOOL IsNameChar(char c)
{
    return IsWordChar(c) || c == '.' || c == '-' || c == '~' || c == '\\' || c == '/';
}

static BOOL IsLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// Whether [p, end) is a number: hexadecimal digits, perhaps after 0x.
static BOOL IsNumber(const char *p, const char *end)
{
    if (HasHexPrefix(p, end)) p += 2;
    if (p == end) return FALSE;
    for (; p < end; ++p)
        if (HexValue(*p) > 15) return FALSE;
    return TRUE;
}

// Where the program's own file name (or its stem) ends the text before
// nameEnd, case aside and blanks and all, after no other name character:
// "Vantoriel64 - Copy.exe" as a scanner prints a renamed copy. Null if not.
static const char *OwnNameBefore(const char *line, const char *nameEnd, const char *module)
{
    // The whole name, or the name without ".exe", which IsModule tells.
    SIZE_T n = TextLength(module);
    SIZE_T lengths[2] = {n, n >= 4 ? n - 4 : 0};
    for (SIZE_T length : lengths) {
        if (length == 0 || (SIZE_T)(nameEnd - line) < length) continue;
        const char *start = nameEnd - length;
        if (IsModule(start, length, module) &&
            (start == line || !IsNameChar(start[-1]) || start[-1] == '\\' || start[-1] == '/'))
            return start;
    }
    return nullptr;
}

// The NAME+OFFSET whose + is at plus: its start (null if there is none) and
// what it gives.
static const char *ModuleAt(const char *line, const char *plus, const char *end, const Module *module, UINT32 *form,
                            UINT64 *address)
{
    // OFFSET: a whole word of hexadecimal digits, perhaps after 0x.
    const char *offset = plus + 1, *offsetEnd = offset;
    while (offsetEnd < end && IsWordChar(*offsetEnd)) ++offsetEnd;
    if (HasHexPrefix(offset, offsetEnd)) offset += 2;
    UINT64 value;
    if (!HexDigits(offset, offsetEnd, &value)) return nullptr;
    const char *start = plus, *name = plus, *nameEnd = plus, *own = nullptr;
    if (plus > line && plus[-1] == '"') {
        // Quoted: a module's name whatever it holds.
        nameEnd = plus - 1;
        start = nameEnd;
        while (start > line && start[-1] != '"') --start;
        if (start == line) return nullptr; // no opening quote
        name = start;
        --start;
    } else if (module && module->name && (own = OwnNameBefore(line, plus, module->name)) != nullptr) {
        start = name = own;
    } else {
        while (start > line && IsNameChar(start[-1])) --start;
        // A drive: C:\Games\Vantoriel64.exe.
        if (start - line >= 2 && start[-1] == ':' && (*start == '\\' || *start == '/') && IsLetter(start[-2]) &&
            (start - line == 2 || !IsNameChar(start[-3])))
            start -= 2;
        name = start;
        // A number before + is arithmetic, not a module: 1dc00c0+4.
        if (IsNumber(name, nameEnd)) return nullptr;
    }
    // The file's name, without its folder.
    for (const char *c = name; c < nameEnd; ++c)
        if (*c == '\\' || *c == '/' || *c == ':') name = c + 1;
    if (name == nameEnd) return nullptr;
    *form = OtherModule;
    if (module && module->name && IsModule(name, (SIZE_T)(nameEnd - name), module->name)) {
        *form = value < module->size ? AddressFound : BeyondModule;
        if (*form == AddressFound) *address = module->base + value;
    }
    return start;
}

UINT32 AddressOfLine(const char *line, const char *end, const Module *module, UINT64 *address)
{
    // The leftmost NAME+OFFSET, if any; a number must start before it.
    const char *moduleStart = end;
    UINT32 moduleForm = NoAddress;
    UINT64 moduleAddress = 0;
    for (const char *plus = line; plus < end; ++plus) {
        UINT32 form = NoAddress;
        UINT64 a = 0;
        const char *start = *plus == '+' ? ModuleAt(line, plus, end, module, &form, &a) : nullptr;
        if (start && start < moduleStart) moduleStart = start, moduleForm = form, moduleAddress = a;
    }
    BOOL haveIndex = FALSE;
    UINT64 index = 0;
    for (const char *p = line; p < moduleStart;) {
        if (!IsWordChar(*p)) {
            ++p;
            continue;
        }
        const char *word = p;
        while (p < end && IsWordChar(*p)) ++p;
        UINT64 value;
        if (!NumberWord(word, p, &value)) continue;
        if (IsBracketedIndex(line, word, p, end)) {
            // An index, unless nothing else follows it.
            index = value;
            haveIndex = TRUE;
            continue;
        }
        *address = value;
        return AddressFound;
    }
    if (moduleForm != NoAddress) {
        *address = moduleAddress;
        return moduleForm;
    }
    if (haveIndex) *address = index;
    return haveIndex ? AddressFound : NoAddress;
}

char *FieldOfLine(char *line, char *end, UINT32 field, char **fieldEnd)
{
    char *p = line;
    while (p < end && IsBlank(*p)) ++p;
    for (UINT32 k = 1;; ++k) {
        char *start = p, *to = p;
        if (p < end && *p == '"') {
            // Quoted: up to the closing quote, "" giving one; decoded in place.
            for (++p; p < end;) {
                if (*p != '"') *to++ = *p++;
                else if (p + 1 < end && p[1] == '"') *to++ = '"', p += 2;
                else {
                    ++p;
                    break;
                }
            }
        }
        while (p < end && !IsBlank(*p) && *p != ',') *to++ = *p++;
        if (k == field) {
            *fieldEnd = to;
            return start;
        }
        // The separator: blanks, at most one comma, blanks. A comma last
        // leaves an empty field after it.
        while (p < end && IsBlank(*p)) ++p;
        BOOL comma = p < end && *p == ',';
        if (comma) ++p;
        while (p < end && IsBlank(*p)) ++p;
        if (p == end && !comma) return nullptr;
    }
}

// Heapsort: no recursion, no memory, no bad case.
void SortNumbers(UINT64 *a, SIZE_T count)
{
    for (SIZE_T end = count, start = count / 2; end > 1;) {
        if (start > 0) --start;
        else {
            --end;
            UINT64 top = a[0];
            a[0] = a[end];
            a[end] = top;
        }
        for (SIZE_T root = start;;) {
            SIZE_T child = 2 * root + 1;
            if (child >= end) break;
            if (child + 1 < end && a[child + 1] > a[child]) ++child;
            if (a[root] >= a[child]) break;
            UINT64 t = a[root];
            a[root] = a[child];
            a[child] = t;
            root = child;
        }
    }
}

// UTF-16 text after its mark as UTF-8, in a new block (null: no memory).
static unsigned char *Utf16ToUtf8(const unsigned char *text, SIZE_T length, BOOL bigEndian, SIZE_T *n)
{
    // Three bytes at most for each unit.
    unsigned char *out = (unsigned char *)GrowBlock(nullptr, length / 2 * 3 + 1);
    if (!out) return nullptr;
    SIZE_T k = 0;
    for (SIZE_T i = 2; i + 1 < length; i += 2) {
        UINT32 c = bigEndian ? (UINT32)text[i] << 8 | text[i + 1] : (UINT32)text[i + 1] << 8 | text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 3 < length) {
            UINT32 low = bigEndian ? (UINT32)text[i + 2] << 8 | text[i + 3] : (UINT32)text[i + 3] << 8 | text[i + 2];
            if (low >= 0xDC00 && low < 0xE000) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
            }
        }
        if (c >= 0xD800 && c < 0xE000) c = 0xFFFD;
        k += Utf8Of(c, (char *)out + k);
    }
    *n = k;
    return out;
}

// The length of the well-formed UTF-8 character at p, or 0.
static UINT32 Utf8Length(const unsigned char *p, const unsigned char *end)
{
    UINT32 n = p[0] < 0x80 ? 1 : p[0] >= 0xC2 && p[0] < 0xE0 ? 2 : p[0] >= 0xE0 && p[0] < 0xF0 ? 3
                                : p[0] >= 0xF0 && p[0] < 0xF5                                ? 4
                                                                                              : 0;
    if ((SIZE_T)(end - p) < n) return 0;
    for (UINT32 k = 1; k < n; ++k)
        if ((p[k] & 0xC0) != 0x80) return 0;
    return n;
}

// A line as it is shown among the unread ones: cut to fit (whole
// characters), what is not well-formed UTF-8 or is a control character as ?.
static void KeepLine(const char *line, const char *end, SIZE_T number, UnreadLine *out)
{
    out->number = number;
    const unsigned char *p = (const unsigned char *)line, *e = (const unsigned char *)end;
    UINT32 n = 0;
    while (p < e) {
        UINT32 size = Utf8Length(p, e);
        if (n + (size ? size : 1) > UnreadTextBytes) break;
        if (size == 0 || (size == 1 && *p < 0x20 && *p != '\t') || *p == 0x7F) {
            out->text[n++] = '?';
            ++p;
            continue;
        }
        for (UINT32 k = 0; k < size; ++k) out->text[n++] = (char)*p++;
    }
    if (p < e) out->text[n++] = '.', out->text[n++] = '.', out->text[n++] = '.';
    out->text[n] = 0;
}

UINT32 Utf16AsUtf8(const unsigned char *text, SIZE_T *length, unsigned char **converted)
{
    *converted = nullptr;
    if (*length < 2 || !((text[0] == 0xFF && text[1] == 0xFE) || (text[0] == 0xFE && text[1] == 0xFF)))
        return FindingsRead;
    if (*length % 2) return FindingsOddUtf16;
    *converted = Utf16ToUtf8(text, *length, text[0] == 0xFE, length);
    return *converted ? FindingsRead : FindingsNoMemory;
}

UINT32 ReadFindings(unsigned char *text, SIZE_T length, const Module *module, UINT32 field, Findings *findings)
{
    *findings = {};
    if (length > FindingsLimit) return FindingsTooLarge;
    unsigned char *converted = nullptr;
    char *p = (char *)text;
    UINT32 utf16 = Utf16AsUtf8(text, &length, &converted);
    if (utf16 != FindingsRead) return utf16;
    if (converted) {
        p = (char *)converted;
    } else if (length >= 3 && text[0] == 0xEF && text[1] == 0xBB && text[2] == 0xBF) {
        p += 3, length -= 3;
    }
    char *end = p + length;
    SIZE_T capacity = 0, number = 0;
    UINT32 result = FindingsRead;
    while (p < end) {
        char *eol = p;
        while (eol < end && *eol != '\n' && *eol != '\r') ++eol;
        char *next = eol + (eol < end);
        if (eol < end && *eol == '\r' && next < end && *next == '\n') ++next;
        ++number;
        const char *first = p;
        while (first < eol && IsBlank(*first)) ++first;
        if (first == eol || *first == '#') {
            p = next;
            continue; // blank, or a comment
        }
        // The next unread line's place: a field is decoded in place, so the
        // line as it was goes there first, to stay if it gives no address.
        UnreadLine *kept = findings->withoutAddress < UnreadShown ? &findings->unread[findings->withoutAddress] : nullptr;
        if (kept && field) KeepLine(p, eol, number, kept);
        char *from = p, *to = eol;
        UINT64 address;
        if (field) from = FieldOfLine(p, eol, field, &to);
        if (!from || AddressOfLine(from, to, module, &address) != AddressFound) {
            if (kept && !field) KeepLine(p, eol, number, kept);
            ++findings->withoutAddress;
        } else {
            if (findings->lines == capacity) {
                capacity = capacity ? 2 * capacity : 4096;
                // A size the address space cannot hold is as good as no memory.
                UINT64 *bigger = capacity > (SIZE_T)-1 / 2 / sizeof(UINT64)
                                     ? nullptr
                                     : (UINT64 *)GrowBlock(findings->addresses, capacity * sizeof(UINT64));
                if (!bigger) {
                    result = FindingsNoMemory;
                    break;
                }
                findings->addresses = bigger;
            }
            findings->addresses[findings->lines++] = address;
        }
        p = next;
    }
    FreeBlock(converted);
    if (result != FindingsRead) {
        FreeFindings(findings);
        return result;
    }
    SortNumbers(findings->addresses, findings->lines);
    SIZE_T unique = 0;
    for (SIZE_T k = 0; k < findings->lines; ++k)
        if (unique == 0 || findings->addresses[unique - 1] != findings->addresses[k])
            findings->addresses[unique++] = findings->addresses[k];
    findings->count = unique;
    return FindingsRead;
}

void FreeFindings(Findings *findings)
{
    FreeBlock(findings->addresses);
    *findings = {};
}
