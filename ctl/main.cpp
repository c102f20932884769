// main.cpp: vantoriel-ctl, the console companion that lets scripts drive a
// running Vantoriel: start it, read its targets, press its buttons, score a
// memory scanner's findings, close it. Needs no C runtime, like the program,
// so that every compiler that builds the program builds this too.
#include <windows.h>

#include "ctl/remote.h"
#include "numtext/numtext.h"

static_assert(sizeof(TCHAR) == 2, "the companion is a wide-character program");

enum { ExitOk = 0, ExitMissed = 1, ExitError = 2 };
enum Format { FormatText, FormatJson, FormatCsv };

// ---------------------------------------------------------------- output

static WCHAR OutText[16384];
static UINT32 OutLength;

// Writes text to a console as it is, elsewhere (a pipe, a file) as UTF-8.
static void WriteHandle(DWORD which, const WCHAR *text, UINT32 length)
{
    HANDLE h = GetStdHandle(which);
    DWORD mode, done;
    if (GetConsoleMode(h, &mode)) {
        WriteConsoleW(h, text, length, &done, nullptr);
        return;
    }
    static char bytes[sizeof OutText / sizeof OutText[0] * 3];
    int n = WideCharToMultiByte(CP_UTF8, 0, text, (int)length, bytes, sizeof bytes, nullptr, nullptr);
    WriteFile(h, bytes, (DWORD)n, &done, nullptr);
}

static void Flush()
{
    WriteHandle(STD_OUTPUT_HANDLE, OutText, OutLength);
    OutLength = 0;
}

static void Put(const WCHAR *text)
{
    for (; *text; ++text) {
        if (OutLength == sizeof OutText / sizeof OutText[0]) Flush();
        OutText[OutLength++] = *text;
    }
}

static void PutAscii(const char *text)
{
    WCHAR one[2] = {0, 0};
    for (; *text; ++text) {
        one[0] = (WCHAR)(unsigned char)*text;
        Put(one);
    }
}

static void PutNumber(UINT64 value)
{
    WCHAR buffer[24];
    Put(FormatUnsigned(value, 10, buffer, 24, 0));
}

// The build's address text, as the report writes it; an address beyond the
// build's digits (no target's) whole.
static const WCHAR *AddressText(UINT64 address, UINT32 digits)
{
    static WCHAR buffer[24];
    BOOL fits = digits >= 16 || address >> (4 * digits) == 0;
    return FormatUnsigned(address, 16, buffer, 24, fits ? (INT32)digits : 0);
}

// One line on standard error; the result is the exit code for errors.
static UINT32 Fail(const WCHAR *a, const WCHAR *b = L"", const WCHAR *c = L"", const WCHAR *d = L"")
{
    Flush();
    const WCHAR *pieces[] = {L"vantoriel-ctl: ", a, b, c, d, L"\n"};
    for (const WCHAR *piece : pieces) {
        Put(piece);
    }
    WriteHandle(STD_ERROR_HANDLE, OutText, OutLength);
    OutLength = 0;
    return ExitError;
}

static const WCHAR *NumberText(UINT64 value)
{
    static WCHAR buffer[4][24];
    static UINT32 next;
    next = (next + 1) % 4;
    return FormatUnsigned(value, 10, buffer[next], 24, 0);
}

// ---------------------------------------------------------------- sheets

// Rows of named cells, written as an aligned table, JSON Lines or CSV. An
// empty cell is left out of JSON and blank elsewhere.
struct Column {
    const char *key;
    BOOL number;
};
enum { MaxRows = 200, MaxColumns = 7, CellUnits = 24 };
static const Column *SheetColumns;
static UINT32 SheetColumnCount, SheetRows;
static WCHAR Cells[MaxRows][MaxColumns][CellUnits];

static void BeginSheet(const Column *columns, UINT32 count)
{
    SheetColumns = columns;
    SheetColumnCount = count;
    SheetRows = 0;
}

static UINT32 AddRow()
{
    for (UINT32 c = 0; c < MaxColumns; ++c) Cells[SheetRows][c][0] = 0;
    return SheetRows++;
}

static void SetCell(UINT32 row, UINT32 column, const WCHAR *text)
{
    UINT32 k = 0;
    for (; text[k] && k + 1 < CellUnits; ++k) Cells[row][column][k] = text[k];
    Cells[row][column][k] = 0;
}

