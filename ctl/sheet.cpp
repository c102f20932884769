// sheet.cpp: rows of named cells in the three formats.
#include "ctl/sheet.h"
#include "ctl/output.h"
#include "ctl/platform.h"

static const Column *SheetColumns;
static UINT32 SheetColumnCount, SheetRows, RowCapacity;
// Every cell's text, one after another, and where each row's cells start in
// it: a sheet may have a million rows (a dense plant), of short cells.
static char *Text;
static SIZE_T TextUsed, TextCapacity;
static SIZE_T *CellStart;       // MaxColumns a row; 0 is the empty text
static BOOL OutOfMemory;

void BeginSheet(const Column *columns, UINT32 count)
{
    SheetColumns = columns;
    SheetColumnCount = count;
    SheetRows = 0;
    TextUsed = 0;
    OutOfMemory = FALSE;
    if (!Text && (Text = (char *)GrowBlock(nullptr, 4096)) != nullptr) TextCapacity = 4096;
    if (Text) Text[TextUsed++] = 0;
}

static const char *Cell(UINT32 row, UINT32 column)
{
    return Text + CellStart[(SIZE_T)row * MaxColumns + column];
}

UINT32 AddRow()
{
    if (SheetRows == RowCapacity) {
        UINT32 more = RowCapacity ? RowCapacity * 2 : 256;
        SIZE_T *bigger = (SIZE_T *)GrowBlock(CellStart, (SIZE_T)more * MaxColumns * sizeof(SIZE_T));
        if (!bigger || !Text) {
            // The row is written over the last one; the sheet says so when written.
            OutOfMemory = TRUE;
            return SheetRows ? SheetRows - 1 : 0;
        }
        CellStart = bigger;
        RowCapacity = more;
    }
    for (UINT32 c = 0; c < MaxColumns; ++c) CellStart[(SIZE_T)SheetRows * MaxColumns + c] = 0;
    return SheetRows++;
}

void SetCell(UINT32 row, UINT32 column, const char *text)
{
    if (OutOfMemory || !*text) return;
    SIZE_T length = TextLength(text);
    if (TextUsed + length + 1 > TextCapacity) {
        SIZE_T more = TextCapacity * 2 + length + 1;
        char *bigger = (char *)GrowBlock(Text, more);
        if (!bigger) {
            OutOfMemory = TRUE;
            return;
        }
        Text = bigger;
        TextCapacity = more;
    }
    CellStart[(SIZE_T)row * MaxColumns + column] = TextUsed;
    for (SIZE_T k = 0; k < length; ++k) Text[TextUsed++] = text[k];
    Text[TextUsed++] = 0;
}

BOOL SheetComplete()
{
    return !OutOfMemory;
}

void PutJsonString(const char *text)
{
    Put("\"");
    for (char one[2] = {0, 0}; *text; ++text) {
        unsigned char c = (unsigned char)*text;
        if (c < 0x20) {
            // A control character only as an escape.
            Put("\\u00");
            one[0] = "0123456789abcdef"[c >> 4];
            Put(one);
            one[0] = "0123456789abcdef"[c & 15];
            Put(one);
            continue;
        }
        if (c == '"' || c == '\\') Put("\\");
        one[0] = *text;
        Put(one);
    }
    Put("\"");
}

// Whether text is a number as JSON writes one; a number column's other
// texts (a byte string, nan) are written as strings.
static BOOL JsonNumber(const char *text)
{
    const char *p = text + (*text == '-');
    if (*p < '0' || *p > '9' || (p[0] == '0' && p[1] >= '0' && p[1] <= '9')) return FALSE;
    while (*p >= '0' && *p <= '9') ++p;
    if (*p == '.') {
        if (*++p < '0' || *p > '9') return FALSE;
        while (*p >= '0' && *p <= '9') ++p;
    }
    if (*p == 'e' || *p == 'E') {
        p += p[1] == '+' || p[1] == '-' ? 2 : 1;
        if (*p < '0' || *p > '9') return FALSE;
        while (*p >= '0' && *p <= '9') ++p;
    }
    return *p == 0;
}

static void WriteJson()
{
    for (UINT32 r = 0; r < SheetRows; ++r) {
        const char *separator = "{";
        for (UINT32 c = 0; c < SheetColumnCount; ++c) {
            if (!Cell(r, c)[0]) continue;
            Put(separator);
            separator = ",";
            PutJsonString(SheetColumns[c].key);
            Put(":");
            if (SheetColumns[c].number && JsonNumber(Cell(r, c))) Put(Cell(r, c));
            else PutJsonString(Cell(r, c));
        }
        Put(separator[0] == '{' ? "{}\n" : "}\n");
    }
}

// A cell that holds a comma, a double quote or a line end goes in double
// quotes, each quote in it doubled (RFC 4180): a module's name may.
static void PutCsvCell(const char *text)
{
    BOOL quote = FALSE;
    for (const char *p = text; *p; ++p) quote = quote || *p == ',' || *p == '"' || *p == '\n' || *p == '\r';
    if (!quote) {
        Put(text);
        return;
    }
    Put("\"");
    for (char one[2] = {0, 0}; *text; ++text) {
        if (*text == '"') Put("\"");
        one[0] = *text;
        Put(one);
    }
    Put("\"");
}

static void WriteCsv()
{
    for (UINT32 c = 0; c < SheetColumnCount; ++c) {
        if (c) Put(",");
        Put(SheetColumns[c].key);
    }
    Put("\n");
    for (UINT32 r = 0; r < SheetRows; ++r) {
        for (UINT32 c = 0; c < SheetColumnCount; ++c) {
            if (c) Put(",");
            PutCsvCell(Cell(r, c));
        }
        Put("\n");
    }
}

// For people: upper-case headings, text left-aligned, numbers right-aligned.
static void WriteTable()
{
    UINT32 widths[MaxColumns];
    for (UINT32 c = 0; c < SheetColumnCount; ++c) {
        widths[c] = TextLength(SheetColumns[c].key);
        for (UINT32 r = 0; r < SheetRows; ++r)
            if (TextLength(Cell(r, c)) > widths[c]) widths[c] = TextLength(Cell(r, c));
    }
    for (UINT32 r = 0; r <= SheetRows; ++r) {
        for (UINT32 c = 0; c < SheetColumnCount; ++c) {
            char heading[CellBytes];
            const char *text = SheetRows ? Cell(r ? r - 1 : 0, c) : "";
            if (r == 0) {
                UINT32 k = 0;
                for (const char *key = SheetColumns[c].key; *key && k + 1 < CellBytes; ++key)
                    heading[k++] = (char)(*key >= 'a' && *key <= 'z' ? *key - 'a' + 'A' : *key);
                heading[k] = 0;
                text = heading;
            }
            UINT32 pad = widths[c] - TextLength(text);
            if (c) Put("  ");
            if (SheetColumns[c].number) PutSpaces(pad);
            Put(text);
            if (!SheetColumns[c].number && c + 1 < SheetColumnCount) PutSpaces(pad);
        }
        Put("\n");
    }
}

void WriteSheet(UINT32 format)
{
    if (format == FormatJson) WriteJson();
    else if (format == FormatCsv) WriteCsv();
    else WriteTable();
}
