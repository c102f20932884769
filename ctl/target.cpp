// target.cpp: targets as the companion shows them.
#include "ctl/target.h"
#include "ctl/findings.h"
#include "ctl/output.h"
#include "ctl/sheet.h"

const char *const KindNames[5] = {"mapped", "static", "heap", "planted", "near-miss"};
const char *const StaticNames[4] = {"StaticWordA", "StaticQword", "StaticBlock", "StaticWordB"};
const char *const HeapNames[6] = {"process", "global", "local", "process", "global", "local"};
const UINT32 HeapSizes[6] = {4, 4, 4, 4100, 4100, 4100};
const UINT32 StaticSizes[4] = {4, 8, 4100, 4};

const char *TargetName(const Target &t)
{
    if (t.kind == KindPlanted) return CaseNames[t.index];
    if (t.kind == KindNearMiss) return t.plant ? NearMissReason(t.plant) : "";
    if (t.kind == KindStatic) return t.index < 4 ? StaticNames[t.index] : "";
    if (t.kind == KindHeap) return t.index < 6 ? HeapNames[t.index] : "";
    return "";
}

void SetTargetCells(UINT32 row, UINT32 first, const Target &t, UINT32 digits)
{
    SetCell(row, first, KindNames[t.kind]);
    SetCell(row, first + 2, TargetName(t));
    if (t.kind == KindMapped) SetCell(row, first + 1, NumberText(t.index));
    if (t.kind == KindHeap && t.index < 6) SetCell(row, first + 3, NumberText(HeapSizes[t.index]));
    SetCell(row, first + 4, AddressText(t.address, digits));
}

// Whether a module's name is read back as it is: letters, digits, dots,
// dashes and underscores only, and no number (ABCDE+3010 is an address).
// Any other is written in double quotes.
static BOOL PlainName(const char *name)
{
    BOOL number = TRUE;
    const char *p = name[0] == '0' && (name[1] == 'x' || name[1] == 'X') ? name + 2 : name;
    for (; *p; ++p) {
        char c = *p;
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '.' || c == '-' ||
              c == '_'))
            return FALSE;
        number = number && ((c >= '0' && c <= '9') || ((c | 32) >= 'a' && (c | 32) <= 'f'));
    }
    return !number;
}

const char *ModuleText(const Target &t, const Module *module)
{
    static char text[ModuleNameBytes + 24];
    text[0] = 0;
    if (t.kind != KindStatic || !module || !module->name || t.address < module->base ||
        t.address - module->base >= module->size)
        return text;
    BOOL quoted = !PlainName(module->name);
    UINT32 n = 0;
    if (quoted) text[n++] = '"';
    for (const char *p = module->name; *p && n < ModuleNameBytes + 1; ++p) text[n++] = *p;
    if (quoted) text[n++] = '"';
    text[n++] = '+';
    for (const char *p = AddressText(t.address - module->base, 1); *p; ++p) text[n++] = *p;
    text[n] = 0;
    return text;
}

// A page's protection as people read it, with its modifiers.
static const char *ProtectText(DWORD protect)
{
    static char text[48];
    static const DWORD bits[] = {PAGE_NOACCESS, PAGE_READONLY, PAGE_READWRITE, PAGE_WRITECOPY, PAGE_EXECUTE,
                                 PAGE_EXECUTE_READ, PAGE_EXECUTE_READWRITE, PAGE_EXECUTE_WRITECOPY};
    static const char *const names[] = {"noaccess", "readonly", "readwrite", "writecopy", "exec",
                                        "exec-read", "exec-readwrite", "exec-writecopy"};
    text[0] = 0;
    UINT32 n = 0;
    for (UINT32 k = 0; k < 8; ++k)
        if ((protect & 0xFF) == bits[k])
            for (const char *p = names[k]; *p; ++p) text[n++] = *p;
    const char *guard = protect & PAGE_GUARD ? "+guard" : "";
    for (const char *p = guard; *p; ++p) text[n++] = *p;
    text[n] = 0;
    return text;
}

static const char *RegionText(DWORD type)
{
    return type == MEM_PRIVATE ? "private" : type == MEM_MAPPED ? "section" : type == MEM_IMAGE ? "image" : "";
}