static void SetCellAscii(UINT32 row, UINT32 column, const char *text)
{
    UINT32 k = 0;
    for (; text[k] && k + 1 < CellUnits; ++k) Cells[row][column][k] = (WCHAR)text[k];
    Cells[row][column][k] = 0;
}

static UINT32 Length(const WCHAR *text)
{
    UINT32 n = 0;
    while (text[n]) ++n;
    return n;
}

static void PutSpaces(UINT32 n)
{
    while (n--) Put(L" ");
}

static void PutJsonString(const WCHAR *text)
{
    Put(L"\"");
    for (; *text; ++text) {
        WCHAR one[2] = {*text, 0};
        if (*text == '"' || *text == '\\') Put(L"\\");
        Put(one);
    }
    Put(L"\"");
}

static void WriteSheet(UINT32 format)
{
    const UINT32 columns = SheetColumnCount;
    if (format == FormatJson) {
        for (UINT32 r = 0; r < SheetRows; ++r) {
            const WCHAR *separator = L"{";
            for (UINT32 c = 0; c < columns; ++c) {
                if (!Cells[r][c][0]) continue;
                Put(separator);
                separator = L",";
                Put(L"\"");
                PutAscii(SheetColumns[c].key);
                Put(L"\":");
                if (SheetColumns[c].number) Put(Cells[r][c]);
                else PutJsonString(Cells[r][c]);
            }
            Put(separator[0] == '{' ? L"{}\n" : L"}\n");
        }
        return;
    }
    if (format == FormatCsv) {
        for (UINT32 c = 0; c < columns; ++c) {
            if (c) Put(L",");
            PutAscii(SheetColumns[c].key);
        }
        Put(L"\n");
        for (UINT32 r = 0; r < SheetRows; ++r) {
            for (UINT32 c = 0; c < columns; ++c) {
                if (c) Put(L",");
                Put(Cells[r][c]); // names, numbers and hexadecimal: nothing to quote
            }
            Put(L"\n");
        }
        return;
    }
    // For people: upper-case headings, text left-aligned, numbers right-aligned.
    UINT32 widths[MaxColumns];
    for (UINT32 c = 0; c < columns; ++c) {
        const char *key = SheetColumns[c].key;
        UINT32 w = 0;
        while (key[w]) ++w;
        for (UINT32 r = 0; r < SheetRows; ++r)
            if (Length(Cells[r][c]) > w) w = Length(Cells[r][c]);
        widths[c] = w;
    }
    for (UINT32 r = 0; r <= SheetRows; ++r) {
        for (UINT32 c = 0; c < columns; ++c) {
            WCHAR heading[CellUnits];
            const WCHAR *text = Cells[r ? r - 1 : 0][c];
            if (r == 0) {
                UINT32 k = 0;
                for (const char *key = SheetColumns[c].key; *key && k + 1 < CellUnits; ++key)
                    heading[k++] = (WCHAR)(*key >= 'a' && *key <= 'z' ? *key - 'a' + 'A' : *key);
                heading[k] = 0;
                text = heading;
            }
            UINT32 pad = widths[c] - Length(text);
            if (c) Put(L"  ");
            if (SheetColumns[c].number) PutSpaces(pad);
            Put(text);
            if (!SheetColumns[c].number && c + 1 < columns) PutSpaces(pad);
        }
        Put(L"\n");
    }
}

// ---------------------------------------------------------------- targets

static const char *const KindNames[3] = {"mapped", "static", "heap"};
static const Column TargetColumns[] = {{"kind", FALSE}, {"slot", TRUE}, {"name", FALSE}, {"size", TRUE},
                                       {"address", FALSE}, {"value", TRUE}, {"memory", TRUE}};

// The running Vantoriel's targets, read from its report, with the value of each as its memory holds it now.
struct Target {
    UINT32 kind, index;
    UINT64 address;
    UINT32 value, memory;
    BOOL readable;
};
enum { MaxTargets = 160 };
static Target Targets[MaxTargets];
static UINT32 TargetCount;

