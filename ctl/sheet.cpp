// sheet.cpp: rows of named cells in the three formats.
#include "ctl/sheet.h"
#include "ctl/output.h"

static const Column *SheetColumns;
static UINT32 SheetColumnCount, SheetRows;
static char Cells[MaxRows][MaxColumns][CellBytes];

void BeginSheet(const Column *columns, UINT32 count)
{
    SheetColumns = columns;
    SheetColumnCount = count;
    SheetRows = 0;
}

UINT32 AddRow()
{
    for (UINT32 c = 0; c < MaxColumns; ++c) Cells[SheetRows][c][0] = 0;
    return SheetRows++;
}

void SetCell(UINT32 row, UINT32 column, const char *text)
{
    UINT32 k = 0;
    for (; text[k] && k + 1 < CellBytes; ++k) Cells[row][column][k] = text[k];
    Cells[row][column][k] = 0;
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

static void WriteJson()
{
    for (UINT32 r = 0; r < SheetRows; ++r) {
        const char *separator = "{";
        for (UINT32 c = 0; c < SheetColumnCount; ++c) {
            if (!Cells[r][c][0]) continue;
            Put(separator);
            separator = ",";
            PutJsonString(SheetColumns[c].key);
            Put(":");
            if (SheetColumns[c].number) Put(Cells[r][c]);
            else PutJsonString(Cells[r][c]);
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
            PutCsvCell(Cells[r][c]);
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
            if (TextLength(Cells[r][c]) > widths[c]) widths[c] = TextLength(Cells[r][c]);
    }
    for (UINT32 r = 0; r <= SheetRows; ++r) {
        for (UINT32 c = 0; c < SheetColumnCount; ++c) {
            char heading[CellBytes];
            const char *text = Cells[r ? r - 1 : 0][c];
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