UINT32 WriteTargets(const Target *targets, UINT32 count, UINT32 digits, const Module *module, UINT32 format, UINT32 pid,
                    const char *program, BOOL nearMisses)
{
    static const Column columns[] = {{"pid", TRUE},     {"kind", FALSE},    {"slot", TRUE},   {"name", FALSE},
                                     {"size", TRUE},    {"address", FALSE}, {"module", FALSE}, {"value", TRUE},
                                     {"memory", TRUE},  {"type", FALSE},    {"protect", FALSE}, {"region", FALSE},
                                     {"bytes", TRUE}};
    // The pid column in CSV from start only; the process is told apart elsewhere.
    BOOL pidColumn = pid && format == FormatCsv;
    if (pid && format == FormatJson) {
        Put("{\"kind\":\"process\",\"pid\":");
        PutNumber(pid);
        Put(",\"program\":");
        PutJsonString(program);
        Put("}\n");
    } else if (pid && format == FormatText) {
        Put(program);
        Put(" is running as process ");
        PutNumber(pid);
        Put("\n\n");
    }
    UINT32 first = pidColumn ? 0 : 1;
    BeginSheet(columns + first, 13 - first);
    for (UINT32 k = 0; k < count; ++k) {
        const Target &t = targets[k];
        if (t.kind == KindNearMiss && !nearMisses) continue;
        UINT32 row = AddRow();
        if (pidColumn) SetCell(row, 0, NumberText(pid));
        SetTargetCells(row, 1 - first, t, digits);
        SetCell(row, 6 - first, ModuleText(t, module));
        char text[3 * ValueBytesMax + 8];
        if (t.plant) {
            ValueText(t.plant->bytes, t.plant->type, t.plant->size, text, sizeof text);
            SetCell(row, 7 - first, text);
            if (t.readable) ValueText(t.now, t.plant->type, t.plant->size, text, sizeof text), SetCell(row, 8 - first, text);
        } else {
            SetCell(row, 7 - first, NumberText(t.value));
            if (t.readable) SetCell(row, 8 - first, NumberText(t.memory));
        }
        SetCell(row, 9 - first, TypeName(t.plant ? (UINT32)t.plant->type : (UINT32)TypeU32));
        SetCell(row, 10 - first, ProtectText(t.protect));
        SetCell(row, 11 - first, RegionText(t.memoryType));
        SetCell(row, 12 - first, NumberText(t.plant ? t.plant->size : 4));
    }
    if (!SheetComplete()) return Fail("out of memory for the table");
    WriteSheet(format);
    return ExitOk;
}

UINT32 ChooseTargets(const Target *targets, UINT32 count, UINT32 kinds, const WCHAR *const *addresses, UINT32 n,
                     const Module *module, BOOL *chosen)
{
    for (UINT32 k = 0; k < count; ++k) chosen[k] = (kinds >> targets[k].kind) & 1;
    // As UTF-8, as the findings are read; at most three bytes a unit.
    static char line[3 * 32768];
    for (UINT32 a = 0; a < n; ++a) {
        UINT32 length = 0;
        for (const WCHAR *p = addresses[a]; *p;) length += NextUtf8(&p, line + length);
        UINT64 address;
        UINT32 found = AddressOfLine(line, line + length, module, &address);
        UINT32 k = 0;
        // A near miss is never a target, to write or to find.
        while (found == AddressFound && k < count && (targets[k].address != address || targets[k].kind == KindNearMiss))
            ++k;
        if (found == AddressFound && k < count) {
            chosen[k] = TRUE;
            continue;
        }
        BeginError();
        PutWide(addresses[a]);
        if (found == AddressFound) {
            Put(" is no target's address");
        } else if (found == BeyondModule) {
            Put(" lies beyond the end of ");
            Put(module->name);
            Put(", whose image is 0x");
            Put(AddressText(module->size, 1));
            Put(" bytes");
        } else {
            Put(found == OtherModule ? " is an address in another module" : " holds no address");
        }
        Put("; nothing was written");
        return EndError();
    }
    return ExitOk;
}