static UINT32 ReadTargets(const Remote *remote)
{
    static WCHAR report[8192];
    static ReportLine lines[MaxTargets];
    GetRemoteText(remote->controls[ID_REPORT - ID_LOW], report, sizeof report / sizeof report[0]);
    UINT32 count;
    BOOL good = ParseReport(report, remote->build, lines, MaxTargets, &count);
    // Both columns of a line show one reading of the value.
    UINT32 bad = count;
    for (UINT32 k = 0; good && k < count; ++k) {
        UINT32 cut = lines[k].value, digits = lines[k].width;
        if (digits < 10) {
            UINT32 modulus = 1;
            while (digits--) modulus *= 10;
            cut %= modulus;
        }
        if (lines[k].type == LineTarget && cut != lines[k].column) bad = k, good = FALSE;
    }
    if (!good) {
        const WCHAR *where = bad < count ? L" at line " : L": its groups are incomplete";
        return Fail(remote->build->name, L"'s report does not parse", where, bad < count ? NumberText(bad + 1) : L"");
    }
    TargetCount = 0;
    for (UINT32 k = 0; k < count; ++k) {
        if (lines[k].type != LineTarget) continue;
        Target &t = Targets[TargetCount++];
        t.kind = lines[k].kind;
        t.index = lines[k].index;
        t.address = lines[k].address;
        t.value = lines[k].value;
        t.readable = ReadRemoteValue(remote->process, t.address, &t.memory);
    }
    return ExitOk;
}

// Which target: kind, slot, name, size and address, from column first on.
static void SetWhichCells(UINT32 row, UINT32 first, const Target &t, UINT32 digits)
{
    SetCellAscii(row, first, KindNames[t.kind]);
    if (t.kind == KindMapped) SetCell(row, first + 1, NumberText(t.index));
    if (t.kind == KindStatic) SetCellAscii(row, first + 2, StaticNames[t.index]);
    if (t.kind == KindHeap && t.index < 6) {
        SetCellAscii(row, first + 2, HeapNames[t.index]);
        SetCell(row, first + 3, NumberText(HeapSizes[t.index]));
    }
    SetCell(row, first + 4, AddressText(t.address, digits));
}

static void WriteTargets(const Remote *remote, UINT32 format)
{
    BeginSheet(TargetColumns, 7);
    for (UINT32 k = 0; k < TargetCount; ++k) {
        const Target &t = Targets[k];
        UINT32 row = AddRow();
        SetWhichCells(row, 0, t, remote->build->addressDigits);
        SetCell(row, 5, NumberText(t.value));
        if (t.readable) SetCell(row, 6, NumberText(t.memory));
    }
    WriteSheet(format);
}

// ---------------------------------------------------------------- score

// A found address on a line of a scanner's output: the first number written
// with 0x, or else the first hexadecimal number of five or more digits.
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

// The hexadecimal number of [p, end) if it has only hex digits, 16 at most.
static BOOL HexNumber(const char *p, const char *end, UINT64 *value)
{
    if (end - p > 16 || end == p) return FALSE;
    UINT64 v = 0;
    for (; p < end; ++p) {
        UINT32 d = HexValue(*p);
        if (d > 15) return FALSE;
        v = v << 4 | d;
    }
    *value = v;
    return TRUE;
}

static BOOL AddressOfLine(const char *line, const char *end, UINT64 *address)
{
    for (const char *p = line; p + 2 < end; ++p) {
        if (p[0] != '0' || (p[1] != 'x' && p[1] != 'X') || (p > line && IsWordChar(p[-1]))) continue;
        const char *q = p + 2;
        while (q < end && IsWordChar(*q)) ++q;
        if (HexNumber(p + 2, q, address)) return TRUE;
    }
    for (const char *p = line; p < end;) {
        if (!IsWordChar(*p)) {
            ++p;
            continue;
        }
        const char *q = p;
        while (q < end && IsWordChar(*q)) ++q;
        if (q - p >= 5 && HexNumber(p, q, address)) return TRUE;
        p = q;
    }
    return FALSE;
}

