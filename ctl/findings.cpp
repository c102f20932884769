// findings.cpp: a memory scanner's found addresses.
#include "ctl/findings.h"
#include "ctl/platform.h"

static BOOL IsWordChar(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

static UINT32 HexValue(char c)
{
    if (c >= '0' && c <= '9') return (UINT32)(c - '0');
    if (c >= 'A' && c <= 'F') return (UINT32)(c - 'A' + 10);
    if (c >= 'a' && c <= 'f') return (UINT32)(c - 'a' + 10);
    return 16;
}

// Hexadecimal digits from p on: where they end; their value in *value and
// whether it fits 64 bits in *fits (leading zeros cost nothing).
static const char *HexRun(const char *p, const char *end, UINT64 *value, BOOL *fits)
{
    UINT64 v = 0;
    *fits = TRUE;
    for (; p < end && HexValue(*p) < 16; ++p) {
        if (v >> 60) *fits = FALSE;
        v = v << 4 | HexValue(*p);
    }
    *value = v;
    return p;
}

// A number from p to a word's end: hexadecimal digits, joined in WinDbg's
// way with a backtick to eight more. Where it ends (p if it is none), its
// value and its digit count.
static const char *Number(const char *p, const char *end, UINT64 *value, UINT32 *digits)
{
    BOOL fits, lowFits;
    const char *q = HexRun(p, end, value, &fits);
    if (q > p && q - p <= 8 && q + 9 <= end && *q == '`') {
        UINT64 low;
        const char *r = HexRun(q + 1, end, &low, &lowFits);
        if (r - q == 9 && (r == end || !IsWordChar(*r))) {
            *value = *value << 32 | low;
            q = r;
        }
    }
    *digits = (UINT32)(q - p);
    if (q == p || !fits || (q < end && IsWordChar(*q))) return p;
    return q;
}

static BOOL AllDecimal(const char *p, const char *end)
{
    for (; p < end; ++p)
        if (*p < '0' || *p > '9') return FALSE;
    return TRUE;
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
    return !rest[0] || (Lower(rest[0]) == '.' && Lower(rest[1]) == 'e' && Lower(rest[2]) == 'x' &&
                        Lower(rest[3]) == 'e' && !rest[4]);
}

// Whether a name looks like a module's: something, a dot and letters.
static BOOL HasExtension(const char *name, SIZE_T n)
{
    SIZE_T letters = 0;
    while (letters < n && ((name[n - 1 - letters] | 32) >= 'a' && (name[n - 1 - letters] | 32) <= 'z')) ++letters;
    return letters > 0 && letters + 1 < n && name[n - 1 - letters] == '.';
}

enum { NoModuleForm, OurModule, OtherModule };

// The first NAME+OFFSET on the line whose name is the program's module or
// another module's.
static UINT32 ModuleAddress(const char *line, const char *end, const Module *module, UINT64 *address)
{
    for (const char *plus = line; plus < end; ++plus) {
        if (*plus != '+') continue;
        const char *name = plus, *nameEnd = plus;
        if (plus > line && plus[-1] == '"') {
            nameEnd = plus - 1;
            name = nameEnd;
            while (name > line && name[-1] != '"') --name;
            if (name == line) continue; // no opening quote
        } else {
            while (name > line && (IsWordChar(name[-1]) || name[-1] == '.' || name[-1] == '-')) --name;
        }
        const char *offset = plus + 1;
        if (end - offset > 2 && offset[0] == '0' && (offset[1] | 32) == 'x') offset += 2;
        UINT64 value;
        BOOL fits;
        const char *q = HexRun(offset, end, &value, &fits);
        SIZE_T n = (SIZE_T)(nameEnd - name);
        if (n == 0 || q == offset || !fits || (q < end && IsWordChar(*q))) continue;
        if (module && module->name && IsModule(name, n, module->name)) {
            *address = module->base + value;
            return OurModule;
        }
        if (HasExtension(name, n)) return OtherModule;
    }
    return NoModuleForm;
}

BOOL AddressOfLine(const char *line, const char *end, const Module *module, UINT64 *address)
{
    UINT32 form = ModuleAddress(line, end, module, address);
    if (form != NoModuleForm) return form == OurModule;
    UINT32 digits;
    for (const char *p = line; p + 2 < end; ++p)
        if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && (p == line || !IsWordChar(p[-1])) &&
            Number(p + 2, end, address, &digits) != p + 2)
            return TRUE;
    UINT32 depth = 0; // of square brackets
    for (const char *p = line; p < end;) {
        if (!IsWordChar(*p)) {
            if (*p == '[') ++depth;
            if (*p == ']' && depth) --depth;
            ++p;
            continue;
        }
        const char *word = p;
        while (p < end && IsWordChar(*p)) ++p;
        // An index, as scanmem's [10080] or a numbered list's 10080:, is no address.
        if (AllDecimal(word, p) && (depth || (p < end && *p == ':'))) continue;
        const char *q = Number(word, end, address, &digits);
        if (q != word && digits >= 5) return TRUE;
        if (q > p) p = q;
    }
    return FALSE;
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

// UTF-16 text after its mark brought to bytes: other characters than ASCII
// become '?', which is no part of a number. The new length.
static SIZE_T NarrowUtf16(unsigned char *text, SIZE_T length, BOOL bigEndian)
{
    SIZE_T n = 0;
    for (SIZE_T i = 2; i + 1 < length; i += 2) {
        UINT32 unit = bigEndian ? (UINT32)text[i] << 8 | text[i + 1] : (UINT32)text[i + 1] << 8 | text[i];
        text[n++] = (unsigned char)(unit < 0x80 ? unit : '?');
    }
    return n;
}

UINT32 ReadFindings(unsigned char *text, SIZE_T length, const Module *module, Findings *findings)
{
    *findings = {};
    if (length > FindingsLimit) return FindingsTooLarge;
    const char *p = (const char *)text;
    if (length >= 2 && ((text[0] == 0xFF && text[1] == 0xFE) || (text[0] == 0xFE && text[1] == 0xFF)))
        length = NarrowUtf16(text, length, text[0] == 0xFE);
    else if (length >= 3 && text[0] == 0xEF && text[1] == 0xBB && text[2] == 0xBF)
        p += 3, length -= 3;
    const char *end = p + length;
    SIZE_T capacity = 0;
    while (p < end) {
        const char *eol = p;
        while (eol < end && *eol != '\n' && *eol != '\r') ++eol;
        BOOL blank = TRUE;
        for (const char *c = p; c < eol && blank; ++c) blank = *c == ' ' || *c == '\t';
        UINT64 address;
        if (blank) {
            // CR LF's second half, an empty line or only blanks: nothing to read.
        } else if (!AddressOfLine(p, eol, module, &address)) {
            ++findings->withoutAddress;
        } else {
            if (findings->lines == capacity) {
                capacity = capacity ? 2 * capacity : 4096;
                // A size the address space cannot hold is as good as no memory.
                UINT64 *bigger = capacity > (SIZE_T)-1 / 2 / sizeof(UINT64)
                                     ? nullptr
                                     : (UINT64 *)GrowBlock(findings->addresses, capacity * sizeof(UINT64));
                if (!bigger) {
                    FreeFindings(findings);
                    return FindingsNoMemory;
                }
                findings->addresses = bigger;
            }
            findings->addresses[findings->lines++] = address;
        }
        p = eol + (eol < end);
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