// The whole of a file, or of standard input for "-", in one buffer from the
// process heap; UTF-16 text (as PowerShell writes it) is brought to bytes.
static char *ReadWhole(const WCHAR *path, UINT32 *length)
{
    BOOL standardInput = path[0] == '-' && path[1] == 0;
    HANDLE h = standardInput ? GetStdHandle(STD_INPUT_HANDLE)
                             : CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return nullptr;
    HANDLE heap = GetProcessHeap();
    UINT32 capacity = 65536, n = 0;
    char *data = (char *)HeapAlloc(heap, 0, capacity);
    for (;;) {
        if (!data) break;
        if (capacity - n < 4096) {
            capacity *= 2;
            char *bigger = (char *)HeapReAlloc(heap, 0, data, capacity);
            if (!bigger) HeapFree(heap, 0, data);
            data = bigger;
            continue;
        }
        DWORD got = 0;
        if (!ReadFile(h, data + n, capacity - n, &got, nullptr)) {
            // A pipe reports its end as a broken pipe.
            DWORD error = GetLastError();
            if (error != ERROR_BROKEN_PIPE && error != ERROR_HANDLE_EOF) {
                HeapFree(heap, 0, data);
                data = nullptr;
            }
            break;
        }
        if (got == 0) break; // the end of a file
        n += got;
    }
    if (!standardInput) CloseHandle(h);
    if (data && n >= 2 && (unsigned char)data[0] == 0xFF && (unsigned char)data[1] == 0xFE) {
        UINT32 k = 0;
        for (UINT32 i = 2; i + 1 < n; i += 2) data[k++] = data[i + 1] ? '?' : data[i];
        n = k;
    }
    *length = n;
    return data;
}

static UINT32 Score(const Remote *remote, const WCHAR *path, BOOL haveValue, UINT32 value, UINT32 format)
{
    UINT32 length;
    char *text = ReadWhole(path, &length);
    if (!text) return Fail(L"cannot read the findings ", path[0] == '-' && !path[1] ? L"from standard input" : path);

    static BOOL found[MaxTargets];
    for (UINT32 k = 0; k < TargetCount; ++k) found[k] = FALSE;
    enum { MaxOthers = 100000 };
    static UINT64 others[MaxOthers];
    UINT32 addresses = 0, otherCount = 0;
    for (const char *line = text, *end = text + length; line < end;) {
        const char *eol = line;
        while (eol < end && *eol != '\n') ++eol;
        UINT64 address;
        if (AddressOfLine(line, eol, &address)) {
            ++addresses;
            BOOL target = FALSE;
            for (UINT32 k = 0; k < TargetCount; ++k)
                if (Targets[k].address == address) found[k] = target = TRUE;
            BOOL seen = target;
            for (UINT32 k = 0; k < otherCount && !seen; ++k) seen = others[k] == address;
            if (!seen && otherCount < MaxOthers) others[otherCount++] = address;
        }
        line = eol + 1;
    }
    HeapFree(GetProcessHeap(), 0, text);
    if (addresses == 0) return Fail(L"no address in the findings ", path[0] == '-' && !path[1] ? L"from standard input" : path);

    // With a value, only the targets whose memory holds it were there to be found.
    UINT32 expected[3] = {}, hit[3] = {}, missed = 0;
    static BOOL counts[MaxTargets];
    for (UINT32 k = 0; k < TargetCount; ++k) {
        const Target &t = Targets[k];
        counts[k] = !haveValue || (t.readable && t.memory == value);
        if (!counts[k]) continue;
        ++expected[t.kind];
        if (found[k]) ++hit[t.kind];
        else ++missed;
    }
    const UINT32 digits = remote->build->addressDigits;
    UINT32 allExpected = expected[0] + expected[1] + expected[2], allHit = hit[0] + hit[1] + hit[2];

    if (format == FormatJson) {
        Put(L"{");
        if (haveValue) {
            Put(L"\"value\":");
            PutNumber(value);
            Put(L",");
        }
        Put(L"\"expected\":");
        PutNumber(allExpected);
        Put(L",\"found\":");
        PutNumber(allHit);
        for (UINT32 kind = 0; kind < 3; ++kind) {
            Put(L",\"");
            PutAscii(KindNames[kind]);
            Put(L"\":{\"expected\":");
            PutNumber(expected[kind]);
            Put(L",\"found\":");
            PutNumber(hit[kind]);
            Put(L"}");
        }
        Put(L",\"missed\":[");
        const WCHAR *separator = L"";
        for (UINT32 k = 0; k < TargetCount; ++k) {
            if (!counts[k] || found[k]) continue;
            Put(separator);
            separator = L",";
            PutJsonString(AddressText(Targets[k].address, digits));
        }
        Put(L"],\"not_targets\":[");
        for (UINT32 k = 0; k < otherCount; ++k) {
            Put(k ? L"," : L"");
            PutJsonString(AddressText(others[k], digits));
        }
        Put(L"]}\n");
    } else if (format == FormatCsv) {
        static const Column columns[] = {{"result", FALSE}, {"kind", FALSE}, {"slot", TRUE}, {"name", FALSE},
                                         {"size", TRUE},    {"address", FALSE}};
        BeginSheet(columns, 6);
        for (UINT32 k = 0; k < TargetCount; ++k) {
            const Target &t = Targets[k];
            if (!counts[k]) continue;
            UINT32 row = AddRow();
            SetCellAscii(row, 0, found[k] ? "found" : "missed");
            SetWhichCells(row, 1, t, digits);
        }
        WriteSheet(FormatCsv);
        for (UINT32 k = 0; k < otherCount; ++k) {
            Put(L"not-target,,,,,");
            Put(AddressText(others[k], digits));
            Put(L"\n");
        }
    } else {
        Put(L"found ");
        PutNumber(allHit);
        Put(L" of ");
        PutNumber(allExpected);
        Put(haveValue ? L" targets holding " : L" targets");
        if (haveValue) PutNumber(value);
        Put(L"\n");
        for (UINT32 kind = 0; kind < 3; ++kind) {
            Put(L"  ");
            PutAscii(KindNames[kind]);
            PutSpaces(8 - (kind == 2 ? 4 : 6));
            PutNumber(hit[kind]);
            Put(L" of ");
            PutNumber(expected[kind]);
            Put(L"\n");
        }
        for (UINT32 k = 0; k < TargetCount; ++k) {
            const Target &t = Targets[k];
            if (!counts[k] || found[k]) continue;
            Put(L"missed ");
            Put(AddressText(t.address, digits));
            Put(L" ");
            PutAscii(KindNames[t.kind]);
            if (t.kind == KindMapped) {
                Put(L" slot ");
                PutNumber(t.index);
            } else if (t.kind == KindStatic) {
                Put(L" ");
                PutAscii(StaticNames[t.index]);
            } else if (t.index < 6) {
                Put(L" ");
                PutAscii(HeapNames[t.index]);
                Put(L" ");
                PutNumber(HeapSizes[t.index]);
            }
            Put(L"\n");
        }
        // The first few; --json and --csv give them all.
        PutNumber(otherCount);
        Put(otherCount == 1 ? L" found address is no target" : L" found addresses are no target");
        for (UINT32 k = 0; k < otherCount && k < 8; ++k) {
            Put(k ? L" " : L": ");
            Put(AddressText(others[k], digits));
        }
        Put(otherCount > 8 ? L" ...\n" : L"\n");
    }
    return missed ? ExitMissed : ExitOk;
}

// ---------------------------------------------------------------- the command line

static const char Usage[] =
    "usage: vantoriel-ctl VERB [OPTIONS]\n"
    "  start [--32 | --exe PATH] [-- ARGS...]  start Vantoriel64 (Vantoriel32, PATH) from this folder;\n"
    "                                          print its process id and its targets\n"
    "  table                                   the targets: report value and memory now\n"
    "  read | write-a | write-b [--low TEXT] [--high TEXT]\n"
    "                                          set the range fields, press the button, print the targets\n"
    "  score [FILE | -] [--value V]            compare a scanner's found addresses with the targets;\n"
    "                                          exit code 1 when a target was missed\n"
    "  close                                   close Vantoriel as a person would; print its exit code\n"
    "options: --pid N (which Vantoriel; else the only one running), --json (JSON Lines), --csv\n"
    "exit codes: 0 done, 1 a target missed (score), 2 an error (one line on standard error)\n";

enum Verb { VerbNone, VerbStart, VerbTable, VerbRead, VerbWriteA, VerbWriteB, VerbScore, VerbClose };
static const WCHAR *const VerbNames[] = {L"", L"start", L"table", L"read", L"write-a", L"write-b", L"score", L"close"};

// Each option, and the verbs it goes with (bit k for verb k).
enum Option { OptPid, OptJson, OptCsv, OptLow, OptHigh, OptValue, Opt32, OptExe, OptionCount };
struct OptionRule {
    const WCHAR *name;
    BOOL takesValue;
    UINT32 verbs;
};
static const UINT32 Pressing = 1 << VerbRead | 1 << VerbWriteA | 1 << VerbWriteB;
static const UINT32 Attached = 1 << VerbTable | Pressing | 1 << VerbScore | 1 << VerbClose;
static const OptionRule Options[OptionCount] = {
    {L"--pid", TRUE, Attached},
    {L"--json", FALSE, Attached | 1 << VerbStart},
    {L"--csv", FALSE, Attached | 1 << VerbStart},
    {L"--low", TRUE, Pressing},
    {L"--high", TRUE, Pressing},
    {L"--value", TRUE, 1 << VerbScore},
    {L"--32", FALSE, 1 << VerbStart},
    {L"--exe", TRUE, 1 << VerbStart},
};

struct Request {
    UINT32 verb;
    const WCHAR *values[OptionCount]; // the option's value, or L"" for a flag given; null if not given
    const WCHAR *file;                // score's FILE
    WCHAR arguments[4096];            // start's ARGS, joined by single blanks
};

// A whole unsigned number, decimal or 0x hexadecimal, as the program reads them.
static BOOL WholeNumber(const WCHAR *text, UINT32 *value)
{
    static WCHAR copy[32];
    UINT32 k = 0;
    for (; text[k] && k + 1 < 32; ++k) copy[k] = text[k];
    copy[k] = 0;
    WCHAR *end;
    *value = ScanUnsigned(copy, &end);
    return text[k] == 0 && end && end != copy && *end == 0 && copy[0] != ' ';
}

static UINT32 ReadRequest(int argc, WCHAR **argv, Request *request)
{
    for (int i = 1; i < argc; ++i) {
        const WCHAR *arg = argv[i];
        if (SameText(arg, L"--")) {
            if (request->verb != VerbStart) return Fail(L"arguments after -- go only with start");
            UINT32 n = 0;
            for (++i; i < argc; ++i) {
                if (n && n < 4095) request->arguments[n++] = L' ';
                for (const WCHAR *p = argv[i]; *p && n < 4095; ++p) request->arguments[n++] = *p;
            }
            request->arguments[n] = 0;
            break;
        }
        if (arg[0] == '-' && arg[1] == '-') {
            UINT32 o = 0;
            while (o < OptionCount && !SameText(arg, Options[o].name)) ++o;
            if (o == OptionCount) return Fail(L"unknown option ", arg, L" (see vantoriel-ctl --help)");
            if (request->values[o]) return Fail(L"option ", arg, L" given twice");
            if (Options[o].takesValue && i + 1 == argc) return Fail(L"option ", arg, L" needs a value");
            request->values[o] = Options[o].takesValue ? argv[++i] : L"";
            continue;
        }
        if (request->verb == VerbNone) {
            UINT32 v = VerbStart;
            while (v <= VerbClose && !SameText(arg, VerbNames[v])) ++v;
            if (v > VerbClose) return Fail(L"unknown verb ", arg, L" (see vantoriel-ctl --help)");
            request->verb = v;
        } else if (request->verb == VerbScore && !request->file) {
            request->file = arg;
        } else {
            return Fail(L"unexpected argument ", arg);
        }
    }
    if (request->verb == VerbNone) return Fail(L"no verb given (see vantoriel-ctl --help)");
    for (UINT32 o = 0; o < OptionCount; ++o)
        if (request->values[o] && !(Options[o].verbs & 1u << request->verb))
            return Fail(L"option ", Options[o].name, L" does not go with ", VerbNames[request->verb]);
    if (request->values[OptJson] && request->values[OptCsv]) return Fail(L"choose one of --json and --csv");
    if (request->values[Opt32] && request->values[OptExe]) return Fail(L"choose one of --32 and --exe");
    UINT32 number;
    if (request->values[OptPid] && !WholeNumber(request->values[OptPid], &number))
        return Fail(L"--pid takes a process id, not ", request->values[OptPid]);
    if (request->values[OptValue] && !WholeNumber(request->values[OptValue], &number))
        return Fail(L"--value takes an unsigned 32-bit number, not ", request->values[OptValue]);
    if (request->verb == VerbScore && !request->file) request->file = L"-";
    return ExitOk;
}

// ---------------------------------------------------------------- the verbs

// The Vantoriel asked for: the one with --pid's process id, or the only one running.
static UINT32 Find(const Request *request, Remote *remote)
{
    HWND windows[64];
    UINT32 count = FindVantoriels(windows, 64), chosen = count;
    if (count > 64) count = 64;
    UINT32 pid = 0;
    if (request->values[OptPid]) {
        WholeNumber(request->values[OptPid], &pid);
        for (UINT32 k = 0; k < count; ++k) {
            DWORD owner = 0;
            GetWindowThreadProcessId(windows[k], &owner);
            if (owner == pid) chosen = k;
        }
        if (chosen == count) return Fail(L"process ", NumberText(pid), L" is no running Vantoriel");
    } else if (count == 0) {
        return Fail(L"no Vantoriel is running");
    } else if (count > 1) {
        static WCHAR ids[64 * 12];
        UINT32 n = 0;
        for (UINT32 k = 0; k < count; ++k) {
            DWORD owner = 0;
            GetWindowThreadProcessId(windows[k], &owner);
            for (const WCHAR *p = k ? L", " : L""; *p; ++p) ids[n++] = *p;
            for (const WCHAR *p = NumberText(owner); *p; ++p) ids[n++] = *p;
        }
        ids[n] = 0;
        return Fail(NumberText(count), L" Vantoriels are running (process ids ", ids, L"); choose one with --pid");
    } else {
        chosen = 0;
    }
    if (!AttachRemote(windows[chosen], remote)) return Fail(L"cannot open the process of Vantoriel: error ", NumberText(GetLastError()));
    return ExitOk;
}

static UINT32 Start(const Request *request, UINT32 format)
{
    static WCHAR exe[MAX_PATH + 32];
    if (request->values[OptExe]) {
        if (!GetFullPathNameW(request->values[OptExe], MAX_PATH, exe, nullptr)) return Fail(L"bad path ", request->values[OptExe]);
    } else {
        // Beside this program, as the release puts them.
        DWORD n = GetModuleFileNameW(nullptr, exe, MAX_PATH);
        while (n && exe[n - 1] != '\\' && exe[n - 1] != '/') --n;
        const WCHAR *name = request->values[Opt32] ? L"Vantoriel32.exe" : L"Vantoriel64.exe";
        for (UINT32 k = 0; name[k]; ++k) exe[n++] = name[k];
        exe[n] = 0;
    }
    DWORD attributes = GetFileAttributesW(exe);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return Fail(L"no program at ", exe);

    PROCESS_INFORMATION started = {};
    if (!StartProgram(exe, request->arguments, &started)) return Fail(L"cannot start ", exe, L": error ", NumberText(GetLastError()));
    CloseHandle(started.hThread);
    Remote remote = {};
    HWND box = nullptr;
    UINT32 state = WaitForStart(&started, 60000, &remote, &box);
    if (state == StartUsageBox) {
        // The program goes on with its defaults after the box: let it, then close it.
        PostMessageW(box, WM_COMMAND, IDOK, 0);
        for (UINT32 k = 0; k < 600 && state != StartReady && state != StartEnded; ++k) {
            Sleep(50);
            state = WaitForStart(&started, 0, &remote, &box);
        }
        DWORD code;
        if (state != StartEnded && (state != StartReady || !CloseRemote(&remote, 20000, &code)))
            TerminateProcess(started.hProcess, 1);
        CloseHandle(started.hProcess);
        return Fail(L"the program did not take the arguments \"", request->arguments,
                    L"\": it showed its usage message; it was closed");
    }
    if (state != StartReady) {
        if (state == StartTimedOut) TerminateProcess(started.hProcess, 1);
        CloseHandle(started.hProcess);
        return Fail(exe, state == StartEnded ? L" ended before its window opened" : L" showed no window within 60 s; it was ended");
    }
    UINT32 result = ReadTargets(&remote);
    if (result == ExitOk) {
        static const Column columns[] = {{"pid", TRUE}, {"program", FALSE}};
        BeginSheet(columns, 2);
        SetCell(AddRow(), 0, NumberText(remote.pid));
        SetCell(0, 1, remote.build->name);
        WriteSheet(format);
        if (format != FormatJson) Put(L"\n");
        WriteTargets(&remote, format);
    }
    DetachRemote(&remote);
    return result;
}

static UINT32 Run(const Request *request)
{
    UINT32 format = request->values[OptJson] ? FormatJson : request->values[OptCsv] ? FormatCsv : FormatText;
    if (request->verb == VerbStart) return Start(request, format);

    Remote remote = {};
    UINT32 result = Find(request, &remote);
    if (result != ExitOk) return result;
    if (request->verb == VerbClose) {
        DWORD code;
        if (!CloseRemote(&remote, 20000, &code)) {
            result = Fail(remote.build->name, L" (process ", NumberText(remote.pid), L") did not end within 20 s; it is still running");
        } else {
            static const Column columns[] = {{"pid", TRUE}, {"exit_code", TRUE}};
            BeginSheet(columns, 2);
            SetCell(AddRow(), 0, NumberText(remote.pid));
            SetCell(0, 1, NumberText(code));
            WriteSheet(format);
        }
        DetachRemote(&remote);
        return result;
    }
    if (request->verb == VerbRead || request->verb == VerbWriteA || request->verb == VerbWriteB) {
        if (request->values[OptLow]) SetRemoteText(remote.controls[0], request->values[OptLow]);
        if (request->values[OptHigh]) SetRemoteText(remote.controls[1], request->values[OptHigh]);
        PressButton(&remote, request->verb == VerbRead ? ID_READ : request->verb == VerbWriteA ? ID_WRITE_A : ID_WRITE_B);
    }
    result = ReadTargets(&remote);
    if (result == ExitOk) {
        if (request->verb == VerbScore) {
            UINT32 value = 0;
            BOOL haveValue = request->values[OptValue] && WholeNumber(request->values[OptValue], &value);
            result = Score(&remote, request->file, haveValue, value, format);
        } else {
            WriteTargets(&remote, format);
        }
    }
    DetachRemote(&remote);
    return result;
}

// Splits the command line as the C runtime does: blanks separate, quotes
// group, 2n backslashes before a quote give n and the quote its meaning,
// 2n + 1 give n and a plain quote. Own code, not CommandLineToArgvW: loading
// SHELL32 for it costs more than all the rest of a run.
static WCHAR **SplitCommandLine(const WCHAR *line, int *argc)
{
    static WCHAR text[32768];
    static WCHAR *argv[1024];
    UINT32 n = 0, count = 0;
    const WCHAR *p = line;
    // The program's name: up to a blank, or quoted, with no escapes.
    argv[count++] = text;
    BOOL quoted = FALSE;
    for (; *p && (quoted || (*p != ' ' && *p != '\t')); ++p)
        if (*p == '"') quoted = !quoted;
        else text[n++] = *p;
    text[n++] = 0;
    for (;;) {
        while (*p == ' ' || *p == '\t') ++p;
        if (!*p || count == 1023) break; // no more output than input: text cannot overflow
        argv[count++] = text + n;
        quoted = FALSE;
        while (*p && (quoted || (*p != ' ' && *p != '\t'))) {
            UINT32 slashes = 0;
            while (*p == '\\') ++slashes, ++p;
            if (*p == '"') {
                for (UINT32 k = 0; k < slashes / 2; ++k) text[n++] = '\\';
                if (slashes % 2) text[n++] = '"';
                else quoted = !quoted;
                ++p;
            } else {
                for (UINT32 k = 0; k < slashes; ++k) text[n++] = '\\';
                if (*p && (quoted || (*p != ' ' && *p != '\t'))) text[n++] = *p++;
            }
        }
        text[n++] = 0;
    }
    *argc = (int)count;
    return argv;
}

static UINT32 Main()
{
    int argc = 0;
    WCHAR **argv = SplitCommandLine(GetCommandLineW(), &argc);
    static Request request;
    UINT32 result = ExitOk;
    if (argc == 2 && (SameText(argv[1], L"--help") || SameText(argv[1], L"-h"))) PutAscii(Usage);
    else if ((result = ReadRequest(argc, argv, &request)) == ExitOk) result = Run(&request);
    Flush();
    return result;
}

extern "C" [[noreturn]] void CtlEntry()
{
    ExitProcess(Main());
}
